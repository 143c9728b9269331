// The ports a bench backend takes from the native backend of the build: the host's files, module loader,
// process and the drawing of the window. A bench stands in for devices, not for the machine it runs on.
#pragma once

#include <memory>

#include "platform/platform.h"

namespace quib::platform {

struct HostPorts {
    std::unique_ptr<FileSystem> files;
    std::unique_ptr<Module> module;
    std::unique_ptr<Process> process;
    // The machine's own registry, for benches that ask for it.
    std::unique_ptr<Registry> registry;
    // Draws the window; a bench records every call and decides how the window is left.
    std::unique_ptr<Dialog> dialog;
    // The host's window waits for its user whenever it is shown (a real window). Where the bench's script
    // answers for the user, such a window is not waited on. A terminal waits only on a terminal.
    bool windowAlwaysWaits = false;
};

HostPorts makeHostPorts();

}  // namespace quib::platform
