// The window's status line as a terminal shows it: the status text in its colour, the progress bar in its
// colour, the percentage and, while the run goes on, the time it has taken.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quib::platform {

struct StatusLineContent {
    std::string status;
    std::uint32_t textColour = 0;  // 0x00BBGGRR
    std::uint32_t barColour = 0;
    int percent = 0;
    std::optional<std::uint64_t> elapsedMs;
};

// The line with its colour codes. With `maxWidth` above 0 it shows at most that many characters: the bar
// narrows and then goes, then the elapsed time, and only then is the status text cut.
std::string composeStatusLine(const StatusLineContent& content, int maxWidth);

// "m:ss".
std::string formatElapsed(std::uint64_t ms);

// Control characters (escape sequences of a device's strings, for example) shown as "?".
std::string printable(std::string_view text);

}  // namespace quib::platform
