#include "platform/win32/win32_ui.h"

#include <windows.h>

#include "platform/backends.h"
#include "platform/win32/win32_dialog.h"

namespace quib::platform {

int Win32UserInterface::messageBox(const std::string& text, const std::string& caption, std::uint32_t style) {
    // The program's own window, where one is up, owns the box so that it stays in front of it. It lives on
    // a thread of its own, so the calling thread's active window is not it.
    HWND owner = Win32Dialog::programWindow();
    if (!owner) owner = ::GetActiveWindow();
    return ::MessageBoxW(owner, utf8ToWide(text).c_str(), utf8ToWide(caption).c_str(), style);
}

void Win32UserInterface::debugOutput(std::string_view text) {
    ::OutputDebugStringW(utf8ToWide(text).c_str());
}

}  // namespace quib::platform
