// Message boxes and the debugger output channel on Windows.
#pragma once

#include "platform/platform.h"

namespace quib::platform {

class Win32UserInterface final : public UserInterface {
  public:
    int messageBox(const std::string& text, const std::string& caption, std::uint32_t style) override;
    void debugOutput(std::string_view text) override;
};

}  // namespace quib::platform
