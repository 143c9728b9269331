#include "platform/linux/linux_terminal_dialog.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>

namespace quib::platform {
namespace {

constexpr std::chrono::milliseconds kTickPeriod{1000};

}  // namespace

TerminalDialogClock realTerminalDialogClock() {
    return {[] {
                return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                      std::chrono::steady_clock::now().time_since_epoch())
                                                      .count());
            },
            [] { return realTimeTicks(kTickPeriod); }};
}

LinuxTerminalDialog::LinuxTerminalDialog(std::FILE* in, TerminalScreen& screen, TerminalDialogClock clock)
    : m_in(in), m_screen(screen), m_clock(std::move(clock)) {
    if (m_clock.nowMs) m_startMs = m_clock.nowMs();
}

LinuxTerminalDialog::~LinuxTerminalDialog() {
    // The process is ending (std::exit included): the shell's prompt must not land on the status line.
    m_ticker.stop();
    m_screen.endLine();
}

int LinuxTerminalDialog::percentLocked() const {
    if (m_high <= m_low) return 0;
    return std::clamp((m_position - m_low) * 100 / (m_high - m_low), 0, 100);
}

StatusLineContent LinuxTerminalDialog::contentLocked() const {
    StatusLineContent c{m_status, m_textColour, m_barColour, percentLocked(), std::nullopt};
    if (m_clock.nowMs) c.elapsedMs = m_clock.nowMs() - m_startMs;
    return c;
}

void LinuxTerminalDialog::redrawLocked() {
    // One column stays free: a line that fills the last one wraps on some terminals.
    m_screen.drawLive(composeStatusLine(contentLocked(), m_screen.columns() - 1));
    m_live = true;
    if (m_clock.ticks && !m_ticker.running()) m_ticker.start(m_clock.ticks(), [this] { onTick(); });
}

void LinuxTerminalDialog::onTick() {
    std::lock_guard lock(m_lock);
    if (m_live) m_screen.drawLive(composeStatusLine(contentLocked(), m_screen.columns() - 1));
}

void LinuxTerminalDialog::endLiveLine() {
    m_ticker.stop();
    std::lock_guard lock(m_lock);
    if (!m_live) return;
    m_screen.keepLive(composeStatusLine(contentLocked(), 0));
    m_live = false;
}

void LinuxTerminalDialog::setCaption(const std::string& text) {
    m_screen.printLines(printable(text) + "\n");
}

void LinuxTerminalDialog::setStatusText(const std::string& text) {
    std::lock_guard lock(m_lock);
    m_status = text;
    if (m_screen.isTerminal())
        redrawLocked();
    else
        m_screen.printLines("status: " + printable(text) + "\n");
}

void LinuxTerminalDialog::setStatusTextColour(std::uint32_t colour) {
    std::lock_guard lock(m_lock);
    m_textColour = colour;
    if (m_screen.isTerminal()) redrawLocked();
}

void LinuxTerminalDialog::setProgressRange(int low, int high, int) {
    std::lock_guard lock(m_lock);
    m_low = low;
    m_high = high;
}

void LinuxTerminalDialog::setProgressPosition(int position) {
    std::lock_guard lock(m_lock);
    m_position = position;
    if (m_screen.isTerminal())
        redrawLocked();
    else
        m_screen.printLines("progress: " + std::to_string(percentLocked()) + "%\n");
}

void LinuxTerminalDialog::setProgressBarColour(std::uint32_t colour) {
    std::lock_guard lock(m_lock);
    m_barColour = colour;
    if (m_screen.isTerminal()) redrawLocked();
}

void LinuxTerminalDialog::showSummary(const std::vector<std::string>& lines) {
    endLiveLine();
    std::string text;
    for (const std::string& line : lines) text += printable(line) + "\n";
    m_screen.printLines(text);
}

int LinuxTerminalDialog::showUntilClosed() {
    endLiveLine();
    const bool interactive = m_in != nullptr && ::isatty(::fileno(m_in));
    if (!interactive) return kIdOk;
    m_screen.beginQuestion("", "[ OK ] Press Enter to close.");
    char line[64];
    // End of input (Ctrl+D) closes the window like the title-bar button.
    const bool answered = std::fgets(line, sizeof line, m_in) != nullptr;
    m_screen.endQuestion(answered && std::string_view(line).ends_with('\n'));
    return answered ? kIdOk : kIdCancel;
}

}  // namespace quib::platform
