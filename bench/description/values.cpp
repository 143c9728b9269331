// Value readers shared by the sections of bench.json.
#include <algorithm>
#include <cctype>
#include <cstdio>

#include "bench/description/parser.h"
#include "bench/hex_text.h"

namespace bench::description_reader {

std::string formatted(const char* format, unsigned a, unsigned b) {
    char buf[160];
    std::snprintf(buf, sizeof buf, format, a, b);
    return buf;
}

LinkSpeed parseLink(const JsonReader& r, const std::string& key, LinkSpeed fallback) {
    if (!r.has(key)) return fallback;
    const std::string v = r.text(key, "");
    if (v == "full") return LinkSpeed::Full;
    if (v == "high") return LinkSpeed::High;
    if (v == "super") return LinkSpeed::Super;
    if (v == "plus") return LinkSpeed::Plus;
    r.child(key).fail("expected \"full\", \"high\", \"super\" or \"plus\", found \"" + v + "\"");
}

std::vector<std::uint8_t> parseByteList(const JsonReader& r) {
    if (r.value().is_string() && r.value().get<std::string>().rfind("0x", 0) == 0)
        return {static_cast<std::uint8_t>(r.asNumber(0xFF))};
    if (r.value().is_string()) {
        auto bytes = parseHexBytes(r.value().get<std::string>());
        if (!bytes) r.fail("\"" + r.value().get<std::string>() + "\" is not a hex byte string");
        return *bytes;
    }
    if (r.value().is_number()) return {static_cast<std::uint8_t>(r.asNumber(0xFF))};
    r.requireArray();
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i < r.size(); ++i)
        out.push_back(static_cast<std::uint8_t>(r.element(i).asNumber(0xFF)));
    return out;
}

char parseLetter(const JsonReader& r) {
    if (!r.value().is_string() || r.value().get<std::string>().size() != 1 ||
        !std::isalpha(static_cast<unsigned char>(r.value().get<std::string>()[0])))
        r.fail("expected a drive letter such as \"E\"");
    return static_cast<char>(std::toupper(static_cast<unsigned char>(r.value().get<std::string>()[0])));
}

bool isSafeId(const std::string& id) {
    if (id.empty() || id.size() > 64) return false;
    return std::all_of(id.begin(), id.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-';
    });
}

}  // namespace bench::description_reader
