#include "bench/drive/smart_logs.h"

namespace bench {
namespace {

void putWord(AtaSector& s, std::size_t at, std::uint16_t value) {
    s[at] = static_cast<std::uint8_t>(value);
    s[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

}  // namespace

std::size_t smartLogSectors(std::uint8_t address) {
    if (address == kLogDirectory || address == kLogSummaryErrors || address == kLogSelfTests) return 1;
    if (address >= kFirstHostLog && address <= kLastHostLog) return kHostLogSectors;
    return 0;
}

AtaSector smartLogDirectory() {
    AtaSector s{};
    putWord(s, 0, 0x0001);  // version 1: logs of several sectors
    // Word n: the sectors of log n. The directory itself is not listed.
    for (int address = 1; address <= 0xFF; ++address)
        putWord(s, static_cast<std::size_t>(address) * 2,
                static_cast<std::uint16_t>(smartLogSectors(static_cast<std::uint8_t>(address))));
    return s;  // the directory carries no checksum
}

AtaSector summaryErrorLog(const SmartDescription& smart) {
    using namespace error_log;
    AtaSector s{};
    s[0] = 0x01;  // version
    // Entries are written in turn: the oldest of those kept in entry 1, the most recent last.
    const std::size_t n = smart.errors.size();
    for (std::size_t k = 0; k < n; ++k) {
        const ErrorLogEntry& e = smart.errors[n - 1 - k];
        const std::size_t entry = kEntries + k * kEntrySize;
        // The failing command is the last of the five commands leading to the error.
        const std::size_t cmd = entry + 4 * kCommandSize;
        const auto device = static_cast<std::uint8_t>(0x40 | ((e.lba >> 24) & 0x0F));
        const std::uint32_t timestampMs = 60'000;
        const std::uint8_t command[12] = {0x00,
                                          e.features,
                                          e.count,
                                          static_cast<std::uint8_t>(e.lba),
                                          static_cast<std::uint8_t>(e.lba >> 8),
                                          static_cast<std::uint8_t>(e.lba >> 16),
                                          device,
                                          e.command,
                                          static_cast<std::uint8_t>(timestampMs),
                                          static_cast<std::uint8_t>(timestampMs >> 8),
                                          static_cast<std::uint8_t>(timestampMs >> 16),
                                          static_cast<std::uint8_t>(timestampMs >> 24)};
        std::copy(std::begin(command), std::end(command), s.begin() + static_cast<std::ptrdiff_t>(cmd));
        const std::size_t err = entry + kErrorData;
        s[err + 1] = e.error;
        s[err + 2] = e.count;
        s[err + 3] = static_cast<std::uint8_t>(e.lba);
        s[err + 4] = static_cast<std::uint8_t>(e.lba >> 8);
        s[err + 5] = static_cast<std::uint8_t>(e.lba >> 16);
        s[err + 6] = device;
        s[err + 7] = e.status;
        s[err + 27] = e.state;
        putWord(s, err + 28, e.hours);
    }
    s[kIndex] = static_cast<std::uint8_t>(n);
    putWord(s, kErrorCount, smart.errorCount);
    sealChecksum(s);
    return s;
}

AtaSector selfTestLog(const SmartDescription& smart) {
    using namespace self_test_log;
    AtaSector s{};
    putWord(s, 0, 0x0001);  // revision
    const std::size_t n = smart.selfTests.size();
    for (std::size_t k = 0; k < n; ++k) {
        const SelfTestEntry& t = smart.selfTests[n - 1 - k];  // oldest first
        const std::size_t at = kDescriptors + k * kDescriptorSize;
        s[at] = t.type;
        s[at + 1] = static_cast<std::uint8_t>(t.status << 4 | t.remaining / 10);
        putWord(s, at + 2, t.hours);
        const std::uint32_t lba = t.failingLba.value_or(0xFFFFFFFF);
        for (std::size_t b = 0; b < 4; ++b) s[at + 5 + b] = static_cast<std::uint8_t>(lba >> (8 * b));
    }
    s[kIndex] = static_cast<std::uint8_t>(n);
    sealChecksum(s);
    return s;
}

}  // namespace bench
