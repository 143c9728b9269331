// Small text helpers of the program: trimming, case-insensitive comparison, and moving wide texts into
// the 8-bit fields of the records shared with the library.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/backends.h"

namespace quib::frontend {

// White space as the framework's trim understands it.
inline constexpr std::wstring_view kWhiteSpace = L" \t\r\n\v\f";

std::wstring trimmed(std::wstring_view text);

// Deletes every occurrence of `what` from `text`; an empty `what` changes nothing.
void removeAll(std::wstring& text, std::wstring_view what);

bool equalsNoCase(std::wstring_view a, std::wstring_view b);

// printf-style formatting of a wide text ("%ls" for wide arguments, "%s" for narrow ones).
std::wstring formatText(const wchar_t* format, ...);

inline std::string toNarrow(std::wstring_view text) {
    return platform::wideToUtf8(text);
}
inline std::wstring toWide(std::string_view text) {
    return platform::utf8ToWide(text);
}

// The longest prefix of UTF-8 `text` of at most `maxBytes` bytes that does not split a character.
std::string_view utf8Prefix(std::string_view text, std::size_t maxBytes);

// Clears an 8-bit text field and stores `text` in it zero-terminated, cut at a character boundary when
// it does not fit. Returns false when it had to be cut.
template <std::size_t N>
bool storeCutText(char (&field)[N], std::wstring_view text) {
    const std::string narrow = toNarrow(text);
    const std::string_view fitting = utf8Prefix(narrow, N - 1);
    std::memset(field, 0, N);
    std::memcpy(field, fitting.data(), fitting.size());
    return fitting.size() == narrow.size();
}

// Clears a path field and stores `path` zero-terminated. A path that does not fit is refused (the field
// stays empty) rather than cut, since a cut path would name some other file.
template <std::size_t N>
bool storePath(char (&field)[N], std::wstring_view path) {
    const std::string narrow = toNarrow(path);
    std::memset(field, 0, N);
    if (narrow.size() > N - 1) return false;
    std::memcpy(field, narrow.data(), narrow.size());
    return true;
}

// The wide text of a zero-terminated 8-bit field (its full width when no terminator is found).
template <std::size_t N>
std::wstring fieldText(const char (&field)[N]) {
    return toWide(std::string_view(field, strnlen(field, N)));
}

}  // namespace quib::frontend
