#include "services/volume/disk_queries.h"

#include "platform/platform.h"
#include "services/volume/bridge_volume.h"

namespace quib::services {
namespace {

// An open device, closed at the end of the scope.
struct OpenDevice {
    platform::DeviceHandle handle;
    explicit OpenDevice(const std::string& path, std::uint32_t access = platform::kAccessRead)
        : handle(platform::get().storage.open(path, access)) {}
    ~OpenDevice() {
        if (platform::isValid(handle)) platform::get().storage.close(handle);
    }
    OpenDevice(const OpenDevice&) = delete;
    OpenDevice& operator=(const OpenDevice&) = delete;
};

}  // namespace

std::string physicalDrivePath(std::uint8_t ucPhysicalAddress) {
    return "\\\\.\\PhysicalDrive" + std::to_string(ucPhysicalAddress);
}

std::int64_t vGetDiskPhysicalSize(std::uint8_t ucPhysicalAddress) {
    const OpenDevice disk(physicalDrivePath(ucPhysicalAddress));
    if (!platform::isValid(disk.handle)) return -1;
    const auto geometry = platform::get().storage.driveGeometry(disk.handle);
    if (!geometry) return -1;
    return static_cast<std::int64_t>(geometry->diskSize / 1048576);
}

int vGetPartitionCount(std::uint8_t ucPhysicalAddress) {
    const OpenDevice disk(physicalDrivePath(ucPhysicalAddress));
    if (!platform::isValid(disk.handle)) return -1;
    const auto count = platform::get().storage.partitionCount(disk.handle);
    return count ? static_cast<int>(*count) : -1;
}

std::optional<std::uint32_t> diskOfVolume(char cDriveLetter) {
    const OpenDevice volume(volumePath(cDriveLetter), platform::kAccessNone);
    if (!platform::isValid(volume.handle)) return std::nullopt;
    const auto extents = platform::get().volumes.diskExtents(volume.handle);
    if (!extents || extents->size() != 1) return std::nullopt;
    return extents->front().diskNumber;
}

}  // namespace quib::services
