#include "tools/quibdiag/nvme_logs.h"

#include "tools/quibdiag/hex_text.h"

namespace quibdiag {
namespace {

constexpr std::size_t kErrorEntrySize = 64;

WideCounter counterAt(ByteView data, std::size_t offset) {
    return {readLe(data, offset, 8), readLe(data, offset + 8, 8)};
}

std::string genericStatusText(std::uint8_t code) {
    switch (code) {
        case 0x00:
            return "successful completion";
        case 0x01:
            return "invalid command opcode";
        case 0x02:
            return "invalid field in command";
        case 0x03:
            return "command identifier conflict";
        case 0x04:
            return "data transfer error";
        case 0x05:
            return "aborted: power loss";
        case 0x06:
            return "internal error";
        case 0x07:
            return "aborted: requested";
        case 0x08:
            return "aborted: queue deleted";
        case 0x0B:
            return "invalid namespace or format";
        case 0x80:
            return "LBA out of range";
        case 0x81:
            return "capacity exceeded";
        case 0x82:
            return "namespace not ready";
        default:
            return "generic status " + hexNumber(code);
    }
}

}  // namespace

NvmeHealth decodeNvmeHealth(ByteView data) {
    static const char* const kWarningNames[] = {"spare below threshold",  "temperature",
                                                "reliability degraded",   "read-only",
                                                "volatile backup failed", "persistent memory read-only"};
    NvmeHealth h;
    h.criticalWarning = byteAt(data, 0);
    for (int bit = 0; bit < 6; ++bit)
        if (h.criticalWarning & (1 << bit)) h.warnings.push_back(kWarningNames[bit]);
    h.temperatureKelvin = static_cast<std::uint16_t>(readLe(data, 1, 2));
    h.temperatureCelsius = static_cast<int>(h.temperatureKelvin) - 273;
    h.availableSpare = byteAt(data, 3);
    h.spareThreshold = byteAt(data, 4);
    h.percentageUsed = byteAt(data, 5);
    h.dataUnitsRead = counterAt(data, 32);
    h.dataUnitsWritten = counterAt(data, 48);
    h.hostReads = counterAt(data, 64);
    h.hostWrites = counterAt(data, 80);
    h.busyMinutes = counterAt(data, 96);
    h.powerCycles = counterAt(data, 112);
    h.powerOnHours = counterAt(data, 128);
    h.unsafeShutdowns = counterAt(data, 144);
    h.mediaErrors = counterAt(data, 160);
    h.errorLogEntries = counterAt(data, 176);
    return h;
}

NvmeStatus decodeNvmeStatus(std::uint16_t statusField) {
    NvmeStatus s;
    s.code = static_cast<std::uint8_t>(statusField >> 1);
    s.type = static_cast<std::uint8_t>((statusField >> 9) & 0x07);
    s.more = statusField & 0x4000;
    s.doNotRetry = statusField & 0x8000;
    switch (s.type) {
        case 0:
            s.text = genericStatusText(s.code);
            break;
        case 1:
            s.text = "command specific status " + hexNumber(s.code);
            break;
        case 2:
            s.text = "media or data integrity error " + hexNumber(s.code);
            break;
        case 3:
            s.text = "path related status " + hexNumber(s.code);
            break;
        case 7:
            s.text = "vendor specific status " + hexNumber(s.code);
            break;
        default:
            s.text = "status type " + std::to_string(s.type) + " code " + hexNumber(s.code);
            break;
    }
    return s;
}

std::vector<NvmeErrorEntry> decodeNvmeErrors(ByteView data) {
    std::vector<NvmeErrorEntry> entries;
    for (std::size_t at = 0; at + kErrorEntrySize <= data.size(); at += kErrorEntrySize) {
        NvmeErrorEntry e;
        e.errorCount = readLe(data, at, 8);
        if (e.errorCount == 0) continue;
        e.queueId = static_cast<std::uint16_t>(readLe(data, at + 8, 2));
        e.commandId = static_cast<std::uint16_t>(readLe(data, at + 10, 2));
        e.status = decodeNvmeStatus(static_cast<std::uint16_t>(readLe(data, at + 12, 2)));
        e.parameterLocation = static_cast<std::uint16_t>(readLe(data, at + 14, 2));
        e.lba = readLe(data, at + 16, 8);
        e.namespaceId = static_cast<std::uint32_t>(readLe(data, at + 24, 4));
        entries.push_back(std::move(e));
    }
    return entries;
}

}  // namespace quibdiag
