// Storage, USB tree, device and volume queries of the native Linux backend.
//
// Device paths, sysfs and usbfs are not read yet (the SG_IO conversion of requests is in linux_sg_io): no
// device path opens, the USB tree has no host controllers and no volume carries a drive letter, so a scan
// finds no bridge and says so.
#pragma once

#include "platform/platform.h"

namespace quib::platform {

class LinuxNoDevices final : public Storage, public UsbTree, public Devices, public Volumes {
  public:
    DeviceHandle open(const std::string& path, std::uint32_t access) override;
    void close(DeviceHandle handle) override;
    ScsiResult scsiPassThrough(DeviceHandle handle, records::ScsiPassThroughWithBuffers& record,
                               std::uint32_t inputSize, std::uint32_t outputSize) override;
    ScsiResult scsiPassThroughDirect(DeviceHandle handle, records::ScsiPassThroughDirect& record,
                                     std::span<std::uint8_t> data) override;
    std::optional<StorageDeviceNumber> deviceNumber(DeviceHandle handle) override;
    std::optional<StorageDescriptor> storageDescriptor(DeviceHandle handle) override;
    std::optional<DriveGeometry> driveGeometry(DeviceHandle handle) override;

    std::optional<std::string> hcdDriverKeyName(DeviceHandle controller) override;
    std::optional<std::string> rootHubName(DeviceHandle controller) override;
    std::optional<std::uint32_t> hubPortCount(DeviceHandle hub) override;
    std::optional<NodeConnectionInfo> connectionInfo(DeviceHandle hub, std::uint32_t port) override;
    std::optional<std::string> connectionName(DeviceHandle hub, std::uint32_t port) override;
    std::optional<std::string> connectionDriverKeyName(DeviceHandle hub, std::uint32_t port) override;
    std::optional<std::vector<std::uint8_t>> descriptorFromConnection(DeviceHandle hub, std::uint32_t port,
                                                                      const SetupPacket& request) override;

    std::vector<DeviceInterface> interfaces(const std::string& interfaceGuid) override;
    std::vector<DeviceNode> allDevices() override;
    std::optional<std::string> descriptionByDriverKey(const std::string& driverKeyName) override;
    std::optional<std::string> hardwareIdByDriverKey(const std::string& driverKeyName) override;
    bool requestEject(const std::string& instanceId) override;

    std::optional<std::string> volumeNameForMountPoint(const std::string& mountPoint) override;
    std::optional<std::vector<DiskExtent>> diskExtents(DeviceHandle volume) override;
    std::uint32_t driveType(const std::string& rootPath) override;
    std::uint32_t processorArchitecture() override;
};

}  // namespace quib::platform
