#include "tools/quibdiag/hex_text.h"

#include <cstdio>

namespace quibdiag {
namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool isSeparator(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ':' || c == '-';
}

}  // namespace

std::optional<std::vector<std::uint8_t>> parseHexBytes(std::string_view text, std::string& fault) {
    std::vector<std::uint8_t> bytes;
    std::size_t line = 1;
    for (std::size_t i = 0; i < text.size();) {
        const char c = text[i];
        if (c == '\n') ++line;
        if (isSeparator(c)) {
            ++i;
            continue;
        }
        if (c == '#') {
            while (i < text.size() && text[i] != '\n') ++i;
            continue;
        }
        if (c == '0' && i + 1 < text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X')) i += 2;
        const int high = i < text.size() ? hexDigit(text[i]) : -1;
        const int low = i + 1 < text.size() ? hexDigit(text[i + 1]) : -1;
        if (high < 0 || low < 0) {
            fault = "line " + std::to_string(line) + ", byte " + std::to_string(bytes.size() + 1) +
                    ": expected two hex digits";
            return std::nullopt;
        }
        bytes.push_back(static_cast<std::uint8_t>(high << 4 | low));
        i += 2;
    }
    return bytes;
}

std::optional<std::uint64_t> parseNumber(std::string_view text, std::uint64_t maximum, std::string& fault) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string_view digits = hex ? text.substr(2) : text;
    const std::uint64_t base = hex ? 16 : 10;
    if (digits.empty()) {
        fault = "'" + std::string(text) + "' is not a number";
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (const char c : digits) {
        const int d = hex ? hexDigit(c) : (c >= '0' && c <= '9' ? c - '0' : -1);
        if (d < 0) {
            fault = "'" + std::string(text) + "' is not a number";
            return std::nullopt;
        }
        if (static_cast<std::uint64_t>(d) > maximum ||
            value > (maximum - static_cast<std::uint64_t>(d)) / base) {
            fault = "'" + std::string(text) + "' is above " + std::to_string(maximum);
            return std::nullopt;
        }
        value = value * base + static_cast<std::uint64_t>(d);
    }
    return value;
}

std::string hexNumber(std::uint64_t value, int digits) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%0*llx", digits, static_cast<unsigned long long>(value));
    return text;
}

std::string hexString(ByteView data) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(data.size() * 2);
    for (const std::uint8_t b : data) {
        out += kDigits[b >> 4];
        out += kDigits[b & 0x0F];
    }
    return out;
}

std::string hexDump(ByteView data) {
    std::string out;
    for (std::size_t row = 0; row < data.size(); row += 16) {
        char line[96];
        int used = std::snprintf(line, sizeof line, "%08llx ", static_cast<unsigned long long>(row));
        std::string printable;
        for (std::size_t i = row; i < row + 16; ++i) {
            if (i < data.size()) {
                used += std::snprintf(line + used, sizeof line - static_cast<std::size_t>(used), " %02x",
                                      data[i]);
                printable += (data[i] >= 0x20 && data[i] < 0x7F) ? static_cast<char>(data[i]) : '.';
            } else {
                used += std::snprintf(line + used, sizeof line - static_cast<std::size_t>(used), "   ");
            }
        }
        out += std::string(line) + "  " + printable + "\n";
    }
    return out;
}

}  // namespace quibdiag
