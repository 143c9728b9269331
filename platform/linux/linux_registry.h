// The machine-wide registry on Linux: a file store, by default /var/lib/quibusb/registry/registry.json,
// or the folder named by QUIB_REGISTRY.
#pragma once

#include <mutex>
#include <string>

#include "platform/platform.h"

namespace quib::platform {

class FileRegistry final : public Registry {
  public:
    explicit FileRegistry(std::string storeFile);
    // The store this build uses: QUIB_REGISTRY's folder or the default one.
    static std::string defaultStoreFile();

    bool keyExists(const std::string& subKey) override;
    bool createKey(const std::string& subKey) override;
    std::optional<RegistryValue> readValue(const std::string& subKey, const std::string& name) override;
    bool writeValue(const std::string& subKey, const std::string& name, const RegistryValue& value) override;

  private:
    std::string m_storeFile;
    std::mutex m_lock;
};

}  // namespace quib::platform
