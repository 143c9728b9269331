#include "platform/linux/linux_registry.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

namespace quib::platform {
namespace {

using nlohmann::json;

// Registry key and value names compare without regard to case; store them folded.
std::string fold(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool saveStore(const std::string& file, const json& store) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(file).parent_path(), ec);
    std::ofstream out(file, std::ios::trunc);
    if (!out) {
        setLastError(kErrorAccessDenied);
        return false;
    }
    out << store.dump(2);
    if (out.flush()) return true;
    setLastError(kErrorAccessDenied);
    return false;
}

json loadStore(const std::string& file) {
    std::ifstream in(file);
    if (!in) return json::object();
    json store = json::parse(in, nullptr, /*allow_exceptions=*/false);
    return store.is_object() ? store : json::object();
}

}  // namespace

FileRegistry::FileRegistry(std::string storeFile) : m_storeFile(std::move(storeFile)) {}

std::string FileRegistry::defaultStoreFile() {
    const char* folder = std::getenv("QUIB_REGISTRY");
    const std::string base = (folder && *folder) ? folder : "/var/lib/quibusb/registry";
    return base + "/registry.json";
}

bool FileRegistry::keyExists(const std::string& subKey) {
    std::lock_guard lock(m_lock);
    if (loadStore(m_storeFile).contains(fold(subKey))) return true;
    setLastError(kErrorFileNotFound);
    return false;
}

bool FileRegistry::createKey(const std::string& subKey) {
    std::lock_guard lock(m_lock);
    json store = loadStore(m_storeFile);
    if (!store.contains(fold(subKey))) store[fold(subKey)] = json::object();
    // The store is written back even for an existing key: opening a key for writing needs the rights to.
    return saveStore(m_storeFile, store);
}

std::optional<RegistryValue> FileRegistry::readValue(const std::string& subKey, const std::string& name) {
    std::lock_guard lock(m_lock);
    const json store = loadStore(m_storeFile);
    const auto key = store.find(fold(subKey));
    if (key == store.end() || !key->is_object() || !key->contains(fold(name))) {
        setLastError(kErrorFileNotFound);
        return std::nullopt;
    }
    const json& entry = (*key)[fold(name)];
    RegistryValue value;
    value.type = static_cast<RegistryType>(entry.value("type", 0u));
    value.data = entry.value("data", std::vector<std::uint8_t>{});
    return value;
}

bool FileRegistry::writeValue(const std::string& subKey, const std::string& name,
                              const RegistryValue& value) {
    std::lock_guard lock(m_lock);
    json store = loadStore(m_storeFile);
    store[fold(subKey)][fold(name)] = {{"type", static_cast<std::uint32_t>(value.type)},
                                       {"data", value.data}};
    return saveStore(m_storeFile, store);
}

}  // namespace quib::platform
