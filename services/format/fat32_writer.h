// Writes a planned FAT32 volume through whatever holds its sectors: a volume opened by the system, or an
// image file.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "services/format/fat32_layout.h"

namespace quib::services::fat32 {

class SectorWriter {
  public:
    virtual ~SectorWriter() = default;
    // Writes whole sectors from `firstSector`; false when the write failed or fell short.
    virtual bool write(std::uint64_t firstSector, std::span<const std::uint8_t> data) = 0;
};

inline constexpr std::uint32_t kZeroSectorsPerWrite = 128;

struct WriteResult {
    std::uint64_t bytesWritten = 0;
    int failedWrites = 0;  // logged, and formatting goes on
};

// Writes zeros over `count` sectors from `first`, at most 128 sectors a write, and logs the throughput.
void zeroSectors(SectorWriter& writer, std::uint32_t bytesPerSector, std::uint64_t first, std::uint64_t count,
                 WriteResult& result);

// Clears the system area (reserved sectors, both FATs, the root cluster) in writes of at most 128 sectors,
// writes the boot sector and FSInfo at sectors 0 and 1 and their copies at 6 and 7, the first FAT sector at
// the start of each FAT, and the root directory's first 4096 bytes with the label.
WriteResult writeVolume(SectorWriter& writer, const Layout& layout, const VolumeGeometry& geometry,
                        std::uint32_t volumeId, std::string_view label, const LocalTime& time);

}  // namespace quib::services::fat32
