#include "platform/linux/linux_devices.h"

namespace quib::platform {
namespace {
template <typename T>
std::optional<T> none(std::uint32_t error) {
    setLastError(error);
    return std::nullopt;
}
}  // namespace

DeviceHandle LinuxNoDevices::open(const std::string&, std::uint32_t) {
    setLastError(kErrorFileNotFound);
    return kInvalidHandle;
}
void LinuxNoDevices::close(DeviceHandle) {}

ScsiResult LinuxNoDevices::scsiPassThrough(DeviceHandle, records::ScsiPassThroughWithBuffers&, std::uint32_t,
                                           std::uint32_t) {
    setLastError(kErrorInvalidHandle);
    return {};
}
ScsiResult LinuxNoDevices::scsiPassThroughDirect(DeviceHandle, records::ScsiPassThroughDirect&,
                                                 std::span<std::uint8_t>) {
    setLastError(kErrorInvalidHandle);
    return {};
}
std::optional<StorageDeviceNumber> LinuxNoDevices::deviceNumber(DeviceHandle) {
    return none<StorageDeviceNumber>(kErrorInvalidHandle);
}
std::optional<StorageDescriptor> LinuxNoDevices::storageDescriptor(DeviceHandle) {
    return none<StorageDescriptor>(kErrorInvalidHandle);
}
std::optional<DriveGeometry> LinuxNoDevices::driveGeometry(DeviceHandle) {
    return none<DriveGeometry>(kErrorInvalidHandle);
}

std::optional<std::string> LinuxNoDevices::hcdDriverKeyName(DeviceHandle) {
    return none<std::string>(kErrorInvalidHandle);
}
std::optional<std::string> LinuxNoDevices::rootHubName(DeviceHandle) {
    return none<std::string>(kErrorInvalidHandle);
}
std::optional<std::uint32_t> LinuxNoDevices::hubPortCount(DeviceHandle) {
    return none<std::uint32_t>(kErrorInvalidHandle);
}
std::optional<NodeConnectionInfo> LinuxNoDevices::connectionInfo(DeviceHandle, std::uint32_t) {
    return none<NodeConnectionInfo>(kErrorInvalidHandle);
}
std::optional<std::string> LinuxNoDevices::connectionName(DeviceHandle, std::uint32_t) {
    return none<std::string>(kErrorInvalidHandle);
}
std::optional<std::string> LinuxNoDevices::connectionDriverKeyName(DeviceHandle, std::uint32_t) {
    return none<std::string>(kErrorInvalidHandle);
}
std::optional<std::vector<std::uint8_t>> LinuxNoDevices::descriptorFromConnection(DeviceHandle, std::uint32_t,
                                                                                  const SetupPacket&) {
    return none<std::vector<std::uint8_t>>(kErrorInvalidHandle);
}

std::vector<DeviceInterface> LinuxNoDevices::interfaces(const std::string&) {
    setLastError(kErrorNoMoreItems);
    return {};
}
std::vector<DeviceNode> LinuxNoDevices::allDevices() {
    return {};
}
std::optional<std::string> LinuxNoDevices::descriptionByDriverKey(const std::string&) {
    return none<std::string>(kErrorFileNotFound);
}
std::optional<std::string> LinuxNoDevices::hardwareIdByDriverKey(const std::string&) {
    return none<std::string>(kErrorFileNotFound);
}
bool LinuxNoDevices::requestEject(const std::string&) {
    setLastError(kErrorNotSupported);
    return false;
}

std::optional<std::string> LinuxNoDevices::volumeNameForMountPoint(const std::string&) {
    return none<std::string>(kErrorFileNotFound);
}
std::optional<std::vector<DiskExtent>> LinuxNoDevices::diskExtents(DeviceHandle) {
    return none<std::vector<DiskExtent>>(kErrorInvalidHandle);
}
std::uint32_t LinuxNoDevices::driveType(const std::string&) {
    return kDriveNoRootDir;
}

std::uint32_t LinuxNoDevices::processorArchitecture() {
#if defined(__x86_64__) || defined(__aarch64__)
    return 9;
#else
    return 0;
#endif
}

}  // namespace quib::platform
