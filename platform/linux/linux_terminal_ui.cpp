#include "platform/linux/linux_terminal_ui.h"

#include <syslog.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace quib::platform {
namespace {

constexpr std::uint32_t kButtonMask = 0x0F;

// The debug lines begin with "\r\n"; on a line-oriented sink that becomes one newline.
std::string asPlainLine(std::string_view text) {
    std::string line;
    line.reserve(text.size() + 1);
    for (char c : text)
        if (c != '\r') line += c;
    while (!line.empty() && line.front() == '\n') line.erase(line.begin());
    return line;
}

}  // namespace

LinuxTerminalUi::LinuxTerminalUi(std::FILE* in, TerminalScreen& screen) : m_in(in), m_screen(screen) {
    const char* target = std::getenv("QUIB_DEBUG_OUTPUT");
    if (target && std::strcmp(target, "stderr") == 0) {
        m_sink = Sink::Stderr;
    } else if (target && *target) {
        m_debugFile = std::fopen(target, "a");
        m_sink = m_debugFile ? Sink::File : Sink::Stderr;
    }
}

LinuxTerminalUi::~LinuxTerminalUi() {
    if (m_debugFile) std::fclose(m_debugFile);
}

int LinuxTerminalUi::messageBox(const std::string& text, const std::string& caption, std::uint32_t style) {
    const std::string box = "[" + caption + "]\n" + asPlainLine(text) + "\n";
    const std::uint32_t buttons = style & kButtonMask;
    const bool interactive = m_in && ::isatty(::fileno(m_in));
    if (!interactive) {
        m_screen.printLines(box);
        return buttons == kMbYesNo ? kIdNo : buttons == kMbOkCancel ? kIdCancel : kIdOk;
    }
    m_screen.beginQuestion(box, buttons == kMbYesNo ? "[y/N] " : "Press Enter to continue.");
    char answer[64] = {};
    const bool answered = std::fgets(answer, sizeof answer, m_in) != nullptr;
    m_screen.endQuestion(answered && std::strchr(answer, '\n') != nullptr);
    if (!answered) return buttons == kMbYesNo ? kIdNo : kIdOk;
    if (buttons == kMbYesNo) return (answer[0] == 'y' || answer[0] == 'Y') ? kIdYes : kIdNo;
    return kIdOk;
}

void LinuxTerminalUi::debugOutput(std::string_view text) {
    const std::string line = asPlainLine(text);
    std::lock_guard lock(m_debugLock);
    switch (m_sink) {
        case Sink::Syslog:
            ::syslog(LOG_DEBUG, "%s", line.c_str());
            break;
        case Sink::Stderr:
            m_screen.printLinesTo(stderr, line + "\n");
            break;
        case Sink::File:
            std::fprintf(m_debugFile, "%s\n", line.c_str());
            std::fflush(m_debugFile);
            break;
    }
}

}  // namespace quib::platform
