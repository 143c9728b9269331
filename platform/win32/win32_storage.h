// Storage on Windows: device paths opened with CreateFileW, the SCSI pass-through in Windows' own record,
// and the storage queries, all through the device call table.
#pragma once

#include <map>
#include <mutex>
#include <set>
#include <string>

#include "platform/platform.h"

namespace quib::platform {

class Win32Storage final : public Storage {
  public:
    Win32Storage() = default;

    DeviceHandle open(const std::string& path, std::uint32_t access) override;
    void close(DeviceHandle handle) override;
    ScsiResult scsiPassThrough(DeviceHandle handle, records::ScsiPassThroughWithBuffers& record,
                               std::uint32_t inputSize, std::uint32_t outputSize) override;
    ScsiResult scsiPassThroughDirect(DeviceHandle handle, records::ScsiPassThroughDirect& record,
                                     std::span<std::uint8_t> data) override;
    std::optional<StorageDeviceNumber> deviceNumber(DeviceHandle handle) override;
    std::optional<StorageDescriptor> storageDescriptor(DeviceHandle handle) override;
    std::optional<DriveGeometry> driveGeometry(DeviceHandle handle) override;
    ScsiResult ataPassThroughDirect(DeviceHandle handle, AtaRequest& request,
                                    std::span<std::uint8_t> data) override;
    // Contents, volume locks and partitions (win32_disk_io.cpp).
    std::optional<std::uint32_t> readAt(DeviceHandle handle, std::uint64_t offset,
                                        std::span<std::uint8_t> data) override;
    std::optional<std::uint32_t> writeAt(DeviceHandle handle, std::uint64_t offset,
                                         std::span<const std::uint8_t> data) override;
    bool lockVolume(DeviceHandle volume) override;
    bool dismountVolume(DeviceHandle volume) override;
    bool unlockVolume(DeviceHandle volume) override;
    bool updateProperties(DeviceHandle disk) override;
    std::optional<PartitionInfo> partitionInfo(DeviceHandle handle) override;
    bool setPartitionType(DeviceHandle volume, std::uint8_t type) override;
    std::optional<std::uint32_t> partitionCount(DeviceHandle disk) override;

  private:
    // A request the system refused for want of rights names the device and says what to do, once for
    // each device.
    ScsiResult sent(DeviceHandle handle, ScsiResult result);
    void reportNoRights(const std::string& path);
    std::string pathOf(DeviceHandle handle);

    std::mutex m_lock;
    std::map<DeviceHandle, std::string> m_paths;  // of the handles open through this port
    std::set<std::string> m_rightsReported;
};

}  // namespace quib::platform
