#include "frontend/text_helpers.h"

#include <cstdarg>
#include <cwchar>
#include <cwctype>
#include <vector>

namespace quib::frontend {

std::wstring trimmed(std::wstring_view text) {
    const std::size_t first = text.find_first_not_of(kWhiteSpace);
    if (first == std::wstring_view::npos) return {};
    const std::size_t last = text.find_last_not_of(kWhiteSpace);
    return std::wstring(text.substr(first, last - first + 1));
}

void removeAll(std::wstring& text, std::wstring_view what) {
    if (what.empty()) return;
    std::wstring out;
    out.reserve(text.size());
    std::size_t from = 0;
    for (std::size_t hit = text.find(what); hit != std::wstring::npos; hit = text.find(what, from)) {
        out.append(text, from, hit - from);
        from = hit + what.size();
    }
    out.append(text, from, std::wstring::npos);
    text = std::move(out);
}

bool equalsNoCase(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::towlower(static_cast<wint_t>(a[i])) != std::towlower(static_cast<wint_t>(b[i])))
            return false;
    return true;
}

std::wstring formatText(const wchar_t* format, ...) {
    // vswprintf reports text that does not fit as a failure; grow and try again.
    for (std::size_t size = 256; size <= 65536; size *= 4) {
        std::vector<wchar_t> buffer(size);
        va_list args;
        va_start(args, format);
        const int written = std::vswprintf(buffer.data(), buffer.size(), format, args);
        va_end(args);
        if (written >= 0) return std::wstring(buffer.data(), static_cast<std::size_t>(written));
    }
    return std::wstring(format);
}

std::string_view utf8Prefix(std::string_view text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) return text;
    std::size_t end = maxBytes;
    // Step back over continuation bytes so the cut falls before a lead byte.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}

}  // namespace quib::frontend
