#include "platform/linux/disk_enum_registry.h"

#include <charconv>

#include "platform/linux/windows_names.h"

namespace quib::platform {
namespace {

constexpr const char* kDiskEnumKey = "System\\CurrentControlSet\\Services\\Disk\\Enum";

bool isDiskEnumKey(const std::string& subKey) {
    std::string key = subKey;
    while (!key.empty() && key.back() == '\\') key.pop_back();
    return names::sameText(key, kDiskEnumKey);
}

RegistryValue dword(std::uint32_t value) {
    return {RegistryType::Dword,
            {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
             static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)}};
}

RegistryValue utf16(const std::string& text) {
    RegistryValue value{RegistryType::String, {}};
    for (char c : text) {
        value.data.push_back(static_cast<std::uint8_t>(c));
        value.data.push_back(0);
    }
    value.data.insert(value.data.end(), {0, 0});
    return value;
}

}  // namespace

bool DiskEnumRegistry::keyExists(const std::string& subKey) {
    return isDiskEnumKey(subKey) || m_store.keyExists(subKey);
}

bool DiskEnumRegistry::createKey(const std::string& subKey) {
    if (!isDiskEnumKey(subKey)) return m_store.createKey(subKey);
    setLastError(kErrorAccessDenied);
    return false;
}

std::optional<RegistryValue> DiskEnumRegistry::readValue(const std::string& subKey, const std::string& name) {
    if (!isDiskEnumKey(subKey)) return m_store.readValue(subKey, name);
    if (names::sameText(name, "Count")) return dword(m_devices.diskCount());
    std::uint32_t index = 0;
    const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), index);
    if (error == std::errc{} && end == name.data() + name.size()) {
        const std::vector<std::string> ids = m_devices.diskInstanceIds();
        if (index < ids.size()) return utf16(ids[index]);
    }
    setLastError(kErrorFileNotFound);
    return std::nullopt;
}

bool DiskEnumRegistry::writeValue(const std::string& subKey, const std::string& name,
                                  const RegistryValue& value) {
    if (!isDiskEnumKey(subKey)) return m_store.writeValue(subKey, name, value);
    setLastError(kErrorAccessDenied);
    return false;
}

}  // namespace quib::platform
