// No exception crosses an entry point: each export runs its body through this guard. The guard also
// makes sure the library's objects (and with them the platform and the log's destination) exist.
#pragma once

#include <cstdint>
#include <exception>
#include <utility>

#include "common/log/debug_log.h"
#include "devcore/frame/library_objects.h"
#include "include/quibusb.h"
#include "platform/platform.h"

namespace quib::devcore {

// `failure` is what the export gives when its body throws.
template <typename Body>
std::int32_t guardedExport(const char* kFn, int iLine, std::int32_t failure, Body&& body) noexcept {
    try {
        libraryObjects();
        return body();
    } catch (const std::exception& e) {
        LogError("%s:%d: catch(...): %s , dwErrorCode %d", kFn, iLine, e.what(), platform::lastErrorCode());
    } catch (...) {
        LogError("%s:%d: catch(...): dwErrorCode %d", kFn, iLine, platform::lastErrorCode());
    }
    return failure;
}

template <typename Body>
std::int32_t guardedExport(const char* kFn, int iLine, Body&& body) noexcept {
    return guardedExport(kFn, iLine, QUIB_FAIL, std::forward<Body>(body));
}

}  // namespace quib::devcore
