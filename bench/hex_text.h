// Small text helpers: hexadecimal numbers and byte strings, case folding.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace bench {

// "0x9000", "9000" -> 0x9000. Empty optional when the text is not hexadecimal or does not fit.
std::optional<std::uint64_t> parseHexNumber(std::string_view text);

// "20 71 aa" or "2071aa" (spaces ignored) -> bytes. Empty optional on odd length or a non-hex character.
std::optional<std::vector<std::uint8_t>> parseHexBytes(std::string_view text);

// Bytes as lower-case hex without separators.
std::string hexBytes(std::span<const std::uint8_t> bytes);

// "%0*X" of a number.
std::string hexNumber(std::uint64_t value, int digits, bool upper = true);

std::string toUpper(std::string_view text);
std::string toLower(std::string_view text);
bool equalsIgnoreCase(std::string_view a, std::string_view b);

// Strings as the USB descriptors and the Windows registry carry them.
std::vector<std::uint8_t> utf16le(std::string_view utf8);
std::string fromUtf16le(std::span<const std::uint8_t> bytes);  // stops at a NUL character

}  // namespace bench
