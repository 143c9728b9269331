#include "common/log/debug_log.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <mutex>
#include <string>
#include <type_traits>

namespace quib::log {
namespace {

std::atomic<int> g_level{0};
std::mutex m_PrintCriticalSection;  // serialises every writer of this module
NarrowSink g_narrowSink = nullptr;
WideSink g_wideSink = nullptr;

// Shared formatting buffers, reused by every call while the lock is held.
char g_formatBuffer[kLineChars];
wchar_t g_wideFormatBuffer[kLineChars];

constexpr std::string_view narrowPrefix(int threshold) {
    return threshold == kMessageLevel ? "\r\nMSG::" : threshold == kWarningLevel ? "\r\nWRN::" : "\r\nERR::";
}
constexpr std::wstring_view widePrefix(int threshold) {
    return threshold == kMessageLevel   ? L"\r\nMSG::"
           : threshold == kWarningLevel ? L"\r\nWRN::"
                                        : L"\r\nERR::";
}

void formatInto(char* buf, const char* format, va_list args) {
    std::vsnprintf(buf, kLineChars, format, args);
}
void formatInto(wchar_t* buf, const wchar_t* format, va_list args) {
    // vswprintf fails on text that does not fit; the buffer then holds the part that did.
    std::vswprintf(buf, kLineChars, format, args);
    buf[kLineChars - 1] = L'\0';
}

template <typename Char>
void write(int threshold, const Char* format, va_list args) {
    std::lock_guard lock(m_PrintCriticalSection);
    Char line[kLineChars] = {};
    std::basic_string_view<Char> prefix;
    Char* formatBuffer;
    if constexpr (std::is_same_v<Char, char>) {
        prefix = narrowPrefix(threshold);
        formatBuffer = g_formatBuffer;
    } else {
        prefix = widePrefix(threshold);
        formatBuffer = g_wideFormatBuffer;
    }
    prefix.copy(line, prefix.size());

    std::char_traits<Char>::assign(formatBuffer, kLineChars, Char{});
    formatInto(formatBuffer, format, args);

    std::size_t len = prefix.size();
    for (const Char* p = formatBuffer; *p != Char{} && len < kLineChars - 1; ++p) line[len++] = *p;

    if constexpr (std::is_same_v<Char, char>) {
        if (g_narrowSink) g_narrowSink(std::string_view(line, len));
    } else {
        if (g_wideSink) g_wideSink(std::wstring_view(line, len));
    }
}

}  // namespace

void setSinks(NarrowSink narrow, WideSink wide) {
    std::lock_guard lock(m_PrintCriticalSection);
    g_narrowSink = narrow;
    g_wideSink = wide;
}

void setLevel(int newLevel) {
    g_level.store(newLevel, std::memory_order_relaxed);
}
int level() {
    return g_level.load(std::memory_order_relaxed);
}

template <typename Char>
static void writeLine(int threshold, const Char* format, va_list args) {
    write<Char>(threshold, format, args);
}

}  // namespace quib::log

// The level test comes before the lock and before any formatting.
#define QUIB_DEFINE_WRITER(Name, Char, Threshold)              \
    void Name(const Char* format, ...) {                       \
        if (quib::log::level() < (Threshold)) return;          \
        va_list args;                                          \
        va_start(args, format);                                \
        quib::log::writeLine<Char>((Threshold), format, args); \
        va_end(args);                                          \
    }

QUIB_DEFINE_WRITER(LogMessage, char, quib::log::kMessageLevel)
QUIB_DEFINE_WRITER(LogWarning, char, quib::log::kWarningLevel)
QUIB_DEFINE_WRITER(LogError, char, quib::log::kErrorLevel)
QUIB_DEFINE_WRITER(LogMessage, wchar_t, quib::log::kMessageLevel)
QUIB_DEFINE_WRITER(LogWarning, wchar_t, quib::log::kWarningLevel)
QUIB_DEFINE_WRITER(LogError, wchar_t, quib::log::kErrorLevel)
