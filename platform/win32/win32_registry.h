// The machine-wide registry (HKEY_LOCAL_MACHINE) on Windows.
#pragma once

#include "platform/platform.h"

namespace quib::platform {

class Win32Registry final : public Registry {
  public:
    bool keyExists(const std::string& subKey) override;
    bool createKey(const std::string& subKey) override;
    std::optional<RegistryValue> readValue(const std::string& subKey, const std::string& name) override;
    bool writeValue(const std::string& subKey, const std::string& name, const RegistryValue& value) override;
};

}  // namespace quib::platform
