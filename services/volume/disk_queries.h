// Questions about a whole disk the formatter asks by its number: its size and its partitions.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace quib::services {

// "\\.\PhysicalDrive3"
std::string physicalDrivePath(std::uint8_t ucPhysicalAddress);

// The disk's size in MiB from its extended geometry; -1 when it cannot be opened or asked.
std::int64_t vGetDiskPhysicalSize(std::uint8_t ucPhysicalAddress);

// The number of partitions in the disk's drive layout; -1 when it cannot be read.
int vGetPartitionCount(std::uint8_t ucPhysicalAddress);

// The number of the disk a volume lies on ("\\.\E:"), when it lies on exactly one.
std::optional<std::uint32_t> diskOfVolume(char cDriveLetter);

}  // namespace quib::services
