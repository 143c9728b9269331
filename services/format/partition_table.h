// A disk's partition table, MBR or GPT: what a table holds, the sectors that carry it, and reading it back.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quib::services::partition {

using Bytes = std::vector<std::uint8_t>;
using Guid = std::array<std::uint8_t, 16>;  // as stored: the first three fields little-endian

// Basic data (EBD0A0A2-B9E5-4433-87C0-68B6B72699C7) and Microsoft reserved
// (E3C9E316-0B5C-4DB8-817D-F92DF00215AE).
inline constexpr Guid kBasicDataType = {0xA2, 0xA0, 0xD0, 0xEB, 0xE5, 0xB9, 0x33, 0x44,
                                        0x87, 0xC0, 0x68, 0xB6, 0xB7, 0x26, 0x99, 0xC7};
inline constexpr Guid kMicrosoftReservedType = {0x16, 0xE3, 0xC9, 0xE3, 0x5C, 0x0B, 0xB8, 0x4D,
                                                0x81, 0x7D, 0xF9, 0x2D, 0xF0, 0x02, 0x15, 0xAE};
inline constexpr std::uint32_t kGptEntryCount = 128;
inline constexpr std::uint32_t kGptEntriesBytes = kGptEntryCount * 128;

struct Partition {
    std::uint64_t firstLba = 0;
    std::uint64_t sectorCount = 0;
    // MBR
    std::uint8_t mbrType = 0x07;
    bool active = false;
    // GPT
    Guid type = kBasicDataType;
    Guid unique{};
    std::u16string name;
};

struct Table {
    bool gpt = false;
    std::uint32_t diskSignature = 0;  // MBR
    Guid diskGuid{};                  // GPT
    std::vector<Partition> partitions;
};

struct SectorWrite {
    std::uint64_t lba = 0;
    Bytes bytes;  // whole sectors
};

// The GPT's first and last usable sectors on a disk of `diskSectors`.
std::uint64_t gptFirstUsable(std::uint32_t sectorSize);
std::uint64_t gptLastUsable(std::uint64_t diskSectors, std::uint32_t sectorSize);

// The sectors that carry the table: the MBR; or the protective MBR, the GPT header and entries, and their
// backup at the disk's end. Empty when the table does not fit the disk (a partition outside it, more than
// four MBR partitions or 128 GPT ones, an MBR partition past 2^32 sectors).
std::vector<SectorWrite> encode(const Table& table, std::uint64_t diskSectors, std::uint32_t sectorSize);

// Reads `count` sectors from `lba`; empty when that fails.
using SectorReader = std::function<Bytes(std::uint64_t lba, std::uint32_t count)>;

// The table a disk holds: a GPT when the MBR protects one and its header and entries check (the backup is
// read when the primary does not), otherwise the MBR's partitions; nothing without the 55 AA signature.
std::optional<Table> decode(const SectorReader& read, std::uint64_t diskSectors, std::uint32_t sectorSize);

// CRC-32 as GPT uses it (the IEEE polynomial, reflected, inverted in and out).
std::uint32_t crc32(std::span<const std::uint8_t> data);

}  // namespace quib::services::partition
