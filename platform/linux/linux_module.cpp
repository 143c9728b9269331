#include "platform/linux/linux_module.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <mutex>

namespace quib::platform {
namespace {
constexpr std::uint32_t kErrorModNotFound = 126;
constexpr std::uint32_t kErrorProcNotFound = 127;

std::mutex g_loaderErrorLock;
std::string g_loaderError;

void rememberLoaderError() {
    const char* text = ::dlerror();
    std::lock_guard lock(g_loaderErrorLock);
    g_loaderError = text ? text : "";
}
}  // namespace

std::string LinuxModule::executablePath() {
    char buf[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n < 0) return {};
    return std::string(buf, static_cast<std::size_t>(n));
}

std::optional<std::span<const std::uint8_t>> LinuxModule::findResource(std::string_view type, int id) {
    return findPackagedResource(type, id);
}

void* LinuxModule::loadLibrary(const std::string& path) {
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        rememberLoaderError();
        setLastError(kErrorModNotFound);
    }
    return handle;
}

void* LinuxModule::findSymbol(void* library, const char* name) {
    ::dlerror();
    void* symbol = library ? ::dlsym(library, name) : nullptr;
    if (!symbol) {
        rememberLoaderError();
        setLastError(kErrorProcNotFound);
    }
    return symbol;
}

bool LinuxModule::freeLibrary(void* library) {
    if (library && ::dlclose(library) == 0) return true;
    rememberLoaderError();
    setLastError(kErrorInvalidHandle);
    return false;
}

std::string LinuxModule::lastLoaderError() {
    std::lock_guard lock(g_loaderErrorLock);
    return g_loaderError;
}

}  // namespace quib::platform
