#include "bench/json_reader.h"

#include "bench/bench_error.h"
#include "bench/hex_text.h"

namespace bench {
namespace {

const char* typeName(const nlohmann::json& v) {
    if (v.is_null()) return "null";
    if (v.is_boolean()) return "a boolean";
    if (v.is_number()) return "a number";
    if (v.is_string()) return "a text";
    if (v.is_array()) return "an array";
    return "an object";
}

}  // namespace

JsonReader::JsonReader(const nlohmann::json& value, std::string source, std::string path)
    : m_value(&value), m_source(std::move(source)), m_path(std::move(path)) {}

void JsonReader::fail(const std::string& what) const {
    throw BenchError(m_source + ": " + (m_path.empty() ? std::string("top level") : m_path) + ": " + what);
}

void JsonReader::requireObject(const std::set<std::string>& allowed) const {
    if (!m_value->is_object()) fail(std::string("expected an object, found ") + typeName(*m_value));
    for (const auto& [key, v] : m_value->items()) {
        (void)v;
        if (key.empty() || key[0] == '_' || key == "comment") continue;
        if (!allowed.count(key)) fail("unknown key \"" + key + "\"");
    }
}

void JsonReader::requireMap() const {
    if (!m_value->is_object()) fail(std::string("expected an object, found ") + typeName(*m_value));
}

void JsonReader::requireArray() const {
    if (!m_value->is_array()) fail(std::string("expected an array, found ") + typeName(*m_value));
}

bool JsonReader::has(const std::string& key) const {
    return m_value->is_object() && m_value->contains(key) && !m_value->at(key).is_null();
}

JsonReader JsonReader::child(const std::string& key) const {
    if (!has(key)) fail("missing key \"" + key + "\"");
    return JsonReader(m_value->at(key), m_source, m_path.empty() ? key : m_path + "." + key);
}

JsonReader JsonReader::element(std::size_t index) const {
    return JsonReader(m_value->at(index), m_source, m_path + "[" + std::to_string(index) + "]");
}

std::string JsonReader::text(const std::string& key, const std::string& fallback) const {
    if (!has(key)) return fallback;
    const JsonReader c = child(key);
    if (!c.m_value->is_string()) c.fail(std::string("expected a text, found ") + typeName(*c.m_value));
    return c.m_value->get<std::string>();
}

bool JsonReader::flag(const std::string& key, bool fallback) const {
    if (!has(key)) return fallback;
    const JsonReader c = child(key);
    if (!c.m_value->is_boolean())
        c.fail(std::string("expected true or false, found ") + typeName(*c.m_value));
    return c.m_value->get<bool>();
}

std::int64_t JsonReader::integer(const std::string& key, std::int64_t fallback, std::int64_t min,
                                 std::int64_t max) const {
    if (!has(key)) return fallback;
    const JsonReader c = child(key);
    if (!c.m_value->is_number_integer())
        c.fail(std::string("expected an integer, found ") + typeName(*c.m_value));
    const auto v = c.m_value->get<std::int64_t>();
    if (v < min || v > max)
        c.fail("value " + std::to_string(v) + " is outside " + std::to_string(min) + ".." +
               std::to_string(max));
    return v;
}

std::uint64_t JsonReader::asNumber(std::uint64_t max) const {
    std::uint64_t v = 0;
    if (m_value->is_number_unsigned() ||
        (m_value->is_number_integer() && m_value->get<std::int64_t>() >= 0)) {
        v = m_value->get<std::uint64_t>();
    } else if (m_value->is_string()) {
        const auto parsed = parseHexNumber(m_value->get<std::string>());
        if (!parsed) fail("\"" + m_value->get<std::string>() + "\" is not a hexadecimal number");
        v = *parsed;
    } else {
        fail(std::string("expected a number or a hex text, found ") + typeName(*m_value));
    }
    if (v > max) fail("value " + std::to_string(v) + " is above " + std::to_string(max));
    return v;
}

std::uint64_t JsonReader::number(const std::string& key, std::uint64_t fallback, std::uint64_t max) const {
    return has(key) ? child(key).asNumber(max) : fallback;
}

std::optional<std::uint64_t> JsonReader::optionalNumber(const std::string& key, std::uint64_t max) const {
    if (!has(key)) return std::nullopt;
    return child(key).asNumber(max);
}

}  // namespace bench
