// Where a FAT32 volume's structures lie and what they hold: cluster size, FAT size and the sectors the
// formatter writes, from the volume's geometry.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quib::services::fat32 {

inline constexpr std::uint32_t kReservedSectors = 32;
inline constexpr std::uint32_t kNumberOfFats = 2;
inline constexpr std::uint32_t kFsInfoSector = 1;
inline constexpr std::uint32_t kBackupBootSector = 6;
inline constexpr std::uint32_t kRootCluster = 2;
inline constexpr std::uint32_t kRootDirectoryBlock = 4096;  // bytes written at the root directory
// A FAT32 volume has at least this many clusters (fewer are read as FAT16) and at most 0x0FFFFFF5.
inline constexpr std::uint64_t kMinimumClusters = 65525;
inline constexpr std::uint64_t kMaximumClusters = 0x0FFFFFF5;
inline constexpr std::uint32_t kMaximumClusterBytes = 65536;

using Bytes = std::vector<std::uint8_t>;

struct LocalTime {
    int year = 1980, month = 1, day = 1, hour = 0, minute = 0, second = 0, milliseconds = 0;
};

// What the volume's geometry and partition information say.
struct VolumeGeometry {
    std::uint32_t bytesPerSector = 512;
    std::uint32_t sectorsPerTrack = 63;
    std::uint32_t heads = 255;
    std::uint32_t hiddenSectors = 0;  // the partition's start
    std::uint64_t partitionBytes = 0;
};

struct Layout {
    std::uint32_t bytesPerSector = 0;
    std::uint32_t sectorsPerCluster = 0;
    std::uint32_t totalSectors = 0;
    std::uint32_t fatSize = 0;      // sectors per FAT
    std::uint32_t dataSectors = 0;  // total - FATs - reserved
    std::uint64_t clusterCount = 0;
    std::uint64_t fatBytesNeeded = 0;  // (clusters + 2) entries of 4 bytes, rounded up to whole sectors

    std::uint32_t rootDirectorySector() const { return kReservedSectors + kNumberOfFats * fatSize; }
    // Reserved sectors, both FATs and the root directory's cluster: what formatting clears.
    std::uint64_t systemAreaSectors() const {
        return std::uint64_t{kReservedSectors} + std::uint64_t{kNumberOfFats} * fatSize + sectorsPerCluster;
    }
    std::uint32_t freeClusters() const { return static_cast<std::uint32_t>(clusterCount - 1); }
};

// Sectors per cluster asked for by disk size in MiB (up to 140288: 16; up to 280576: 32; below 562177: 64;
// larger, 0 or unknown (negative): 128).
std::uint32_t clusterRequestForDisk(std::int64_t diskMiB);

// Sectors per cluster when no request was made, by partition size in MiB: 1 up to 512 MiB, then clusters of
// 4, 8, 16 and 32 KiB above 512, 8192, 16384 and 32768 MiB.
std::uint32_t clusterSizeForPartition(std::uint64_t partitionMiB, std::uint32_t bytesPerSector);

// FAT size in sectors: (4 x (total - reserved)) / (sectors per cluster x bytes per sector + 4 x FATs) + 1.
std::uint32_t fatSizeFor(std::uint64_t totalSectors, std::uint32_t sectorsPerCluster,
                         std::uint32_t bytesPerSector);

struct Plan {
    std::optional<Layout> layout;
    std::string refusal;               // why there is no layout
    std::vector<std::string> changes;  // how the cluster size was changed to give a valid FAT32
};

// The layout of a volume with this geometry and cluster request (0: the partition size decides).
// Refused: a sector size other than 512..4096 (a power of two), a volume of 0xFFFF sectors or fewer, or of
// 0xFFFFFFFF or more. A cluster over 64 KiB is made 64 KiB; a cluster count under the FAT32 minimum halves
// the cluster while it can, and is refused when even one sector per cluster gives too few.
Plan planVolume(const VolumeGeometry& geometry, std::uint32_t sectorsPerClusterRequest);

// Volume id from the local time: low 16 bits (day + month x 256) + (ms / 10 + seconds x 256), high 16 bits
// (minute + hour x 256) + year, each modulo 65536.
std::uint32_t volumeIdFrom(const LocalTime& time);

// The label as FAT keeps it: its first 11 bytes, padded with spaces; "NO NAME    " when empty.
std::string labelField(std::string_view label);

// One sector each (the layout's sector size).
Bytes makeBootSector(const Layout& layout, const VolumeGeometry& geometry, std::uint32_t volumeId,
                     std::string_view label);
Bytes makeFsInfoSector(const Layout& layout);
Bytes makeFirstFatSector(const Layout& layout);
// The 4096 bytes written at the root directory: the volume label's entry, the rest zero.
Bytes makeRootDirectoryBlock(std::string_view label, const LocalTime& time);

}  // namespace quib::services::fat32
