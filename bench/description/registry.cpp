// The machine-wide registry: "registry", "registry_read_only", and the value format registry.json shares.
#include "bench/bench_error.h"
#include "bench/description/parser.h"
#include "bench/hex_text.h"

namespace bench {

RegistryEntry registryEntryFromJson(const nlohmann::json& value, const std::string& where) {
    RegistryEntry e;
    if (value.is_number_integer()) {
        const auto v = value.get<std::int64_t>();
        if (v < 0 || v > 0xFFFFFFFFll) throw BenchError(where + ": a DWORD lies in 0..4294967295");
        e.type = 4;
        for (int i = 0; i < 4; ++i) e.data.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    } else if (value.is_string()) {
        e.type = 1;
        e.data = utf16le(value.get<std::string>());
        e.data.push_back(0);
        e.data.push_back(0);
    } else if (value.is_object() && value.contains("binary") && value.at("binary").is_string()) {
        auto bytes = parseHexBytes(value.at("binary").get<std::string>());
        if (!bytes) throw BenchError(where + ": \"binary\" is not a hex byte string");
        e.type = 3;
        e.data = *bytes;
    } else if (value.is_object() && value.contains("type") && value.at("type").is_number_integer() &&
               value.contains("hex") && value.at("hex").is_string()) {
        auto bytes = parseHexBytes(value.at("hex").get<std::string>());
        if (!bytes) throw BenchError(where + ": \"hex\" is not a hex byte string");
        e.type = value.at("type").get<std::uint32_t>();
        e.data = *bytes;
    } else {
        throw BenchError(
            where + ": expected a number (DWORD), a text, {\"binary\": hex} or {\"type\": n, \"hex\": hex}");
    }
    return e;
}

nlohmann::json registryEntryToJson(const RegistryEntry& entry) {
    if (entry.type == 4 && entry.data.size() == 4)
        return entry.data[0] | (entry.data[1] << 8) | (entry.data[2] << 16) |
               (std::uint32_t{entry.data[3]} << 24);
    if (entry.type == 1) {
        // Stored with its terminator; a text that holds more than that is kept byte for byte.
        const std::string text = fromUtf16le(entry.data);
        auto again = utf16le(text);
        again.push_back(0);
        again.push_back(0);
        if (again == entry.data) return text;
    }
    if (entry.type == 3) return {{"binary", hexBytes(entry.data)}};
    return {{"type", entry.type}, {"hex", hexBytes(entry.data)}};
}

namespace description_reader {

void Parser::parseRegistry(const JsonReader& r) {
    r.requireMap();
    for (const auto& [key, values] : r.value().items()) {
        (void)values;
        const JsonReader k = r.child(key);
        k.requireMap();
        for (const auto& [name, value] : k.value().items()) {
            (void)value;
            m_out.registry[key][name] =
                registryEntryFromJson(k.value().at(name), m_source + ": registry." + key + "." + name);
        }
    }
}

void Parser::parseRegistryReadOnly(const JsonReader& readOnly) {
    readOnly.requireArray();
    for (std::size_t i = 0; i < readOnly.size(); ++i) {
        const JsonReader k = readOnly.element(i);
        if (!k.value().is_string() || k.value().get<std::string>().empty()) k.fail("expected a key path");
        m_out.registryReadOnly.push_back(k.value().get<std::string>());
    }
}

}  // namespace description_reader
}  // namespace bench
