// The main dialog on a terminal: each status-line change and progress position is shown as it happens, as
// a redrawn line with colours on a terminal and as one plain line per change otherwise. The final window
// waits for Enter only when standard input is a terminal.
#pragma once

#include <cstdio>
#include <string>

#include "platform/platform.h"

namespace quib::platform {

class LinuxTerminalDialog final : public Dialog {
  public:
    explicit LinuxTerminalDialog(std::FILE* in = stdin, std::FILE* out = stdout);

    void setCaption(const std::string& text) override;
    void setStatusText(const std::string& text) override;
    void setStatusTextColour(std::uint32_t colour) override;
    void setProgressRange(int low, int high, int step) override;
    void setProgressPosition(int position) override;
    void setProgressBarColour(std::uint32_t colour) override;
    int showUntilClosed() override;

    // Whether the output is drawn with colours and a redrawn line.
    bool drawsOnTerminal() const { return m_terminal; }

  private:
    void redraw();
    int percent() const;

    std::FILE* m_in;
    std::FILE* m_out;
    bool m_terminal;
    std::string m_caption, m_status;
    std::uint32_t m_textColour = 0, m_barColour = rgb(0, 150, 75);
    int m_low = 0, m_high = 100, m_position = 0;
};

}  // namespace quib::platform
