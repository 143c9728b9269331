// The machine-wide registry of a bench: keys and value names compared without regard to case, as
// Windows does; spelled as first written.
#pragma once

#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "bench/description.h"

namespace bench {

class RegistryStore {
  public:
    bool keyExists(const std::string& key) const;
    std::optional<RegistryEntry> read(const std::string& key, const std::string& name) const;
    void write(const std::string& key, const std::string& name, const RegistryEntry& entry);
    void createKey(const std::string& key);  // an empty key
    void removeValue(const std::string& key, const std::string& name);
    // Names of the values of a key, as spelled.
    std::map<std::string, RegistryEntry> values(const std::string& key) const;

    nlohmann::json toJson() const;
    static RegistryStore fromJson(const nlohmann::json& json, const std::string& source);

  private:
    struct Value {
        std::string name;
        RegistryEntry entry;
    };
    struct Key {
        std::string name;
        std::map<std::string, Value> values;  // by lower-case name
    };
    std::map<std::string, Key> m_keys;  // by lower-case path
};

}  // namespace bench
