// The NVMe submission entry a packet command sends, from a hex text file: exactly 64 bytes as hex digit
// pairs (separators and '#' comments as parseHexBytes allows). A binary file, or any other count, is refused.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quibdiag {

inline constexpr std::size_t kSubmissionEntrySize = 64;
using SubmissionEntry = std::array<std::uint8_t, kSubmissionEntrySize>;

std::optional<SubmissionEntry> parseSubmissionEntry(std::string_view text, std::string& fault);

}  // namespace quibdiag
