#include "platform/linux/linux_terminal_dialog.h"

#include <unistd.h>

#include <algorithm>

namespace quib::platform {
namespace {

constexpr int kBarWidth = 30;

std::string trueColour(std::uint32_t colour) {
    return "\033[38;2;" + std::to_string(colour & 0xFF) + ";" + std::to_string((colour >> 8) & 0xFF) + ";" +
           std::to_string((colour >> 16) & 0xFF) + "m";
}

}  // namespace

LinuxTerminalDialog::LinuxTerminalDialog(std::FILE* in, std::FILE* out)
    : m_in(in), m_out(out), m_terminal(out != nullptr && ::isatty(::fileno(out))) {}

int LinuxTerminalDialog::percent() const {
    if (m_high <= m_low) return 0;
    return std::clamp((m_position - m_low) * 100 / (m_high - m_low), 0, 100);
}

void LinuxTerminalDialog::redraw() {
    const int filled = percent() * kBarWidth / 100;
    std::string bar = trueColour(m_barColour) + std::string(static_cast<std::size_t>(filled), '#') +
                      "\033[0m" + std::string(static_cast<std::size_t>(kBarWidth - filled), '.');
    std::fprintf(m_out, "\r\033[2K%s%s\033[0m [%s] %3d%%", trueColour(m_textColour).c_str(), m_status.c_str(),
                 bar.c_str(), percent());
    std::fflush(m_out);
}

void LinuxTerminalDialog::setCaption(const std::string& text) {
    m_caption = text;
    std::fprintf(m_out, "%s\n", text.c_str());
    std::fflush(m_out);
}

void LinuxTerminalDialog::setStatusText(const std::string& text) {
    m_status = text;
    if (m_terminal) {
        redraw();
    } else {
        std::fprintf(m_out, "status: %s\n", text.c_str());
        std::fflush(m_out);
    }
}

void LinuxTerminalDialog::setStatusTextColour(std::uint32_t colour) {
    m_textColour = colour;
    if (m_terminal) redraw();
}

void LinuxTerminalDialog::setProgressRange(int low, int high, int) {
    m_low = low;
    m_high = high;
}

void LinuxTerminalDialog::setProgressPosition(int position) {
    m_position = position;
    if (m_terminal) {
        redraw();
    } else {
        std::fprintf(m_out, "progress: %d%%\n", percent());
        std::fflush(m_out);
    }
}

void LinuxTerminalDialog::setProgressBarColour(std::uint32_t colour) {
    m_barColour = colour;
    if (m_terminal) redraw();
}

int LinuxTerminalDialog::showUntilClosed() {
    if (m_terminal) std::fputs("\n", m_out);
    const bool interactive = m_in != nullptr && ::isatty(::fileno(m_in));
    if (!interactive) {
        std::fflush(m_out);
        return kIdOk;
    }
    std::fputs("[ OK ] Press Enter to close.", m_out);
    std::fflush(m_out);
    char line[64];
    // End of input (Ctrl+D) closes the window like the title-bar button.
    return std::fgets(line, sizeof line, m_in) ? kIdOk : kIdCancel;
}

}  // namespace quib::platform
