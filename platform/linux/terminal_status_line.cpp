#include "platform/linux/terminal_status_line.h"

#include <algorithm>
#include <cstdio>

namespace quib::platform {
namespace {

constexpr int kBarWidth = 30;
constexpr int kNarrowestBar = 10;
constexpr const char* kReset = "\033[0m";

// Built by appending: a literal in front of a temporary string trips a false overlap warning of GCC 12 at
// -O3.
std::string trueColour(std::uint32_t colour) {
    std::string out = "\033[38;2;";
    out += std::to_string(colour & 0xFF);
    out += ';';
    out += std::to_string((colour >> 8) & 0xFF);
    out += ';';
    out += std::to_string((colour >> 16) & 0xFF);
    out += 'm';
    return out;
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
    std::string out = " [";
    out += trueColour(colour);
    out.append(static_cast<std::size_t>(filled), '#');
    out += kReset;
    out.append(static_cast<std::size_t>(cells - filled), '.');
    out += ']';
    return out;
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
    std::string elapsed;
    if (content.elapsedMs) {
        elapsed = " ";
        elapsed += formatElapsed(*content.elapsedMs);
    }

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
    std::string line = trueColour(content.textColour);
    line += status;
    line += kReset;
    if (cells > 0) line += bar(content.barColour, percent, cells);
    line += tail;
    return line;
}

}  // namespace quib::platform
