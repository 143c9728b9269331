// The production line's file test: the reference file "rwtestbin.txt" of the library's folder copied onto
// a bridge's volume, read back and compared.
#pragma once

#include <cstdint>
#include <optional>

namespace quib::services::rwtest {

inline constexpr const char* kReferenceFileName = "rwtestbin.txt";
inline constexpr std::uint64_t kLargestReferenceFile = 0xB400000;  // 180 MiB

// Free space of a volume in MiB; nothing when the system cannot tell.
std::optional<std::uint64_t> vGetDiskFreeSpace(char cDriveLetter);

// `iTestCount` rounds (at least one) of copy, read back and compare: 0 pass, -1 fail.
int vReadWriteTest(char cDriveLetter, int iTestCount);

}  // namespace quib::services::rwtest
