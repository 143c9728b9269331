#include "platform/backends.h"
#include "platform/host_ports.h"
#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_devices.h"
#include "platform/win32/win32_registry.h"
#include "platform/win32/win32_storage.h"
#include "platform/win32/win32_ui.h"
#include "platform/win32/win32_usb_tree.h"
#include "platform/win32/win32_volumes.h"

namespace quib::platform {
namespace {

class Win32Backend final : public Backend {
  public:
    Win32Backend()
        : m_host(makeHostPorts()), m_platform{*m_host.files, *m_host.module, m_registry,     m_ui,
                                              m_clock,       m_storage,      m_usb,          m_devices,
                                              m_volumes,     *m_host.dialog, *m_host.process} {}
    Platform& platform() override { return m_platform; }

  private:
    HostPorts m_host;
    Win32Registry m_registry;
    Win32UserInterface m_ui;
    Win32Clock m_clock;
    Win32Storage m_storage;
    Win32UsbTree m_usb;
    Win32Devices m_devices;
    Win32Volumes m_volumes;
    Platform m_platform;
};

}  // namespace

std::unique_ptr<Backend> makeNativeBackend() {
    return std::make_unique<Win32Backend>();
}

}  // namespace quib::platform
