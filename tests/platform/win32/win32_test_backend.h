// Backends for the boundary tests, over a bench and with the program in a folder of the test's own: the
// bench backend as it is, or with its storage, USB tree, device and volume ports replaced by the Win32
// ones (which reach the bench only through the device call table a test installs).
#pragma once

#include <memory>
#include <string>

#include "bench/bench.h"
#include "platform/platform.h"

namespace win32_test {

std::unique_ptr<quib::platform::Backend> makeTestBackend(std::shared_ptr<bench::Bench> bench,
                                                         bool win32Devices, std::string programPath);

}  // namespace win32_test
