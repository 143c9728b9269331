// Interrupts on Windows: Ctrl+C or Ctrl+Break on a console, the console closing, and the user's session
// ending (log-off, shutdown; a GUI program hears of it through a window of its own).
#pragma once

#include "platform/platform.h"

namespace quib::platform {

class Win32Process final : public Process {
  public:
    void setInterruptCleanup(const std::vector<std::string>& files, const std::vector<std::string>& folders,
                             std::optional<int> exitCode) override;
    std::optional<std::uint32_t> runHidden(const std::string& program, const std::string& arguments,
                                           std::uint32_t timeoutMs) override;
};

// Removes what the cleanup set names, as an interrupt would (tests).
void runInterruptCleanupForTest();

}  // namespace quib::platform
