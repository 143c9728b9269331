// Typed, checked reading of a JSON object whose faults are reported with the file and the key path.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <string>

namespace bench {

class JsonReader {
  public:
    JsonReader(const nlohmann::json& value, std::string source, std::string path);

    [[noreturn]] void fail(const std::string& what) const;
    const nlohmann::json& value() const { return *m_value; }
    const std::string& path() const { return m_path; }

    // This value must be an object whose keys are all in `allowed` (keys starting with "_" or named
    // "comment" are notes and always allowed).
    void requireObject(const std::set<std::string>& allowed) const;
    void requireArray() const;
    // This value must be an object; its keys are data (register addresses, registry paths).
    void requireMap() const;

    bool has(const std::string& key) const;
    JsonReader child(const std::string& key) const;
    JsonReader element(std::size_t index) const;
    std::size_t size() const { return m_value->size(); }

    // Accessors of members; the fallback applies when the key is absent or null.
    std::string text(const std::string& key, const std::string& fallback) const;
    bool flag(const std::string& key, bool fallback) const;
    std::int64_t integer(const std::string& key, std::int64_t fallback, std::int64_t min,
                         std::int64_t max) const;
    // A JSON number or a hex text ("0x3F10").
    std::uint64_t number(const std::string& key, std::uint64_t fallback, std::uint64_t max) const;
    std::optional<std::uint64_t> optionalNumber(const std::string& key, std::uint64_t max) const;

    // This value as a number (JSON number or hex text).
    std::uint64_t asNumber(std::uint64_t max) const;

  private:
    const nlohmann::json* m_value;
    std::string m_source;
    std::string m_path;
};

}  // namespace bench
