#include "bench/store/registry_store.h"

#include "bench/bench_error.h"
#include "bench/hex_text.h"

namespace bench {
namespace {

// "SYSTEM\\X\\" and "system\\x" name the same key.
std::string keyOf(const std::string& path) {
    std::string k = toLower(path);
    while (!k.empty() && k.back() == '\\') k.pop_back();
    return k;
}

}  // namespace

bool RegistryStore::keyExists(const std::string& key) const {
    return m_keys.count(keyOf(key)) != 0;
}

std::optional<RegistryEntry> RegistryStore::read(const std::string& key, const std::string& name) const {
    const auto k = m_keys.find(keyOf(key));
    if (k == m_keys.end()) return std::nullopt;
    const auto v = k->second.values.find(toLower(name));
    if (v == k->second.values.end()) return std::nullopt;
    return v->second.entry;
}

void RegistryStore::write(const std::string& key, const std::string& name, const RegistryEntry& entry) {
    Key& k = m_keys[keyOf(key)];
    if (k.name.empty()) k.name = key;
    Value& v = k.values[toLower(name)];
    if (v.name.empty()) v.name = name;
    v.entry = entry;
}

void RegistryStore::createKey(const std::string& key) {
    Key& k = m_keys[keyOf(key)];
    if (k.name.empty()) k.name = key;
}

void RegistryStore::removeValue(const std::string& key, const std::string& name) {
    const auto k = m_keys.find(keyOf(key));
    if (k != m_keys.end()) k->second.values.erase(toLower(name));
}

std::map<std::string, RegistryEntry> RegistryStore::values(const std::string& key) const {
    std::map<std::string, RegistryEntry> out;
    const auto k = m_keys.find(keyOf(key));
    if (k != m_keys.end())
        for (const auto& [lower, v] : k->second.values) out[v.name] = v.entry;
    return out;
}

nlohmann::json RegistryStore::toJson() const {
    nlohmann::json out = nlohmann::json::object();
    for (const auto& [lower, key] : m_keys) {
        nlohmann::json values = nlohmann::json::object();
        for (const auto& [lowerName, v] : key.values) values[v.name] = registryEntryToJson(v.entry);
        out[key.name] = values;
    }
    return out;
}

RegistryStore RegistryStore::fromJson(const nlohmann::json& json, const std::string& source) {
    RegistryStore store;
    if (!json.is_object()) throw BenchError(source + ": expected an object of registry keys");
    for (const auto& [key, values] : json.items()) {
        if (!values.is_object())
            throw BenchError(source + ": key \"" + key + "\": expected an object of values");
        if (values.empty()) store.m_keys[keyOf(key)].name = key;
        for (const auto& [name, value] : values.items())
            store.write(key, name, registryEntryFromJson(value, source + ": " + key + "." + name));
    }
    return store;
}

}  // namespace bench
