// The SMART pages a SATA drive answers from its description: READ DATA (0xD0) and READ THRESHOLDS (0xD1).
#pragma once

#include <array>
#include <cstdint>

#include "bench/description.h"

namespace bench {

using AtaSector = std::array<std::uint8_t, 512>;

// Byte layout of a READ DATA page.
namespace smart_page {
inline constexpr std::size_t kRevision = 0;          // word, 0x0010
inline constexpr std::size_t kAttributes = 2;        // 30 entries of 12 bytes
inline constexpr std::size_t kAttributeSize = 12;    // id, flags (word), value, worst, raw (6), reserved
inline constexpr std::size_t kAttributeCount = 30;
inline constexpr std::size_t kOfflineStatus = 362;
inline constexpr std::size_t kSelfTestStatus = 363;
inline constexpr std::size_t kOfflineSeconds = 364;  // word
inline constexpr std::size_t kOfflineCapability = 367;
inline constexpr std::size_t kSmartCapability = 368;  // word
inline constexpr std::size_t kErrorLogging = 370;
inline constexpr std::size_t kShortPollMinutes = 372;
inline constexpr std::size_t kExtendedPollMinutes = 373;
inline constexpr std::size_t kConveyancePollMinutes = 374;
inline constexpr std::size_t kExtendedPollWord = 375;
inline constexpr std::size_t kChecksum = 511;
static_assert(kAttributes + kAttributeCount * kAttributeSize == kOfflineStatus);
}  // namespace smart_page

AtaSector smartReadData(const SmartDescription& smart);
AtaSector smartThresholds(const SmartDescription& smart);

// Byte 511 set so that the whole sector sums to 0 modulo 256, as every SMART page and log ends.
void sealChecksum(AtaSector& sector);

}  // namespace bench
