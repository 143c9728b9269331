#include "platform/backends.h"
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

class LinuxBackend final : public Backend {
  public:
    LinuxBackend()
        : m_registry(FileRegistry::defaultStoreFile()), m_platform{m_files,   m_module,  m_registry,
                                                                   m_ui,      m_clock,   m_devices,
                                                                   m_devices, m_devices, m_devices,
                                                                   m_dialog,  m_process} {}
    Platform& platform() override { return m_platform; }

  private:
    LinuxFileSystem m_files;
    LinuxModule m_module;
    FileRegistry m_registry;
    LinuxTerminalUi m_ui;
    LinuxClock m_clock;
    LinuxNoDevices m_devices;
    LinuxTerminalDialog m_dialog;
    LinuxProcess m_process;
    Platform m_platform;
};

}  // namespace

std::unique_ptr<Backend> makeNativeBackend() {
    return std::make_unique<LinuxBackend>();
}

}  // namespace quib::platform
