// Factories of the backends this build carries.
#pragma once

#include <memory>
#include <string>

#include "platform/platform.h"

namespace quib::platform {

// The emulated bench in `benchFolder`; refuses a folder whose bench.json is missing or malformed by
// throwing std::runtime_error with a message naming the file and the fault.
std::unique_ptr<Backend> makeBenchBackend(const std::string& benchFolder);

// The native backend of this build (Linux).
std::unique_ptr<Backend> makeNativeBackend();

// Text helpers shared by the backends and their callers.
std::string wideToUtf8(std::wstring_view text);
std::wstring utf8ToWide(std::string_view text);

}  // namespace quib::platform
