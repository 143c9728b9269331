// Hex and number texts from command lines and files, and hex dumps of device data.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/quibdiag/bytes.h"

namespace quibdiag {

// Bytes written as hex digit pairs. Spaces, tabs, line ends, ':' and '-' may separate bytes; '#' starts a
// comment to the end of its line; an optional "0x" may lead a pair. Anything else, or an odd digit, is
// refused and `fault` says where.
std::optional<std::vector<std::uint8_t>> parseHexBytes(std::string_view text, std::string& fault);

// A number: decimal, or hex with "0x". Refused when empty, malformed or above `maximum`.
std::optional<std::uint64_t> parseNumber(std::string_view text, std::uint64_t maximum, std::string& fault);

// "0x1f" style, lower case; `digits` is the least number of digits.
std::string hexNumber(std::uint64_t value, int digits = 2);
// All bytes as one lower-case hex text, no separators (the JSON form).
std::string hexString(ByteView data);
// Lines of 16 bytes: offset, hex bytes, printable characters.
std::string hexDump(ByteView data);

}  // namespace quibdiag
