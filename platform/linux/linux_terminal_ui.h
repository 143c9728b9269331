// Message boxes on the terminal and the debug output channel on Linux.
//
// A message box prints its caption and text on lines of their own, above the window's status line; it
// waits for an answer only when standard input is a terminal, so unattended runs never hang. Debug lines
// go to syslog, or, when QUIB_DEBUG_OUTPUT is "stderr" or a file path, there instead.
#pragma once

#include <cstdio>
#include <mutex>

#include "platform/linux/terminal_screen.h"
#include "platform/platform.h"

namespace quib::platform {

class LinuxTerminalUi final : public UserInterface {
  public:
    // `in` and the screen are the terminal's; tests pass their own.
    LinuxTerminalUi(std::FILE* in = stdin, TerminalScreen& screen = standardScreen());
    ~LinuxTerminalUi() override;

    int messageBox(const std::string& text, const std::string& caption, std::uint32_t style) override;
    void debugOutput(std::string_view text) override;

  private:
    enum class Sink { Syslog, Stderr, File };
    std::FILE* m_in;
    TerminalScreen& m_screen;
    Sink m_sink = Sink::Syslog;
    std::FILE* m_debugFile = nullptr;
    std::mutex m_debugLock;
};

}  // namespace quib::platform
