#include "platform/host_ports.h"
#include "platform/win32/win32_dialog.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_module.h"
#include "platform/win32/win32_process.h"
#include "platform/win32/win32_registry.h"

namespace quib::platform {

HostPorts makeHostPorts() {
    HostPorts host;
    host.files = std::make_unique<Win32FileSystem>();
    host.module = std::make_unique<Win32Module>();
    host.process = std::make_unique<Win32Process>();
    host.registry = std::make_unique<Win32Registry>();
    host.dialog = std::make_unique<Win32Dialog>();
    host.windowAlwaysWaits = true;
    return host;
}

}  // namespace quib::platform
