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

LinuxTerminalUi::LinuxTerminalUi(std::FILE* in, std::FILE* out) : m_in(in), m_out(out) {
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
    std::fprintf(m_out, "[%s]\n%s\n", caption.c_str(), asPlainLine(text).c_str());
    const std::uint32_t buttons = style & kButtonMask;
    const bool interactive = m_in && ::isatty(::fileno(m_in));
    if (!interactive) {
        std::fflush(m_out);
        return buttons == kMbYesNo ? kIdNo : buttons == kMbOkCancel ? kIdCancel : kIdOk;
    }
    if (buttons == kMbYesNo) {
        std::fputs("[y/N] ", m_out);
    } else {
        std::fputs("Press Enter to continue.", m_out);
    }
    std::fflush(m_out);
    char answer[64] = {};
    if (!std::fgets(answer, sizeof answer, m_in)) return buttons == kMbYesNo ? kIdNo : kIdOk;
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
            std::fprintf(stderr, "%s\n", line.c_str());
            break;
        case Sink::File:
            std::fprintf(m_debugFile, "%s\n", line.c_str());
            std::fflush(m_debugFile);
            break;
    }
}

}  // namespace quib::platform
