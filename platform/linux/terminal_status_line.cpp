#include "platform/linux/terminal_status_line.h"

#include <algorithm>
#include <cstdio>

namespace quib::platform {
namespace {

constexpr int kBarWidth = 30;
constexpr int kNarrowestBar = 10;
constexpr const char* kReset = "\033[0m";

std::string trueColour(std::uint32_t colour) {
    return "\033[38;2;" + std::to_string(colour & 0xFF) + ";" + std::to_string((colour >> 8) & 0xFF) + ";" +
           std::to_string((colour >> 16) & 0xFF) + "m";
}

bool continuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Characters on screen: UTF-8 sequences count once.
int widthOf(std::string_view text) {
    return static_cast<int>(
        std::count_if(text.begin(), text.end(), [](char c) { return !continuationByte(c); }));
}

std::string firstCharacters(std::string_view text, int count) {
    std::size_t end = 0;
    for (int seen = 0; end < text.size(); ++end) {
        if (!continuationByte(text[end]) && seen++ == count) break;
    }
    return std::string(text.substr(0, end));
}

std::string bar(std::uint32_t colour, int percent, int cells) {
    const int filled = percent * cells / 100;
    return " [" + trueColour(colour) + std::string(static_cast<std::size_t>(filled), '#') + kReset +
           std::string(static_cast<std::size_t>(cells - filled), '.') + "]";
}

}  // namespace

std::string formatElapsed(std::uint64_t ms) {
    const std::uint64_t seconds = ms / 1000;
    char text[32];
    std::snprintf(text, sizeof text, "%llu:%02llu", static_cast<unsigned long long>(seconds / 60),
                  static_cast<unsigned long long>(seconds % 60));
    return text;
}

std::string printable(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return out;
}

std::string composeStatusLine(const StatusLineContent& content, int maxWidth) {
    const int percent = std::clamp(content.percent, 0, 100);
    std::string status = printable(content.status);
    char pct[8];
    std::snprintf(pct, sizeof pct, " %3d%%", percent);
    std::string tail = pct;
    const std::string elapsed = content.elapsedMs ? " " + formatElapsed(*content.elapsedMs) : "";

    int cells = kBarWidth;
    if (maxWidth > 0) {
        const int room = maxWidth - widthOf(status) - widthOf(tail) - widthOf(elapsed) - 3;  // " [" "]"
        cells = std::min(kBarWidth, room);
        if (cells < kNarrowestBar) {
            cells = 0;
            if (widthOf(status) + widthOf(tail) + widthOf(elapsed) <= maxWidth) {
                tail += elapsed;
            } else {
                status = firstCharacters(status, std::max(0, maxWidth - widthOf(tail)));
                tail = firstCharacters(tail, std::max(0, maxWidth - widthOf(status)));
            }
        } else {
            tail += elapsed;
        }
    } else {
        tail += elapsed;
    }
    return trueColour(content.textColour) + status + kReset +
           (cells > 0 ? bar(content.barColour, percent, cells) : "") + tail;
}

}  // namespace quib::platform
