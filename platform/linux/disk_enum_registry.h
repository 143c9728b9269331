// The registry as the system reads it on Linux: the file store, except for the disk-count key that the
// kernel's disks answer (its "Count" and the instance IDs "0", "1", ... in disk-number order).
#pragma once

#include "platform/linux/linux_devices.h"
#include "platform/platform.h"

namespace quib::platform {

class DiskEnumRegistry final : public Registry {
  public:
    DiskEnumRegistry(Registry& store, LinuxDevices& devices) : m_store(store), m_devices(devices) {}

    bool keyExists(const std::string& subKey) override;
    bool createKey(const std::string& subKey) override;
    std::optional<RegistryValue> readValue(const std::string& subKey, const std::string& name) override;
    // The disk-count key is the system's own: writing it is refused (access denied).
    bool writeValue(const std::string& subKey, const std::string& name, const RegistryValue& value) override;

  private:
    Registry& m_store;
    LinuxDevices& m_devices;
};

}  // namespace quib::platform
