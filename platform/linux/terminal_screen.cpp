#include "platform/linux/terminal_screen.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <new>

namespace quib::platform {
namespace {

constexpr int kDefaultColumns = 80;
constexpr const char* kClearLine = "\r\033[2K";

// The descriptor whose line a screen left open, shifted left by one, with bit 0 set for a terminal; -1
// for none. Read by the signal handler, so it must be lock-free.
std::atomic<int> g_openLine{-1};
static_assert(std::atomic<int>::is_always_lock_free);

bool isTerminalStream(std::FILE* stream) {
    return stream != nullptr && ::isatty(::fileno(stream));
}

}  // namespace

TerminalScreen::TerminalScreen(std::FILE* out) : m_out(out), m_terminal(isTerminalStream(out)) {}

TerminalScreen::TerminalScreen(std::FILE* out, bool terminal, std::function<int()> columns)
    : m_out(out), m_terminal(terminal), m_columns(std::move(columns)) {}

TerminalScreen::~TerminalScreen() {
    endLine();
}

int TerminalScreen::columns() const {
    if (m_columns) return std::max(1, m_columns());
    winsize size{};
    if (m_out != nullptr && ::ioctl(::fileno(m_out), TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return kDefaultColumns;
}

void TerminalScreen::write(std::FILE* stream, const std::string& text) {
    std::fputs(text.c_str(), stream);
    std::fflush(stream);
}

void TerminalScreen::setLineOpenLocked(bool open) {
    m_lineOpen = open;
    const int mine = (::fileno(m_out) << 1) | (m_terminal ? 1 : 0);
    if (open) {
        g_openLine.store(mine);
    } else {
        int expected = mine;
        g_openLine.compare_exchange_strong(expected, -1);
    }
}

void TerminalScreen::clearLiveLocked() {
    if (m_liveShown) {
        write(m_out, kClearLine);
        m_liveShown = false;
    } else if (m_lineOpen) {
        write(m_out, "\n");
    }
    setLineOpenLocked(false);
}

void TerminalScreen::redrawLiveLocked() {
    if (!m_terminal || m_live.empty() || m_asking) return;
    write(m_out, kClearLine + m_live);
    m_liveShown = true;
    setLineOpenLocked(true);
}

void TerminalScreen::drawLive(const std::string& line) {
    std::lock_guard lock(m_lock);
    m_live = line;
    redrawLiveLocked();
}

void TerminalScreen::keepLive(const std::string& line) {
    std::lock_guard lock(m_lock);
    if (!m_terminal || m_live.empty() || m_asking) return;
    write(m_out, kClearLine + line + "\n");
    m_live.clear();
    m_liveShown = false;
    setLineOpenLocked(false);
}

void TerminalScreen::printLines(const std::string& text) {
    std::lock_guard lock(m_lock);
    clearLiveLocked();
    write(m_out, text);
    redrawLiveLocked();
}

void TerminalScreen::printLinesTo(std::FILE* stream, const std::string& text) {
    if (stream == m_out) return printLines(text);
    std::lock_guard lock(m_lock);
    if (isTerminalStream(stream)) {
        if (m_liveShown || m_lineOpen) {
            clearLiveLocked();
        } else {
            // Another module's live line may stand where the cursor is (the library's own screen knows
            // nothing of the program's): clear it; its owner draws it again below.
            write(stream, kClearLine);
        }
    }
    write(stream, text);
    redrawLiveLocked();
}

void TerminalScreen::beginQuestion(const std::string& text, const std::string& prompt) {
    std::lock_guard lock(m_lock);
    clearLiveLocked();
    write(m_out, text + prompt);
    m_asking = true;
    setLineOpenLocked(!prompt.empty());
}

void TerminalScreen::endQuestion(bool answeredWithEnter) {
    std::lock_guard lock(m_lock);
    m_asking = false;
    // The terminal's echo of Enter ends the line; a file never sees it.
    if (m_lineOpen && !(m_terminal && answeredWithEnter)) write(m_out, "\n");
    setLineOpenLocked(false);
    redrawLiveLocked();
}

void TerminalScreen::endLine() {
    std::lock_guard lock(m_lock);
    if (m_lineOpen) write(m_out, "\n");
    m_liveShown = false;
    setLineOpenLocked(false);
}

TerminalScreen& standardScreen() {
    // Never destroyed: static destruction may come to it before the backend whose window (and ticker)
    // draws on it; the window ends the line when it goes. Not on the heap either, where the copy in an
    // unloaded library would be left behind as a leak.
    alignas(TerminalScreen) static unsigned char storage[sizeof(TerminalScreen)];
    static TerminalScreen* const screen = new (storage) TerminalScreen(stdout);
    return *screen;
}

void endOpenLineAfterSignal() {
    const int open = g_openLine.exchange(-1);
    if (open < 0) return;
    const bool terminal = (open & 1) != 0;
    const char* text = terminal ? "\033[0m\n" : "\n";
    if (::write(open >> 1, text, terminal ? 5 : 1) < 0) {
        // Nothing to be done about it in a signal handler.
    }
}

}  // namespace quib::platform
