#include "services/format/fat32_layout.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "services/format/fat32_records.h"

namespace quib::services::fat32 {
namespace {

constexpr std::uint64_t kMiB = 1024 * 1024;

template <typename Record>
void place(Bytes& sector, const Record& record) {
    std::memcpy(sector.data(), &record, sizeof record);
}

// FAT time: hours, minutes and seconds / 2; FAT date: years since 1980, month, day.
std::uint16_t fatTime(const LocalTime& t) {
    return static_cast<std::uint16_t>((t.hour << 11) | (t.minute << 5) | (t.second / 2));
}
std::uint16_t fatDate(const LocalTime& t) {
    return static_cast<std::uint16_t>((std::max(t.year - 1980, 0) << 9) | (t.month << 5) | t.day);
}

}  // namespace

std::uint32_t clusterRequestForDisk(std::int64_t diskMiB) {
    if (diskMiB <= 0) return 128;
    if (diskMiB <= 140288) return 16;
    if (diskMiB <= 280576) return 32;
    if (diskMiB < 562177) return 64;
    return 128;
}

std::uint32_t clusterSizeForPartition(std::uint64_t partitionMiB, std::uint32_t bytesPerSector) {
    std::uint32_t kib = 0;
    if (partitionMiB > 32768) {
        kib = 32;
    } else if (partitionMiB > 16384) {
        kib = 16;
    } else if (partitionMiB > 8192) {
        kib = 8;
    } else if (partitionMiB > 512) {
        kib = 4;
    } else {
        return 1;
    }
    return std::max<std::uint32_t>(1, kib * 1024 / bytesPerSector);
}

std::uint32_t fatSizeFor(std::uint64_t totalSectors, std::uint32_t sectorsPerCluster,
                         std::uint32_t bytesPerSector) {
    const std::uint64_t numerator = 4 * (totalSectors - kReservedSectors);
    const std::uint64_t denominator = std::uint64_t{sectorsPerCluster} * bytesPerSector + 4 * kNumberOfFats;
    return static_cast<std::uint32_t>(numerator / denominator + 1);
}

Plan planVolume(const VolumeGeometry& geometry, std::uint32_t sectorsPerClusterRequest) {
    Plan plan;
    const std::uint32_t bps = geometry.bytesPerSector;
    if (bps < 512 || bps > 4096 || !std::has_single_bit(bps)) {
        plan.refusal = "sector size " + std::to_string(bps) + " is not one FAT32 knows";
        return plan;
    }
    const std::uint64_t total = geometry.partitionBytes / bps;
    if (total <= 0xFFFF || total >= 0xFFFFFFFF) {
        plan.refusal = "too small(64K Clusters) or too large(2TB)";
        return plan;
    }
    std::uint32_t spc = sectorsPerClusterRequest != 0
                            ? sectorsPerClusterRequest
                            : clusterSizeForPartition(geometry.partitionBytes / kMiB, bps);
    if (std::uint64_t{spc} * bps > kMaximumClusterBytes) {
        const std::uint32_t fitted = kMaximumClusterBytes / bps;
        plan.changes.push_back("a cluster of " + std::to_string(spc) + " sectors of " + std::to_string(bps) +
                               " bytes is over 64 KiB: " + std::to_string(fitted) + " sectors");
        spc = fitted;
    }
    Layout layout;
    const auto fill = [&](std::uint32_t sectorsPerCluster) {
        layout.bytesPerSector = bps;
        layout.sectorsPerCluster = sectorsPerCluster;
        layout.totalSectors = static_cast<std::uint32_t>(total);
        layout.fatSize = fatSizeFor(total, sectorsPerCluster, bps);
        layout.dataSectors = static_cast<std::uint32_t>(
            total - kNumberOfFats * std::uint64_t{layout.fatSize} - kReservedSectors);
        layout.clusterCount = layout.dataSectors / sectorsPerCluster;
        layout.fatBytesNeeded = (layout.clusterCount + 2) * 4;
        layout.fatBytesNeeded = (layout.fatBytesNeeded + bps - 1) / bps * bps;
        // The formula leaves out the FAT's two reserved entries: where that makes the FAT one sector short
        // of its clusters, it grows until they fit (a short FAT is a volume other systems refuse).
        while (layout.fatBytesNeeded > std::uint64_t{layout.fatSize} * bps) {
            plan.changes.push_back("a FAT of " + std::to_string(layout.fatSize) + " sectors is short of " +
                                   std::to_string(layout.clusterCount) + " clusters: one sector more");
            ++layout.fatSize;
            layout.dataSectors = static_cast<std::uint32_t>(
                total - kNumberOfFats * std::uint64_t{layout.fatSize} - kReservedSectors);
            layout.clusterCount = layout.dataSectors / sectorsPerCluster;
            layout.fatBytesNeeded = ((layout.clusterCount + 2) * 4 + bps - 1) / bps * bps;
        }
    };
    fill(spc);
    while (layout.clusterCount < kMinimumClusters && spc > 1) {
        plan.changes.push_back(std::to_string(layout.clusterCount) + " clusters of " + std::to_string(spc) +
                               " sectors are too few for FAT32: " + std::to_string(spc / 2) + " sectors");
        spc /= 2;
        fill(spc);
    }
    while (layout.clusterCount > kMaximumClusters && std::uint64_t{spc} * 2 * bps <= kMaximumClusterBytes) {
        plan.changes.push_back(std::to_string(layout.clusterCount) +
                               " clusters are too many for FAT32: " + std::to_string(spc * 2) + " sectors");
        spc *= 2;
        fill(spc);
    }
    if (layout.clusterCount < kMinimumClusters || layout.clusterCount > kMaximumClusters) {
        plan.refusal = std::to_string(layout.clusterCount) + " clusters: not a FAT32 volume";
        return plan;
    }
    plan.layout = layout;
    return plan;
}

std::uint32_t volumeIdFrom(const LocalTime& t) {
    const auto low =
        static_cast<std::uint16_t>((t.day + t.month * 256) + (t.milliseconds / 10 + t.second * 256));
    const auto high = static_cast<std::uint16_t>((t.minute + t.hour * 256) + t.year);
    return (std::uint32_t{high} << 16) | low;
}

std::string labelField(std::string_view label) {
    if (label.empty()) return "NO NAME    ";
    std::string field(label.substr(0, 11));
    field.resize(11, ' ');
    return field;
}

Bytes makeBootSector(const Layout& layout, const VolumeGeometry& geometry, std::uint32_t volumeId,
                     std::string_view label) {
    BootSector boot{};
    const std::uint8_t jump[] = {0xEB, 0x5A, 0x90};
    std::memcpy(boot.jump, jump, sizeof jump);
    std::memcpy(boot.oemName, "MSWIN4.1", 8);
    boot.bytesPerSector = static_cast<std::uint16_t>(layout.bytesPerSector);
    boot.sectorsPerCluster = static_cast<std::uint8_t>(layout.sectorsPerCluster);
    boot.reservedSectors = kReservedSectors;
    boot.numberOfFats = kNumberOfFats;
    boot.media = 0xF8;
    boot.sectorsPerTrack = static_cast<std::uint16_t>(geometry.sectorsPerTrack);
    boot.heads = static_cast<std::uint16_t>(geometry.heads);
    boot.hiddenSectors = geometry.hiddenSectors;
    boot.totalSectors32 = layout.totalSectors;
    boot.fatSize32 = layout.fatSize;
    boot.rootCluster = kRootCluster;
    boot.fsInfoSector = kFsInfoSector;
    boot.backupBootSector = kBackupBootSector;
    boot.driveNumber = 0x80;
    boot.bootSignature = 0x29;
    boot.volumeId = volumeId;
    // The boot sector names the same label as the root directory: tools that find two labels that differ
    // take the volume for damaged.
    std::memcpy(boot.volumeLabel, labelField(label).data(), 11);
    std::memcpy(boot.fileSystemType, "FAT32   ", 8);
    boot.signature[0] = 0x55;
    boot.signature[1] = 0xAA;
    Bytes sector(layout.bytesPerSector, 0);
    place(sector, boot);
    sector[layout.bytesPerSector - 2] = 0x55;
    sector[layout.bytesPerSector - 1] = 0xAA;
    return sector;
}

Bytes makeFsInfoSector(const Layout& layout) {
    FsInfoSector info{};
    info.leadSignature = 0x41615252;
    info.structSignature = 0x61417272;
    info.freeCount = layout.freeClusters();
    info.nextFree = 3;
    info.trailSignature = 0xAA550000;
    Bytes sector(layout.bytesPerSector, 0);
    place(sector, info);
    return sector;
}

Bytes makeFirstFatSector(const Layout& layout) {
    Bytes sector(layout.bytesPerSector, 0);
    const std::uint32_t entries[] = {0x0FFFFFF8, 0x0FFFFFFF,
                                     0x0FFFFFFF};  // media, reserved, root's chain end
    std::memcpy(sector.data(), entries, sizeof entries);
    return sector;
}

Bytes makeRootDirectoryBlock(std::string_view label, const LocalTime& time) {
    Bytes block(kRootDirectoryBlock, 0);
    if (label.empty()) return block;
    DirectoryEntry entry{};
    std::memcpy(entry.name, labelField(label).data(), 11);
    entry.attributes = 0x08;  // volume label
    entry.writeTime = fatTime(time);
    entry.writeDate = fatDate(time);
    place(block, entry);
    return block;
}

}  // namespace quib::services::fat32
