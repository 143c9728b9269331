// The partition table on a bench drive as the system's partition manager reads it: an MBR, or a GPT
// whose header and entry array pass their CRC-32s (the primary, else the backup at the disk's end).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace bench {

// Reads bytes of the disk at a byte offset; false when they cannot be read.
using DiskReader = std::function<bool(std::uint64_t offset, std::span<std::uint8_t> out)>;

struct PartitionSlot {
    std::uint32_t number = 0;  // 1-based, in table order (empty entries skipped)
    std::uint64_t offset = 0, length = 0;
    std::uint8_t mbrType = 0;
    bool active = false;
    std::array<std::uint8_t, 16> gptType{};
    std::uint64_t entryOffset = 0;  // byte offset on the disk of the partition's table entry
};

struct DiskLayout {
    enum class Style { Raw, Mbr, Gpt };
    Style style = Style::Raw;
    std::vector<PartitionSlot> partitions;
};

// The type GUID of the Microsoft reserved partition, as stored on disk.
inline constexpr std::array<std::uint8_t, 16> kGptMsrType = {0x16, 0xE3, 0xC9, 0xE3, 0x5C, 0x0B, 0xB8, 0x4D,
                                                             0x81, 0x7D, 0xF9, 0x2D, 0xF0, 0x02, 0x15, 0xAE};

DiskLayout readDiskLayout(const DiskReader& read, std::uint32_t sectorSize, std::uint64_t diskBytes);

// The partition a volume of the disk stands on: the first that is neither empty, a GPT guard nor the
// reserved partition.
const PartitionSlot* dataPartition(const DiskLayout& layout);

std::uint32_t crc32(std::span<const std::uint8_t> bytes);

}  // namespace bench
