#include "tools/quibdiag/submission_entry.h"

#include <algorithm>

#include "tools/quibdiag/hex_text.h"

namespace quibdiag {

std::optional<SubmissionEntry> parseSubmissionEntry(std::string_view text, std::string& fault) {
    // A binary entry would mostly fail as hex anyway; saying so plainly helps whoever passed one.
    if (std::any_of(text.begin(), text.end(), [](char c) {
            const auto u = static_cast<unsigned char>(c);
            return u >= 0x80 || (u < 0x20 && c != '\t' && c != '\r' && c != '\n');
        })) {
        fault = "not a hex text file (binary bytes found); write the 64 bytes as hex digit pairs";
        return std::nullopt;
    }
    const auto bytes = parseHexBytes(text, fault);
    if (!bytes) return std::nullopt;
    if (bytes->size() != kSubmissionEntrySize) {
        fault = "holds " + std::to_string(bytes->size()) + " bytes; a submission entry is exactly 64";
        return std::nullopt;
    }
    SubmissionEntry entry{};
    std::copy(bytes->begin(), bytes->end(), entry.begin());
    return entry;
}

}  // namespace quibdiag
