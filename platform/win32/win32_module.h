// The program file, its resources and the module loader on Windows.
#pragma once

#include "platform/platform.h"

namespace quib::platform {

class Win32Module final : public Module {
  public:
    std::string executablePath() override;
    // The program's own PE resources (FindResource/LoadResource), type by name.
    std::optional<std::span<const std::uint8_t>> findResource(std::string_view type, int id) override;
    void* loadLibrary(const std::string& path) override;
    void* findSymbol(void* library, const char* name) override;
    bool freeLibrary(void* library) override;
};

}  // namespace quib::platform
