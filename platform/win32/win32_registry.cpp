#include "platform/win32/win32_registry.h"

#include <windows.h>

#include "platform/backends.h"

namespace quib::platform {
namespace {

// Closes a key when it goes out of scope.
struct Key {
    HKEY h = nullptr;
    ~Key() {
        if (h) ::RegCloseKey(h);
    }
};

bool failWith(LSTATUS status) {
    setLastError(static_cast<std::uint32_t>(status));
    return false;
}

}  // namespace

bool Win32Registry::keyExists(const std::string& subKey) {
    Key key;
    const LSTATUS status =
        ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, utf8ToWide(subKey).c_str(), 0, KEY_READ, &key.h);
    return status == ERROR_SUCCESS ? true : failWith(status);
}

bool Win32Registry::createKey(const std::string& subKey) {
    Key key;
    const LSTATUS status = ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, utf8ToWide(subKey).c_str(), 0, nullptr,
                                             REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key.h, nullptr);
    return status == ERROR_SUCCESS ? true : failWith(status);
}

std::optional<RegistryValue> Win32Registry::readValue(const std::string& subKey, const std::string& name) {
    Key key;
    LSTATUS status = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, utf8ToWide(subKey).c_str(), 0, KEY_READ, &key.h);
    if (status != ERROR_SUCCESS) {
        failWith(status);
        return std::nullopt;
    }
    const std::wstring valueName = utf8ToWide(name);
    RegistryValue value;
    DWORD type = 0;
    DWORD size = 256;
    for (;;) {
        value.data.resize(size);
        status = ::RegQueryValueExW(key.h, valueName.c_str(), nullptr, &type, value.data.data(), &size);
        if (status != ERROR_MORE_DATA) break;  // size now holds what the value needs
    }
    if (status != ERROR_SUCCESS) {
        failWith(status);
        return std::nullopt;
    }
    value.data.resize(size);  // only what the call filled
    value.type = static_cast<RegistryType>(type);
    return value;
}

bool Win32Registry::writeValue(const std::string& subKey, const std::string& name,
                               const RegistryValue& value) {
    Key key;
    LSTATUS status = ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, utf8ToWide(subKey).c_str(), 0, nullptr,
                                       REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key.h, nullptr);
    if (status != ERROR_SUCCESS) return failWith(status);
    status = ::RegSetValueExW(key.h, utf8ToWide(name).c_str(), 0, static_cast<DWORD>(value.type),
                              value.data.data(), static_cast<DWORD>(value.data.size()));
    return status == ERROR_SUCCESS ? true : failWith(status);
}

}  // namespace quib::platform
