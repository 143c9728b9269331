#include "platform/host_ports.h"
#include "platform/linux/linux_files.h"
#include "platform/linux/linux_module.h"
#include "platform/linux/linux_process.h"
#include "platform/linux/linux_registry.h"
#include "platform/linux/linux_terminal_dialog.h"

namespace quib::platform {

HostPorts makeHostPorts() {
    HostPorts host;
    host.files = std::make_unique<LinuxFileSystem>();
    host.module = std::make_unique<LinuxModule>();
    host.process = std::make_unique<LinuxProcess>();
    host.registry = std::make_unique<FileRegistry>(FileRegistry::defaultStoreFile());
    host.dialog = std::make_unique<LinuxTerminalDialog>();
    host.windowAlwaysWaits = false;
    return host;
}

}  // namespace quib::platform
