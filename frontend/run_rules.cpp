#include "frontend/run_rules.h"

#include <algorithm>

#include "frontend/text_helpers.h"

namespace quib::frontend {

int exitCodeForLinkStatus(std::string_view status) {
    const std::wstring text = toWide(status);
    if (equalsNoCase(text, L"PLUS")) return kExitSuperSpeedPlus;
    if (equalsNoCase(text, L"SUPER")) return kExitSuperSpeed;
    if (equalsNoCase(text, L"HIGH")) return kExitHighSpeed;
    if (equalsNoCase(text, L"FULL")) return kExitFullSpeed;
    return QUIB_UNKNOWN_TRANSPORT;
}

std::array<std::wstring, kVersionListEntries> splitVersionList(std::wstring_view list) {
    std::array<std::wstring, kVersionListEntries> entries;
    std::size_t from = 0;
    for (std::size_t i = 0; i < entries.size() && from <= list.size(); ++i) {
        std::size_t end = list.find(L';', from);
        if (end == std::wstring_view::npos) end = list.size();
        entries[i] = trimmed(list.substr(from, end - from));
        from = end + 1;
    }
    return entries;
}

int allDevicesOutcome(std::span<const int> results) {
    const auto failed =
        std::find_if(results.begin(), results.end(), [](int r) { return r < 0 && r != QUIB_CHECK_FAILED; });
    if (failed != results.end()) return *failed;
    const bool anySucceeded =
        std::any_of(results.begin(), results.end(), [](int r) { return r != QUIB_CHECK_FAILED; });
    return anySucceeded ? QUIB_SUCCESS : QUIB_CHECK_FAILED;
}

int deviceCount(const USBDevListExp& list) {
    return std::clamp(list.nDevCount, 0, QUIB_MAX_EXPORTED_DEVICES);
}

}  // namespace quib::frontend
