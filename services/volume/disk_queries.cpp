#include "services/volume/disk_queries.h"

#include "devcore/transport/device_path.h"
#include "platform/platform.h"
#include "services/volume/bridge_volume.h"

namespace quib::services {

std::string physicalDrivePath(std::uint8_t ucPhysicalAddress) {
    return devcore::makeDevicePath(false, ucPhysicalAddress);
}

std::int64_t vGetDiskPhysicalSize(std::uint8_t ucPhysicalAddress) {
    const devcore::ScopedDevice disk(physicalDrivePath(ucPhysicalAddress), platform::kAccessRead);
    if (!disk.valid()) return -1;
    const auto geometry = platform::get().storage.driveGeometry(disk.get());
    if (!geometry) return -1;
    return static_cast<std::int64_t>(geometry->diskSize / 1048576);
}

int vGetPartitionCount(std::uint8_t ucPhysicalAddress) {
    const devcore::ScopedDevice disk(physicalDrivePath(ucPhysicalAddress), platform::kAccessRead);
    if (!disk.valid()) return -1;
    const auto count = platform::get().storage.partitionCount(disk.get());
    return count ? static_cast<int>(*count) : -1;
}

std::optional<std::uint32_t> diskOfVolume(char cDriveLetter) {
    const devcore::ScopedDevice volume(volumePath(cDriveLetter), platform::kAccessNone);
    if (!volume.valid()) return std::nullopt;
    const auto extents = platform::get().volumes.diskExtents(volume.get());
    if (!extents || extents->size() != 1) return std::nullopt;
    return extents->front().diskNumber;
}

}  // namespace quib::services
