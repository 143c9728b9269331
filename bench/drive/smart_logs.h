// The SMART logs of a SATA drive (SMART READ LOG 0xD5 / WRITE LOG 0xD6): the log directory, the summary
// error log, the self-test log, built from the description, and the host-specific logs 0x80..0x9F, which
// keep what the host writes.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "bench/drive/smart_data.h"

namespace bench {

inline constexpr std::uint8_t kLogDirectory = 0x00;
inline constexpr std::uint8_t kLogSummaryErrors = 0x01;
inline constexpr std::uint8_t kLogSelfTests = 0x06;
inline constexpr std::uint8_t kFirstHostLog = 0x80;
inline constexpr std::uint8_t kLastHostLog = 0x9F;
inline constexpr std::size_t kHostLogSectors = 16;
inline constexpr std::size_t kHostLogsSize = (kLastHostLog - kFirstHostLog + 1) * kHostLogSectors * 512;

// Sectors the log at `address` holds; 0 for a log the drive does not keep.
std::size_t smartLogSectors(std::uint8_t address);

AtaSector smartLogDirectory();
AtaSector summaryErrorLog(const SmartDescription& smart);
AtaSector selfTestLog(const SmartDescription& smart);

// Byte layout of the summary error log.
namespace error_log {
inline constexpr std::size_t kIndex = 1;           // the most recent entry, 1..5; 0 for none
inline constexpr std::size_t kEntries = 2;         // 5 entries of 90 bytes
inline constexpr std::size_t kEntrySize = 90;      // 5 commands of 12 bytes, then the error of 30
inline constexpr std::size_t kCommandSize = 12;
inline constexpr std::size_t kErrorData = 60;      // within an entry
inline constexpr std::size_t kErrorCount = 452;    // word
static_assert(kEntries + 5 * kEntrySize == kErrorCount);
}  // namespace error_log

// Byte layout of the self-test log.
namespace self_test_log {
inline constexpr std::size_t kDescriptors = 2;  // 21 descriptors of 24 bytes
inline constexpr std::size_t kDescriptorSize = 24;
inline constexpr std::size_t kIndex = 508;  // the most recent descriptor, 1..21; 0 for none
static_assert(kDescriptors + 21 * kDescriptorSize == 506);
}  // namespace self_test_log

}  // namespace bench
