// Volumes and drive letters on Windows.
#pragma once

#include "platform/platform.h"

namespace quib::platform {

class Win32Volumes final : public Volumes {
  public:
    Win32Volumes() = default;

    std::optional<std::string> volumeNameForMountPoint(const std::string& mountPoint) override;
    std::optional<std::vector<DiskExtent>> diskExtents(DeviceHandle volume) override;
    std::uint32_t driveType(const std::string& rootPath) override;
    std::uint32_t processorArchitecture() override;
    std::optional<Information> volumeInformation(const std::string& rootPath) override;
    std::optional<std::uint64_t> freeBytes(const std::string& rootPath) override;
    bool setVolumeLabel(const std::string& rootPath, const std::string& label) override;
};

}  // namespace quib::platform
