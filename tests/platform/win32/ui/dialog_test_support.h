// Reading the program's window the way another program would: through its handle and messages only.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32/win32_dialog_ids.h"
#include "tools/uiprobe/common_controls.h"

namespace quib::platform::testing {

// Every wait in these tests is bounded: a window that never answers fails the test instead of hanging it.
inline constexpr std::chrono::seconds kPatience{10};

// Spins (yielding, never sleeping) until `done` holds or the patience runs out.
inline bool waitUntil(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::yield();
    }
    return true;
}

// Text of a window through WM_GETTEXT, refused when the window does not answer within the patience.
inline std::wstring textOf(HWND window) {
    DWORD_PTR length = 0;
    if (!::SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 10000, &length))
        return L"<no answer>";
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    ::SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                          SMTO_ABORTIFHUNG, 10000, &copied);
    text.resize(copied);
    return text;
}

inline std::wstring classOf(HWND window) {
    wchar_t name[64] = {};
    ::GetClassNameW(window, name, 64);
    return name;
}

inline BOOL CALLBACK collectDialogOfThisProcess(HWND window, LPARAM list) {
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    if (process == ::GetCurrentProcessId() && classOf(window) == L"#32770")
        reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

// Top-level dialog windows of this process.
inline std::vector<HWND> dialogsOfThisProcess() {
    std::vector<HWND> found;
    ::EnumWindows(&collectDialogOfThisProcess, reinterpret_cast<LPARAM>(&found));
    return found;
}

// The dialog of this process with that caption; nullptr when there is none.
inline HWND findDialog(const std::wstring& caption) {
    for (HWND window : dialogsOfThisProcess())
        if (textOf(window) == caption) return window;
    return nullptr;
}

inline int progressPosition(HWND dialog) {
    return static_cast<int>(::SendDlgItemMessageW(dialog, QUIB_IDC_PROGRESS, PBM_GETPOS, 0, 0));
}

inline PBRANGE progressRange(HWND dialog) {
    PBRANGE range{};
    ::SendDlgItemMessageW(dialog, QUIB_IDC_PROGRESS, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
    return range;
}

// What the dialog answers to the status line's colour request: the text colour, the background colour and
// the brush it paints with.
struct StatusColours {
    COLORREF text = CLR_INVALID;
    COLORREF background = CLR_INVALID;
    HBRUSH brush = nullptr;
};

inline StatusColours statusColours(HWND dialog) {
    StatusColours colours;
    HDC dc = ::CreateCompatibleDC(nullptr);
    ::SetTextColor(dc, RGB(1, 2, 3));
    ::SetBkColor(dc, RGB(4, 5, 6));
    colours.brush = reinterpret_cast<HBRUSH>(
        ::SendMessageW(dialog, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                       reinterpret_cast<LPARAM>(::GetDlgItem(dialog, QUIB_IDC_STATUS))));
    colours.text = ::GetTextColor(dc);
    colours.background = ::GetBkColor(dc);
    ::DeleteDC(dc);
    return colours;
}

}  // namespace quib::platform::testing
