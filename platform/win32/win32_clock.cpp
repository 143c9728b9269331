#include "platform/win32/win32_clock.h"

#include <windows.h>

#include <ctime>

namespace quib::platform {

std::uint64_t Win32Clock::tickMs() {
    return ::GetTickCount64();
}

std::int64_t Win32Clock::unixSeconds() {
    return static_cast<std::int64_t>(std::time(nullptr));
}

std::int64_t Win32Clock::performanceFrequency() {
    LARGE_INTEGER f{};
    ::QueryPerformanceFrequency(&f);
    return f.QuadPart;
}

std::int64_t Win32Clock::performanceCounter() {
    LARGE_INTEGER c{};
    ::QueryPerformanceCounter(&c);
    return c.QuadPart;
}

void Win32Clock::sleepMs(std::uint32_t ms) {
    ::Sleep(ms);
}

}  // namespace quib::platform
