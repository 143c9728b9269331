// The program's window on Windows: the dialog of template 102, modeless, on a user-interface thread of its
// own. That thread runs the window's message loop, so the window keeps painting, and its status and
// progress move, while the update holds the calling thread inside a library call for a minute.
//
// The window comes into being at the first call that touches it. A silent run never calls the port, so
// in silent mode no window is ever created. Until showUntilClosed() the OK button is disabled and the close
// button, Alt+F4 and Esc are refused: the run must not be cut off in the middle of writing a bridge.
#pragma once

#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <future>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "platform/platform.h"

namespace quib::platform {

class Win32Dialog final : public Dialog {
  public:
    // The module that holds the template and the icon: the program file by default.
    explicit Win32Dialog(HINSTANCE resources = nullptr);
    ~Win32Dialog() override;
    Win32Dialog(const Win32Dialog&) = delete;
    Win32Dialog& operator=(const Win32Dialog&) = delete;

    void setCaption(const std::string& text) override;
    void setStatusText(const std::string& text) override;
    void setStatusTextColour(std::uint32_t colour) override;
    void setProgressRange(int low, int high, int step) override;
    void setProgressPosition(int position) override;
    void setProgressBarColour(std::uint32_t colour) override;
    // Appended to the status line, one line each, below its text.
    void showSummary(const std::vector<std::string>& lines) override;
    int showUntilClosed() override;

    // The window while it exists (the owner of message boxes raised meanwhile); nullptr before the first
    // call and after it closed.
    HWND window() const { return m_window.load(); }
    // The window of the program's dialog while one is up (the last one created), for the message boxes
    // raised meanwhile: GetActiveWindow() cannot find it, it belongs to the window's own thread.
    static HWND programWindow() { return s_programWindow.load(); }

  private:
    // The window, created on first use; nullptr once it has closed or when it cannot be created.
    HWND ensureWindow();
    void runUserInterfaceThread(std::promise<void>& created);
    static INT_PTR CALLBACK dialogProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR onMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void onInitDialog(HWND window);
    void closeWith(HWND window, int result);
    void setStatusControlText(const std::wstring& text);

    HINSTANCE m_resources;
    std::mutex m_startLock;  // creation of the window and its thread
    std::thread m_thread;
    bool m_started = false;
    std::atomic<HWND> m_window{nullptr};
    std::wstring m_status;  // the status text without the summary

    // Owned by the user-interface thread.
    COLORREF m_textColour;
    HFONT m_statusFont = nullptr;
    HICON m_icon = nullptr;
    HICON m_smallIcon = nullptr;
    bool m_waiting = false;  // showUntilClosed() is waiting: OK and closing are accepted

    static inline std::atomic<HWND> s_programWindow{nullptr};

    std::mutex m_resultLock;
    std::condition_variable m_resultReady;
    std::optional<int> m_result;
};

}  // namespace quib::platform
