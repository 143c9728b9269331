// Fuzzes the program's command-line switches and its settings file reader.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "frontend/command_switches.h"
#include "frontend/settings_file.h"
#include "frontend/text_helpers.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quib::frontend;
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::wstring line = toWide(text);
    (void)takeRunSwitches(line);
    auto exchange = std::make_unique<ExchangeData>();
    std::memset(exchange.get(), 0, sizeof(ExchangeData));
    SettingsCopies copies;
    (void)readSettingsText(text, *exchange, copies);
    return 0;
}
