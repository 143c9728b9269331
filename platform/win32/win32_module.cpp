#include "platform/win32/win32_module.h"

#include <windows.h>

#include "platform/backends.h"

namespace quib::platform {

std::string Win32Module::executablePath() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) {
            setLastError(::GetLastError());
            return {};
        }
        // A full buffer means the name was cut: ask again with more room.
        if (n < buffer.size()) return wideToUtf8(std::wstring_view(buffer.data(), n));
        buffer.resize(buffer.size() * 2);
    }
}

std::optional<std::span<const std::uint8_t>> Win32Module::findResource(std::string_view type, int id) {
    // Resource type names are kept in capitals and looked up without regard to case.
    const std::wstring typeName = utf8ToWide(type);
    HRSRC found = ::FindResourceW(nullptr, MAKEINTRESOURCEW(id), typeName.c_str());
    if (!found) {
        setLastError(::GetLastError());
        return std::nullopt;
    }
    HGLOBAL loaded = ::LoadResource(nullptr, found);
    const DWORD size = ::SizeofResource(nullptr, found);
    const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
    if (!bytes) {
        setLastError(::GetLastError());
        return std::nullopt;
    }
    return std::span<const std::uint8_t>(static_cast<const std::uint8_t*>(bytes), size);
}

void* Win32Module::loadLibrary(const std::string& path) {
    // A full path loads that file and resolves its own dependencies beside it.
    HMODULE module = ::LoadLibraryExW(utf8ToWide(path).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!module) setLastError(::GetLastError());
    return reinterpret_cast<void*>(module);
}

void* Win32Module::findSymbol(void* library, const char* name) {
    FARPROC symbol = ::GetProcAddress(static_cast<HMODULE>(library), name);
    if (!symbol) setLastError(::GetLastError());
    return reinterpret_cast<void*>(symbol);
}

bool Win32Module::freeLibrary(void* library) {
    if (::FreeLibrary(static_cast<HMODULE>(library))) return true;
    setLastError(::GetLastError());
    return false;
}

}  // namespace quib::platform
