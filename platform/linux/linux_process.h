// Removal of the run's files when the process is interrupted (SIGINT, SIGTERM, SIGHUP). The handler does
// only async-signal-safe work: it ends the line the window left open on the terminal, unlink()s paths
// prepared in advance, and empties folders with raw directory reads before rmdir().
#pragma once

#include "platform/platform.h"

namespace quib::platform {

class LinuxDevices;

class LinuxProcess final : public Process {
  public:
    // `devices` carries out the system's disk tools; without it they are not found, as any missing program.
    explicit LinuxProcess(LinuxDevices* devices = nullptr) : m_devices(devices) {}

    void setInterruptCleanup(const std::vector<std::string>& files, const std::vector<std::string>& folders,
                             std::optional<int> exitCode) override;
    // The system's disk tools ("diskpart.exe", "format.com", "label.exe") are carried out by the devices
    // port; any other program is the host's own.
    std::optional<std::uint32_t> runHidden(const std::string& program, const std::string& arguments,
                                           std::uint32_t timeoutMs) override;

  private:
    LinuxDevices* m_devices;
};

// The cleanup the handler would run, for tests: removes the prepared files and folders now.
void runInterruptCleanupForTest();

}  // namespace quib::platform
