#include "tools/quibdiag/bytes.h"

namespace quibdiag {

std::string printableText(const std::string& raw) {
    std::string out;
    out.reserve(raw.size());
    for (const char c : raw) out += (c >= 0x20 && c < 0x7F) ? c : '?';
    const auto last = raw.find_last_not_of(std::string(" \0", 2));
    out.resize(last == std::string::npos ? 0 : last + 1);
    return out;
}

std::string ataString(ByteView data, std::size_t first, std::size_t words) {
    std::string raw;
    for (std::size_t i = 0; i < words * 2; ++i) raw += static_cast<char>(byteAt(data, first * 2 + (i ^ 1)));
    return printableText(raw);
}

std::string nvmeText(ByteView data, std::size_t offset, std::size_t length) {
    std::string raw;
    for (std::size_t i = 0; i < length; ++i) raw += static_cast<char>(byteAt(data, offset + i));
    return printableText(raw);
}

bool sumsToZero(ByteView data) {
    std::uint8_t sum = 0;
    for (const std::uint8_t b : data) sum = static_cast<std::uint8_t>(sum + b);
    return sum == 0;
}

}  // namespace quibdiag
