#include <cstdlib>

#include "platform/backends.h"
#include "platform/linux/disk_enum_registry.h"
#include "platform/linux/linux_clock.h"
#include "platform/linux/linux_devices.h"
#include "platform/linux/linux_files.h"
#include "platform/linux/linux_module.h"
#include "platform/linux/linux_process.h"
#include "platform/linux/linux_registry.h"
#include "platform/linux/linux_terminal_dialog.h"
#include "platform/linux/linux_terminal_ui.h"

namespace quib::platform {
namespace {

// QUIB_SYSFS and QUIB_DEVFS point the backend at another device tree (a recorded one, for example).
LinuxDeviceRoots rootsFromEnvironment() {
    LinuxDeviceRoots roots;
    if (const char* sys = std::getenv("QUIB_SYSFS"); sys && *sys) roots.sys = sys;
    if (const char* dev = std::getenv("QUIB_DEVFS"); dev && *dev) roots.dev = dev;
    return roots;
}

class LinuxBackend final : public Backend {
  public:
    LinuxBackend()
        : m_store(FileRegistry::defaultStoreFile()),
          m_devices(rootsFromEnvironment()),
          m_registry(m_store, m_devices),
          m_process(&m_devices),
          m_platform{m_files,   m_module,  m_registry, m_ui,     m_clock,  m_devices,
                     m_devices, m_devices, m_devices,  m_dialog, m_process} {
        m_files.setDriveRoots([this](char letter) { return m_devices.driveRoot(letter); });
    }
    Platform& platform() override { return m_platform; }

  private:
    LinuxFileSystem m_files;
    LinuxModule m_module;
    FileRegistry m_store;
    LinuxDevices m_devices;
    DiskEnumRegistry m_registry;
    LinuxTerminalUi m_ui;
    LinuxClock m_clock;
    LinuxTerminalDialog m_dialog;
    LinuxProcess m_process;
    Platform m_platform;
};

}  // namespace

std::unique_ptr<Backend> makeNativeBackend() {
    return std::make_unique<LinuxBackend>();
}

}  // namespace quib::platform
