// Fuzzes the bench's reader of partitioning scripts: any text gives commands up to the first line it does
// not understand, each with a line inside the text and a letter only where one was assigned.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "common/disktools/diskpart_script.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const quib::disktools::DiskpartScript script = quib::disktools::parseDiskpartScript(text);
    int lines = 1;
    for (const char c : text) lines += c == '\n';
    int previous = 0;
    for (const quib::disktools::DiskpartCommand& c : script.commands) {
        if (c.line <= previous || c.line > lines) std::abort();
        if ((c.op == quib::disktools::DiskpartCommand::Op::AssignLetter) != (c.letter != 0)) std::abort();
        previous = c.line;
    }
    if (script.badLine != 0 && (script.badLine <= previous || script.badLine > lines)) std::abort();
    return 0;
}
