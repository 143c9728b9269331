#include "platform/win32/win32_dialog.h"

#include <commctrl.h>
#include <uxtheme.h>

#include "platform/win32/win32_dialog_ids.h"

namespace quib::platform {
namespace {

// The colour value that stands for the system's button-text colour.
constexpr std::uint32_t kSystemButtonText = 0xFFFFFFFF;
// The status line's font: a cell height of 6 logical units, everything else left to the font mapper.
constexpr LONG kStatusFontCellHeight = 6;

// Requests the calling thread hands to the window's own thread.
enum : UINT {
    kMsgSetTextColour = WM_APP + 1,  // wParam: the colour
    kMsgBeginWaiting,                // OK and closing are accepted from now on
    kMsgDestroy,                     // the object goes away: the window with it
};

std::wstring toWide(const std::string& text) {
    if (text.empty()) return {};
    const int size =
        ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return wide;
}

COLORREF textColourOf(COLORREF colour) {
    return colour == kSystemButtonText ? ::GetSysColor(COLOR_BTNTEXT) : colour;
}

// A dialog created with CreateDialog lands where its template says (the screen's corner); the modal
// dialog it stands for is centred.
void centreOnWorkArea(HWND window) {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (!::GetMonitorInfoW(::MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor)) return;
    RECT frame;
    ::GetWindowRect(window, &frame);
    const RECT& area = monitor.rcWork;
    const int x = area.left + ((area.right - area.left) - (frame.right - frame.left)) / 2;
    const int y = area.top + ((area.bottom - area.top) - (frame.bottom - frame.top)) / 2;
    ::SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

Win32Dialog::Win32Dialog(HINSTANCE resources)
    : m_resources(resources ? resources : ::GetModuleHandleW(nullptr)), m_textColour(kSystemButtonText) {}

Win32Dialog::~Win32Dialog() {
    if (HWND window = m_window.load()) ::PostMessageW(window, kMsgDestroy, 0, 0);
    if (m_thread.joinable()) m_thread.join();
}

HWND Win32Dialog::ensureWindow() {
    std::lock_guard start(m_startLock);
    if (!m_started) {
        m_started = true;
        std::promise<void> created;
        std::future<void> ready = created.get_future();
        m_thread = std::thread([this, &created] { runUserInterfaceThread(created); });
        ready.wait();
    }
    return m_window.load();
}

void Win32Dialog::runUserInterfaceThread(std::promise<void>& created) {
    INITCOMMONCONTROLSEX classes{sizeof classes, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&classes);
    HWND window = ::CreateDialogParamW(m_resources, MAKEINTRESOURCEW(QUIB_IDD_MAIN_DIALOG), nullptr,
                                       &Win32Dialog::dialogProcedure, reinterpret_cast<LPARAM>(this));
    m_window = window;
    if (window) s_programWindow = window;
    if (!window) {
        // A window that cannot be created counts as one closed at once.
        std::lock_guard hold(m_resultLock);
        m_result = kIdCancel;
    }
    created.set_value();

    MSG message;
    while (window && ::GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (::IsDialogMessageW(window, &message)) continue;
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    if (m_statusFont) ::DeleteObject(m_statusFont);
    if (m_icon) ::DestroyIcon(m_icon);
    if (m_smallIcon) ::DestroyIcon(m_smallIcon);
    m_resultReady.notify_all();
}

INT_PTR CALLBACK Win32Dialog::dialogProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) ::SetWindowLongPtrW(window, DWLP_USER, lParam);
    auto* self = reinterpret_cast<Win32Dialog*>(::GetWindowLongPtrW(window, DWLP_USER));
    return self ? self->onMessage(window, message, wParam, lParam) : FALSE;
}

void Win32Dialog::onInitDialog(HWND window) {
    LOGFONTW font{};
    font.lfHeight = kStatusFontCellHeight;
    m_statusFont = ::CreateFontIndirectW(&font);
    ::SendDlgItemMessageW(window, QUIB_IDC_STATUS, WM_SETFONT, reinterpret_cast<WPARAM>(m_statusFont), TRUE);

    // Under visual styles the theme draws the bar in its own colour; without it the bar takes ours. A
    // class list that names no class (" ", as Microsoft documents it) takes the theme away; Wine keeps the
    // theme for an entirely empty one.
    ::SetWindowTheme(::GetDlgItem(window, QUIB_IDC_PROGRESS), L" ", L" ");

    m_icon =
        static_cast<HICON>(::LoadImageW(m_resources, MAKEINTRESOURCEW(QUIB_IDI_PROGRAM), IMAGE_ICON,
                                        ::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CYICON), 0));
    m_smallIcon =
        static_cast<HICON>(::LoadImageW(m_resources, MAKEINTRESOURCEW(QUIB_IDI_PROGRAM), IMAGE_ICON,
                                        ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON), 0));
    ::SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_icon));
    ::SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_smallIcon));

    // Nothing to confirm while the run goes on.
    ::EnableWindow(::GetDlgItem(window, QUIB_IDC_OK), FALSE);
    centreOnWorkArea(window);
}

INT_PTR Win32Dialog::onMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            onInitDialog(window);
            return TRUE;
        case WM_CTLCOLORSTATIC: {
            if (reinterpret_cast<HWND>(lParam) != ::GetDlgItem(window, QUIB_IDC_STATUS)) return FALSE;
            HDC dc = reinterpret_cast<HDC>(wParam);
            ::SetTextColor(dc, textColourOf(m_textColour));
            ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
            return reinterpret_cast<INT_PTR>(::GetSysColorBrush(COLOR_BTNFACE));
        }
        case kMsgSetTextColour:
            m_textColour = static_cast<COLORREF>(wParam);
            ::InvalidateRect(::GetDlgItem(window, QUIB_IDC_STATUS), nullptr, TRUE);
            return TRUE;
        case kMsgBeginWaiting:
            m_waiting = true;
            ::EnableWindow(::GetDlgItem(window, QUIB_IDC_OK), TRUE);
            ::SetFocus(::GetDlgItem(window, QUIB_IDC_OK));
            return TRUE;
        case WM_COMMAND:
            // OK (the button or Enter) and Esc count only once the run is over.
            if (m_waiting && LOWORD(wParam) == IDOK) closeWith(window, kIdOk);
            if (m_waiting && LOWORD(wParam) == IDCANCEL) closeWith(window, kIdCancel);
            return TRUE;
        case WM_CLOSE:  // the title-bar button, Alt+F4
            if (m_waiting) closeWith(window, kIdCancel);
            return TRUE;
        case kMsgDestroy:
            ::DestroyWindow(window);
            return TRUE;
        case WM_PAINT:
            if (!::IsIconic(window)) return FALSE;
            {
                PAINTSTRUCT paint;
                HDC dc = ::BeginPaint(window, &paint);
                RECT client;
                ::GetClientRect(window, &client);
                ::DrawIcon(dc, (client.right - ::GetSystemMetrics(SM_CXICON) + 1) / 2,
                           (client.bottom - ::GetSystemMetrics(SM_CYICON) + 1) / 2, m_icon);
                ::EndPaint(window, &paint);
            }
            return TRUE;
        case WM_QUERYDRAGICON:
            return reinterpret_cast<INT_PTR>(m_icon);
        case WM_DESTROY: {
            m_window = nullptr;
            HWND self = window;
            s_programWindow.compare_exchange_strong(self, nullptr);
            std::lock_guard hold(m_resultLock);
            if (!m_result) m_result = kIdCancel;  // gone without an answer: as if closed
            ::PostQuitMessage(0);
            return TRUE;
        }
        default:
            return FALSE;
    }
}

void Win32Dialog::closeWith(HWND window, int result) {
    {
        std::lock_guard hold(m_resultLock);
        if (!m_result) m_result = result;
    }
    // Not from inside the button's own click: it still uses its state once its notification returns.
    ::PostMessageW(window, kMsgDestroy, 0, 0);
}

void Win32Dialog::setStatusControlText(const std::wstring& text) {
    if (HWND window = ensureWindow()) ::SetDlgItemTextW(window, QUIB_IDC_STATUS, text.c_str());
}

void Win32Dialog::setCaption(const std::string& text) {
    if (HWND window = ensureWindow()) ::SetWindowTextW(window, toWide(text).c_str());
}

void Win32Dialog::setStatusText(const std::string& text) {
    m_status = toWide(text);
    setStatusControlText(m_status);
}

void Win32Dialog::setStatusTextColour(std::uint32_t colour) {
    if (HWND window = ensureWindow()) ::SendMessageW(window, kMsgSetTextColour, colour, 0);
}

void Win32Dialog::setProgressRange(int low, int high, int step) {
    if (HWND window = ensureWindow()) {
        ::SendDlgItemMessageW(window, QUIB_IDC_PROGRESS, PBM_SETRANGE32, static_cast<WPARAM>(low),
                              static_cast<LPARAM>(high));
        ::SendDlgItemMessageW(window, QUIB_IDC_PROGRESS, PBM_SETSTEP, static_cast<WPARAM>(step), 0);
    }
}

void Win32Dialog::setProgressPosition(int position) {
    if (HWND window = ensureWindow())
        ::SendDlgItemMessageW(window, QUIB_IDC_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void Win32Dialog::setProgressBarColour(std::uint32_t colour) {
    if (HWND window = ensureWindow())
        ::SendDlgItemMessageW(window, QUIB_IDC_PROGRESS, PBM_SETBARCOLOR, 0, static_cast<LPARAM>(colour));
}

void Win32Dialog::showSummary(const std::vector<std::string>& lines) {
    std::wstring text = m_status;
    for (const std::string& line : lines) text += L"\r\n" + toWide(line);
    setStatusControlText(text);
}

int Win32Dialog::showUntilClosed() {
    if (HWND window = ensureWindow()) ::SendMessageW(window, kMsgBeginWaiting, 0, 0);
    int result;
    {
        std::unique_lock wait(m_resultLock);
        m_resultReady.wait(wait, [&] { return m_result.has_value(); });
        result = *m_result;
    }
    // The window is gone when this returns.
    if (m_thread.joinable()) m_thread.join();
    return result;
}

}  // namespace quib::platform
