#include "tools/quibdiag/smart_logs.h"

#include "tools/quibdiag/hex_text.h"
#include "tools/quibdiag/smart_data.h"

namespace quibdiag {
namespace {

constexpr std::size_t kBlock = 512;
constexpr std::size_t kErrorSlots = 5, kErrorSlotSize = 90, kCommandSize = 12;
constexpr std::size_t kSelfTestSlots = 21, kSelfTestSlotSize = 24;

bool allZero(ByteView data, std::size_t offset, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i)
        if (byteAt(data, offset + i) != 0) return false;
    return true;
}

bool checksumOf(ByteView data) {
    return data.size() >= kBlock && sumsToZero(data.first(kBlock));
}

}  // namespace

std::string selfTestName(std::uint8_t test) {
    switch (test) {
        case 0x00:
            return "off-line data collection";
        case 0x01:
            return "short off-line";
        case 0x02:
            return "extended off-line";
        case 0x03:
            return "conveyance off-line";
        case 0x04:
            return "selective off-line";
        case 0x81:
            return "short captive";
        case 0x82:
            return "extended captive";
        case 0x83:
            return "conveyance captive";
        case 0x84:
            return "selective captive";
        default:
            return "vendor " + hexNumber(test);
    }
}

std::string ataCommandName(std::uint8_t command) {
    switch (command) {
        case 0x20:
            return "READ SECTOR(S)";
        case 0x24:
            return "READ SECTOR(S) EXT";
        case 0x25:
            return "READ DMA EXT";
        case 0x30:
            return "WRITE SECTOR(S)";
        case 0x34:
            return "WRITE SECTOR(S) EXT";
        case 0x35:
            return "WRITE DMA EXT";
        case 0x60:
            return "READ FPDMA QUEUED";
        case 0x61:
            return "WRITE FPDMA QUEUED";
        case 0xB0:
            return "SMART";
        case 0xC8:
            return "READ DMA";
        case 0xCA:
            return "WRITE DMA";
        case 0xE7:
            return "FLUSH CACHE";
        case 0xEA:
            return "FLUSH CACHE EXT";
        case 0xEC:
            return "IDENTIFY DEVICE";
        case 0xEF:
            return "SET FEATURES";
        default:
            return "command " + hexNumber(command);
    }
}

LogDirectory decodeLogDirectory(ByteView data) {
    LogDirectory dir;
    dir.version = wordAt(data, 0);
    for (std::size_t address = 1; address < 256; ++address) {
        const std::uint16_t pages = wordAt(data, address);
        if (pages != 0) dir.logs.push_back({static_cast<std::uint8_t>(address), pages});
    }
    return dir;
}

SummaryErrorLog decodeSummaryErrorLog(ByteView data) {
    SummaryErrorLog log;
    log.version = byteAt(data, 0);
    log.latestSlot = byteAt(data, 1);
    log.errorCount = static_cast<std::uint16_t>(readLe(data, 452, 2));
    log.checksumValid = checksumOf(data);
    // The log is a ring of five slots; walk back from the latest. A slot index beyond 5 names none.
    if (log.latestSlot >= 1 && log.latestSlot <= kErrorSlots) {
        for (std::size_t step = 0; step < kErrorSlots; ++step) {
            const std::size_t slot = (log.latestSlot - 1 + kErrorSlots - step) % kErrorSlots;
            const std::size_t at = 2 + slot * kErrorSlotSize;
            if (allZero(data, at, kErrorSlotSize)) continue;
            const std::size_t last = at + 4 * kCommandSize;  // the fifth command: the one that failed
            const std::size_t err = at + 5 * kCommandSize;
            ErrorLogEntry e;
            e.slot = static_cast<std::uint8_t>(slot + 1);
            e.features = byteAt(data, last + 1);
            e.command = byteAt(data, last + 7);
            e.commandTimestampMs = static_cast<std::uint32_t>(readLe(data, last + 8, 4));
            e.error = byteAt(data, err + 1);
            e.count = byteAt(data, err + 2);
            e.lba = static_cast<std::uint32_t>(readLe(data, err + 3, 3)) |
                    (static_cast<std::uint32_t>(byteAt(data, err + 6) & 0x0F) << 24);
            e.device = byteAt(data, err + 6);
            e.status = byteAt(data, err + 7);
            e.state = byteAt(data, err + 27);
            e.lifetimeHours = static_cast<std::uint16_t>(readLe(data, err + 28, 2));
            log.entries.push_back(e);
        }
    }
    return log;
}

SelfTestLog decodeSelfTestLog(ByteView data) {
    SelfTestLog log;
    log.revision = static_cast<std::uint16_t>(readLe(data, 0, 2));
    log.latestSlot = byteAt(data, 508);
    log.checksumValid = checksumOf(data);
    if (log.latestSlot >= 1 && log.latestSlot <= kSelfTestSlots) {
        for (std::size_t step = 0; step < kSelfTestSlots; ++step) {
            const std::size_t slot = (log.latestSlot - 1 + kSelfTestSlots - step) % kSelfTestSlots;
            const std::size_t at = 2 + slot * kSelfTestSlotSize;
            if (allZero(data, at, kSelfTestSlotSize)) continue;
            SelfTestEntry e;
            e.test = byteAt(data, at);
            e.testName = selfTestName(e.test);
            e.status = byteAt(data, at + 1);
            e.result = selfTestResultText(e.status);
            e.remainingPercent = static_cast<std::uint8_t>((e.status & 0x0F) * 10);
            e.lifetimeHours = static_cast<std::uint16_t>(readLe(data, at + 2, 2));
            e.checkpoint = byteAt(data, at + 4);
            e.failingLba = static_cast<std::uint32_t>(readLe(data, at + 5, 4));
            log.entries.push_back(std::move(e));
        }
    }
    return log;
}

}  // namespace quibdiag
