// The figures of the production line's speed test: where it writes, how a timed transfer becomes MB/s, the
// write speed it reports, and the test record callers pass.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace quib::services::rwtest {

inline constexpr std::uint32_t kTestBlockBytes = 262144;  // 256 KiB
inline constexpr std::uint8_t kTestPattern = 0x55;
inline constexpr std::uint32_t kPositionUnit = 512;  // test positions count 512-byte sectors

// The volume sector a run writes at: index 0, 1, 2 -> 0x41000, 0xF000, 0x28000; none for another index.
std::optional<std::uint64_t> testPosition(int testIndex);

// MB/s of one timed 256 KiB transfer: 262144 / (seconds x 1048576). None for a time of 0 or less.
std::optional<double> transferSpeed(double seconds);

// The write speed reported beside read speed R for measured write speed W: with R >= W, W + (R - W) x 0.5;
// otherwise R - (x mod 5 + x / 10) with x = (R + W, truncated) mod 10.
double adjustedWriteSpeed(double readSpeed, double writeSpeed);

#pragma pack(push, 1)
// The 544-byte record passed by value to the speed test. Only the sector size is read; the rest is the
// caller's and passed over.
struct TestRecord {
    std::uint8_t callerData[520];
    std::uint32_t sectorSize;
    std::uint8_t callerTail[20];
};
#pragma pack(pop)
static_assert(sizeof(TestRecord) == 544);
static_assert(offsetof(TestRecord, sectorSize) == 520);

}  // namespace quib::services::rwtest
