// Writing a partition table as the system's partitioning tool lays it down: an MBR, or a protective MBR with
// a GPT and its backup at the disk's end.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace bench {

struct TablePartition {
    std::uint64_t firstLba = 0, sectors = 0;
    std::uint8_t mbrType = 0x07;
    bool active = false;
    std::array<std::uint8_t, 16> gptType{};
    std::u16string name;  // GPT
};

struct SectorImage {
    std::uint64_t lba = 0;
    std::vector<std::uint8_t> bytes;  // whole sectors
};

// The type GUID of a basic data partition, as stored on disk.
inline constexpr std::array<std::uint8_t, 16> kGptBasicDataType = {
    0xA2, 0xA0, 0xD0, 0xEB, 0xE5, 0xB9, 0x33, 0x44, 0x87, 0xC0, 0x68, 0xB6, 0xB7, 0x26, 0x99, 0xC7};
inline constexpr std::uint32_t kGptEntries = 128, kGptEntryBytes = 128;

// The sectors of the GPT's entry array.
std::uint64_t gptEntrySectors(std::uint32_t sectorSize);
std::uint64_t gptFirstUsableLba(std::uint32_t sectorSize);
std::uint64_t gptLastUsableLba(std::uint64_t diskSectors, std::uint32_t sectorSize);

// At most four partitions, none past 2^32 sectors (the caller keeps to that).
std::vector<SectorImage> mbrTable(std::uint32_t signature, const std::vector<TablePartition>& partitions,
                                  std::uint32_t sectorSize);
// Unique partition GUIDs are made from the disk GUID and the entry's place.
std::vector<SectorImage> gptTable(const std::array<std::uint8_t, 16>& diskGuid,
                                  const std::vector<TablePartition>& partitions, std::uint64_t diskSectors,
                                  std::uint32_t sectorSize);

}  // namespace bench
