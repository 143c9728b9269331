// Storage over the bench: opening device paths and the SCSI pass-through, judged as the OS judges it.
#pragma once

#include <atomic>
#include <memory>

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

    // Opens minus closes through this object: a test can see handles left open.
    int openHandles() const { return m_open.load(); }

  private:
    std::optional<bench::Target> targetOf(DeviceHandle handle);

    std::shared_ptr<bench::Bench> m_bench;
    std::atomic<int> m_open{0};
};

}  // namespace quib::platform
