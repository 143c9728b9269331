// Fuzzes what quibdiag reads from files and command lines: the submission entry's hex text, hex bytes (CDBs)
// and numbers. Each is either taken whole or refused with a reason.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "tools/quibdiag/hex_text.h"
#include "tools/quibdiag/submission_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quibdiag;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string fault;
    if (!parseSubmissionEntry(text, fault) && fault.empty()) __builtin_trap();
    fault.clear();
    const auto bytes = parseHexBytes(text, fault);
    if (bytes ? bytes->size() * 2 > size : fault.empty()) __builtin_trap();
    fault.clear();
    const auto number = parseNumber(text, 0xFFFF, fault);
    if (number ? *number > 0xFFFF : fault.empty()) __builtin_trap();
    if (bytes && hexString(*bytes).size() != bytes->size() * 2) __builtin_trap();
    return 0;
}
