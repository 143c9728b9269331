// The running program file, its packaged resources and the module loader.
#pragma once

#include "platform/platform.h"

namespace quib::platform {

class LinuxModule final : public Module {
  public:
    std::string executablePath() override;
    std::optional<std::span<const std::uint8_t>> findResource(std::string_view type, int id) override;
    void* loadLibrary(const std::string& path) override;
    void* findSymbol(void* library, const char* name) override;
    bool freeLibrary(void* library) override;

    // The loader's text for the last failure (dlerror), for diagnostics.
    static std::string lastLoaderError();
};

}  // namespace quib::platform
