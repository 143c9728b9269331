#include "tools/quibdiag/command_support.h"

#include "tools/quibdiag/diag_error.h"
#include "tools/quibdiag/file_io.h"
#include "tools/quibdiag/hex_text.h"

namespace quibdiag {

void addBridgeOption(CLI::App* command, std::string& text) {
    command->add_option("-b,--bridge", text, "bridge index, as 'quibdiag list' shows it")->required();
}

int bridgeIndex(const std::string& text) {
    return static_cast<int>(numberOption("--bridge", text, 0, 255));
}

std::uint64_t numberOption(const std::string& option, const std::string& text, std::uint64_t minimum,
                           std::uint64_t maximum) {
    std::string fault;
    const auto value = parseNumber(text, UINT64_MAX, fault);
    if (!value) throw DiagError(ExitCode::Usage, option + ": " + fault);
    if (*value < minimum || *value > maximum)
        throw DiagError(ExitCode::Usage, option + ": " + text + " is outside " + std::to_string(minimum) +
                                             ".." + std::to_string(maximum));
    return *value;
}

void saveIfAsked(const std::string& path, ByteView data) {
    if (!path.empty()) writeOutputFile(path, data);
}

}  // namespace quibdiag
