// Diagnostic log of one deliverable: three severities written to the debugger output channel.
//
// Each module that links this facility has its own level, lock and sink. The library writes narrow
// (8-bit) lines, the program wide lines. Every line starts with "\r\nMSG::", "\r\nWRN::" or "\r\nERR::"
// and is cut to 4095 characters. By convention the format begins "%s:%d: " with the reporting
// function's qualified name and a line number.
#pragma once

#include <cstddef>
#include <string_view>

namespace quib::log {

inline constexpr int kMessageLevel = 3;
inline constexpr int kWarningLevel = 2;
inline constexpr int kErrorLevel = 1;
inline constexpr std::size_t kLineChars = 4096;  // including the terminator

using NarrowSink = void (*)(std::string_view line);
using WideSink = void (*)(std::wstring_view line);

// Where finished lines go; set once when the module chooses its platform backend.
void setSinks(NarrowSink narrow, WideSink wide);

void setLevel(int level);
int level();

}  // namespace quib::log

// The formats are C99's everywhere (%zu, %lld): Windows builds use mingw-w64's standard printf.
#if defined(_WIN32)
#define QUIB_PRINTF_FORMAT(f, a) __attribute__((format(gnu_printf, f, a)))
#else
#define QUIB_PRINTF_FORMAT(f, a) __attribute__((format(printf, f, a)))
#endif

// Narrow writers (the library).
void LogMessage(const char* format, ...) QUIB_PRINTF_FORMAT(1, 2);
void LogWarning(const char* format, ...) QUIB_PRINTF_FORMAT(1, 2);
void LogError(const char* format, ...) QUIB_PRINTF_FORMAT(1, 2);

// Wide writers (the program).
void LogMessage(const wchar_t* format, ...);
void LogWarning(const wchar_t* format, ...);
void LogError(const wchar_t* format, ...);
