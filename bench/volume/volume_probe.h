// What a mounted volume reports of itself (GetVolumeInformation, GetDiskFreeSpaceEx), read from the
// file system on it as the system's own drivers would find it: FAT32, exFAT or NTFS.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "bench/volume/disk_layout.h"

namespace bench {

struct VolumeFacts {
    std::string fileSystem;  // "FAT32", "exFAT", "NTFS"
    std::string label;       // from the root directory (FAT32, exFAT) or $Volume (NTFS); "" when none
    std::uint32_t serial = 0;
    std::optional<std::uint64_t> freeBytes;  // known for FAT32 (its FSInfo count)
};

// `read` reads bytes of the volume at an offset from its start; nothing when no known file system is there.
std::optional<VolumeFacts> probeVolume(const DiskReader& read, std::uint64_t volumeBytes);

}  // namespace bench
