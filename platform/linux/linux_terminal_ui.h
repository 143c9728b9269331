// Message boxes on the terminal and the debug output channel on Linux.
//
// A message box prints its caption and text; it waits for an answer only when standard input is a
// terminal, so unattended runs never hang. Debug lines go to syslog, or, when QUIB_DEBUG_OUTPUT is
// "stderr" or a file path, there instead.
#pragma once

#include <cstdio>
#include <mutex>

#include "platform/platform.h"

namespace quib::platform {

class LinuxTerminalUi final : public UserInterface {
  public:
    // `in` and `out` are the terminal streams; tests pass their own.
    LinuxTerminalUi(std::FILE* in = stdin, std::FILE* out = stdout);
    ~LinuxTerminalUi() override;

    int messageBox(const std::string& text, const std::string& caption, std::uint32_t style) override;
    void debugOutput(std::string_view text) override;

  private:
    enum class Sink { Syslog, Stderr, File };
    std::FILE* m_in;
    std::FILE* m_out;
    Sink m_sink = Sink::Syslog;
    std::FILE* m_debugFile = nullptr;
    std::mutex m_debugLock;
};

}  // namespace quib::platform
