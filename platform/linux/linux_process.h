// Removal of the run's files when the process is interrupted (SIGINT, SIGTERM, SIGHUP). The handler does
// only async-signal-safe work: it ends the line the window left open on the terminal, unlink()s paths
// prepared in advance, and empties folders with raw directory reads before rmdir().
#pragma once

#include "platform/platform.h"

namespace quib::platform {

class LinuxProcess final : public Process {
  public:
    void setInterruptCleanup(const std::vector<std::string>& files, const std::vector<std::string>& folders,
                             std::optional<int> exitCode) override;
    // The program is the host's own (Linux has no "diskpart.exe": starting it fails as a missing file).
    std::optional<std::uint32_t> runHidden(const std::string& program, const std::string& arguments,
                                           std::uint32_t timeoutMs) override;
};

// The cleanup the handler would run, for tests: removes the prepared files and folders now.
void runInterruptCleanupForTest();

}  // namespace quib::platform
