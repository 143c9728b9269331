#include "bench/drive/smart_data.h"

#include <algorithm>

namespace bench {
namespace {

constexpr std::uint16_t kPageRevision = 0x0010;

void putWord(AtaSector& s, std::size_t at, std::uint16_t value) {
    s[at] = static_cast<std::uint8_t>(value);
    s[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

}  // namespace

bool DriveDescription::smartHealthy() const {
    return std::none_of(smart.attributes.begin(), smart.attributes.end(), [](const SmartAttribute& a) {
        return (a.flags & 0x0001) && a.threshold != 0 && a.value <= a.threshold;
    });
}

void sealChecksum(AtaSector& sector) {
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i + 1 < sector.size(); ++i) sum = static_cast<std::uint8_t>(sum + sector[i]);
    sector.back() = static_cast<std::uint8_t>(0x100 - sum);
}

AtaSector smartReadData(const SmartDescription& smart) {
    using namespace smart_page;
    AtaSector s{};
    putWord(s, kRevision, kPageRevision);
    for (std::size_t i = 0; i < smart.attributes.size() && i < kAttributeCount; ++i) {
        const SmartAttribute& a = smart.attributes[i];
        const std::size_t at = kAttributes + i * kAttributeSize;
        s[at] = a.id;
        putWord(s, at + 1, a.flags);
        s[at + 3] = a.value;
        s[at + 4] = a.worst;
        for (std::size_t b = 0; b < 6; ++b) s[at + 5 + b] = static_cast<std::uint8_t>(a.raw >> (8 * b));
    }
    s[kOfflineStatus] = 0x02;  // off-line data collection completed without error
    // The last self-test's status and the tenths still to run, as its log entry says.
    if (!smart.selfTests.empty())
        s[kSelfTestStatus] =
            static_cast<std::uint8_t>(smart.selfTests.front().status << 4 | smart.selfTests.front().remaining / 10);
    putWord(s, kOfflineSeconds, 120);
    // EXECUTE OFF-LINE IMMEDIATE (bit 0) and the short and extended self-tests (bit 4).
    s[kOfflineCapability] = 0x11;
    putWord(s, kSmartCapability, 0x0003);  // saves SMART data before power saving; attribute autosave
    s[kErrorLogging] = 0x01;
    s[kShortPollMinutes] = 2;
    s[kExtendedPollMinutes] = 120;
    putWord(s, kExtendedPollWord, 120);
    sealChecksum(s);
    return s;
}

AtaSector smartThresholds(const SmartDescription& smart) {
    using namespace smart_page;
    AtaSector s{};
    putWord(s, kRevision, kPageRevision);
    for (std::size_t i = 0; i < smart.attributes.size() && i < kAttributeCount; ++i) {
        const std::size_t at = kAttributes + i * kAttributeSize;
        s[at] = smart.attributes[i].id;
        s[at + 1] = smart.attributes[i].threshold;
    }
    sealChecksum(s);
    return s;
}

}  // namespace bench
