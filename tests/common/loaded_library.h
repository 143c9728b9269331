// The built library as its callers open it, on each system: by file name, entry points bound by name, over
// the bench folder named by QUIB_BENCH.
#pragma once

#include <stdlib.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <filesystem>
#include <string>

namespace quib::testing {

#ifdef _WIN32
inline void* openLibrary(const char* path) {
    return ::LoadLibraryA(path);
}
inline std::string openError() {
    return "error " + std::to_string(::GetLastError());
}
inline void* symbol(void* library, const char* name) {
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(library), name));
}
inline void closeLibrary(void* library) {
    ::FreeLibrary(static_cast<HMODULE>(library));
}
inline void setBenchFolder(const std::filesystem::path& folder) {
    ::_putenv_s("QUIB_BENCH", folder.string().c_str());
}
inline void clearBenchFolder() {
    ::_putenv_s("QUIB_BENCH", "");
}
#else
inline void* openLibrary(const char* path) {
    return ::dlopen(path, RTLD_NOW | RTLD_LOCAL);
}
inline std::string openError() {
    return ::dlerror();
}
inline void* symbol(void* library, const char* name) {
    return ::dlsym(library, name);
}
inline void closeLibrary(void* library) {
    ::dlclose(library);
}
inline void setBenchFolder(const std::filesystem::path& folder) {
    ::setenv("QUIB_BENCH", folder.c_str(), 1);
}
inline void clearBenchFolder() {
    ::unsetenv("QUIB_BENCH");
}
#endif

}  // namespace quib::testing
