#include "devcore/device/text_helpers.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "platform/backends.h"

namespace quib::devcore {

std::string trimText(std::string_view text) {
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\0'; };
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && blank(text[begin])) ++begin;
    while (end > begin && blank(text[end - 1])) --end;
    return std::string(text.substr(begin, end - begin));
}

std::string toUpper(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return out;
}

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    return toUpper(a) == toUpper(b);
}

std::string hex4(std::uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "%4.4x", value);
    return text;
}

std::string textOfStringDescriptor(std::span<const std::uint8_t> descriptor) {
    if (descriptor.size() < 2) return {};
    const std::size_t length = std::min<std::size_t>(descriptor[0], descriptor.size());
    std::wstring wide;
    for (std::size_t i = 2; i + 1 < length; i += 2)
        wide += static_cast<wchar_t>(descriptor[i] | (descriptor[i + 1] << 8));
    return platform::wideToUtf8(wide);
}

}  // namespace quib::devcore
