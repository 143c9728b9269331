// The platform backend over an emulated bench: every port answered by the bench, except the module loader
// and files, which are the native ones (but for paths on a bridge volume's letter, kept on its drive).
#pragma once

#include <memory>

#include "bench/bench.h"
#include "platform/platform.h"

namespace quib::platform {

// In-process use (tests): a backend over a bench the caller also holds.
std::unique_ptr<Backend> makeBenchBackend(std::shared_ptr<bench::Bench> bench);

// Device handles opened and not yet closed through a bench backend; -1 for any other backend.
int benchOpenHandles(const Backend& backend);

// Handles are derived from what a path names (kind, number, chip incarnation, opened by number or by an
// interface path) and the access asked for, so every module over one bench gets the same handle for the
// same open.
DeviceHandle benchHandleOf(const bench::Target& target, std::uint32_t access = kAccessRead | kAccessWrite);
std::optional<bench::Target> benchTargetOf(DeviceHandle handle);
// The OpenAccess bits a handle was opened with.
std::uint32_t benchAccessOf(DeviceHandle handle);

}  // namespace quib::platform
