// The device installation services on Windows: interfaces and devices through SetupDi, their registry
// properties, and the eject that safe removal asks of the configuration manager.
#pragma once

#include "platform/platform.h"

namespace quib::platform {

class Win32Devices final : public Devices {
  public:
    Win32Devices() = default;

    std::vector<DeviceInterface> interfaces(const std::string& interfaceGuid) override;
    std::vector<DeviceNode> allDevices() override;
    std::optional<std::string> descriptionByDriverKey(const std::string& driverKeyName) override;
    std::optional<std::string> hardwareIdByDriverKey(const std::string& driverKeyName) override;
    bool requestEject(const std::string& instanceId) override;

  private:
    std::optional<std::string> propertyByDriverKey(const std::string& driverKeyName, std::uint32_t property);
};

}  // namespace quib::platform
