// Storage over the bench: opening device paths and the SCSI pass-through, judged as the OS judges it.
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <mutex>

#include "bench/bench.h"
#include "platform/platform.h"

namespace quib::platform {

class BenchStorage final : public Storage {
  public:
    explicit BenchStorage(std::shared_ptr<bench::Bench> bench) : m_bench(std::move(bench)) {}

    DeviceHandle open(const std::string& path, std::uint32_t access) override;
    void close(DeviceHandle handle) override;
    ScsiResult scsiPassThrough(DeviceHandle handle, records::ScsiPassThroughWithBuffers& record,
                               std::uint32_t inputSize, std::uint32_t outputSize) override;
    ScsiResult scsiPassThroughDirect(DeviceHandle handle, records::ScsiPassThroughDirect& record,
                                     std::span<std::uint8_t> data) override;
    std::optional<StorageDeviceNumber> deviceNumber(DeviceHandle handle) override;
    std::optional<StorageDescriptor> storageDescriptor(DeviceHandle handle) override;
    std::optional<DriveGeometry> driveGeometry(DeviceHandle handle) override;
    // As the system's port driver does for a USB disk: the command reaches the bridge as SAT.
    ScsiResult ataPassThroughDirect(DeviceHandle handle, AtaRequest& request,
                                    std::span<std::uint8_t> data) override;
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

    // Opens minus closes through this object: a test can see handles left open.
    int openHandles() const { return m_open.load(); }

  private:
    std::optional<bench::Target> targetOf(DeviceHandle handle);
    // Asks the bench about a handle's target and carries its error into the thread's last error: the
    // answer, or false / nothing for a handle that names nothing.
    template <class Ask>
    auto onTarget(DeviceHandle handle, Ask&& ask);
    bool volumeControl(DeviceHandle volume, bench::Bench::VolumeControl op);

    std::mutex m_handlesLock;
    std::map<DeviceHandle, int> m_opens;  // handles open now, by value (equal opens give equal handles)

    std::shared_ptr<bench::Bench> m_bench;
    std::atomic<int> m_open{0};
};

}  // namespace quib::platform
