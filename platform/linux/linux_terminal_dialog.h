// The main dialog on a terminal. On a terminal the status line, its progress bar, the percentage and the
// time the run has taken are one live line, redrawn at each change and about once a second in between (a
// ticker thread: the user-interface thread may sit a minute inside one library call), always fitted to
// the terminal's width. When the window ends, the line stays as it last stood and the closing summary
// follows it. On any other output each change is one plain line, without escape codes. The final window
// waits for Enter only when standard input is a terminal.
#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "platform/linux/terminal_screen.h"
#include "platform/linux/terminal_status_line.h"
#include "platform/linux/terminal_ticker.h"
#include "platform/platform.h"

namespace quib::platform {

// The window's sense of time: the clock its elapsed time is read from, and what paces its redraws (none:
// no ticker).
struct TerminalDialogClock {
    std::function<std::uint64_t()> nowMs;
    std::function<std::unique_ptr<TickSource>()> ticks;
};
// The steady clock and a tick a second.
TerminalDialogClock realTerminalDialogClock();

class LinuxTerminalDialog final : public Dialog {
  public:
    explicit LinuxTerminalDialog(std::FILE* in = stdin, TerminalScreen& screen = standardScreen(),
                                 TerminalDialogClock clock = realTerminalDialogClock());
    ~LinuxTerminalDialog() override;

    void setCaption(const std::string& text) override;
    void setStatusText(const std::string& text) override;
    void setStatusTextColour(std::uint32_t colour) override;
    void setProgressRange(int low, int high, int step) override;
    void setProgressPosition(int position) override;
    void setProgressBarColour(std::uint32_t colour) override;
    void showSummary(const std::vector<std::string>& lines) override;
    int showUntilClosed() override;

    // Whether the output is drawn with colours and a redrawn line.
    bool drawsOnTerminal() const { return m_screen.isTerminal(); }

  private:
    void redrawLocked();
    void onTick();
    // Stops the ticker; the live line stays on screen, whole, as a line of its own.
    void endLiveLine();
    StatusLineContent contentLocked() const;
    int percentLocked() const;

    std::FILE* m_in;
    TerminalScreen& m_screen;
    TerminalDialogClock m_clock;
    std::uint64_t m_startMs = 0;
    std::mutex m_lock;  // the fields below: the ticker reads them
    std::string m_status;
    std::uint32_t m_textColour = 0, m_barColour = rgb(0, 150, 75);
    int m_low = 0, m_high = 100, m_position = 0;
    bool m_live = false;      // the live line is on screen
    TerminalTicker m_ticker;  // last: its thread ends before the fields it reads
};

}  // namespace quib::platform
