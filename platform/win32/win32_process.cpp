#include "platform/win32/win32_process.h"

#include <windows.h>

#include <future>
#include <mutex>
#include <thread>

#include "platform/backends.h"
#include "platform/win32/win32_files.h"

namespace quib::platform {
namespace {

std::mutex g_lock;  // the set below; the handlers run on threads of their own
std::vector<std::wstring> g_files, g_folders;
std::optional<int> g_exitCode;
bool g_armed = false;

// Removes the plain entries of a folder, then the folder. A link in place of the folder is removed
// itself, never followed; links inside it likewise.
void emptyAndRemove(const std::wstring& folder) {
    const DWORD attributes = ::GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        deleteFileOrLink(folder.c_str());
        return;
    }
    WIN32_FIND_DATAW found{};
    HANDLE search = ::FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            deleteFileOrLink((folder + L"\\" + name).c_str());
        } while (::FindNextFileW(search, &found));
        ::FindClose(search);
    }
    ::RemoveDirectoryW(folder.c_str());
}

void cleanUp() {
    std::lock_guard lock(g_lock);
    for (const std::wstring& f : g_files) deleteFileOrLink(f.c_str());
    for (const std::wstring& d : g_folders) emptyAndRemove(d);
}

BOOL WINAPI onConsoleEvent(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            break;
        default:
            return FALSE;
    }
    cleanUp();
    std::optional<int> exitCode;
    {
        std::lock_guard lock(g_lock);
        exitCode = g_exitCode;
    }
    if (exitCode) ::ExitProcess(static_cast<UINT>(*exitCode));
    return FALSE;  // the default handling ends the process as it would have
}

LRESULT CALLBACK sessionWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_QUERYENDSESSION) return TRUE;
    if (message == WM_ENDSESSION && wParam) {
        cleanUp();
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

// A hidden top-level window on a thread of its own: the only way a program without a console hears
// that the session ends while its main thread sits inside a long device call. Returns once the window
// exists: a process that ends while the thread is still making it is killed by Wine, not ended.
void watchSessionEnd() {
    std::promise<void> made;
    std::future<void> ready = made.get_future();
    std::thread([made = std::move(made)]() mutable {
        WNDCLASSW cls{};
        cls.lpfnWndProc = sessionWindowProc;
        cls.hInstance = ::GetModuleHandleW(nullptr);
        cls.lpszClassName = L"KRV610xFWUpgSessionWatch";
        ::RegisterClassW(&cls);
        HWND window = ::CreateWindowExW(0, cls.lpszClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                        cls.hInstance, nullptr);
        made.set_value();
        if (!window) return;
        MSG msg;
        while (::GetMessageW(&msg, nullptr, 0, 0) > 0) ::DispatchMessageW(&msg);
    }).detach();
    ready.wait();
}

}  // namespace

void Win32Process::setInterruptCleanup(const std::vector<std::string>& files,
                                       const std::vector<std::string>& folders, std::optional<int> exitCode) {
    bool arm = false;
    {
        std::lock_guard lock(g_lock);
        g_files.clear();
        g_folders.clear();
        for (const std::string& f : files) g_files.push_back(utf8ToWide(f));
        for (const std::string& d : folders) g_folders.push_back(utf8ToWide(d));
        g_exitCode = exitCode;
        arm = !g_armed;
        g_armed = true;
    }
    if (arm) {
        ::SetConsoleCtrlHandler(onConsoleEvent, TRUE);
        watchSessionEnd();
    }
}

void runInterruptCleanupForTest() {
    cleanUp();
}

std::optional<std::uint32_t> Win32Process::runHidden(const std::string& program, const std::string& arguments,
                                                     std::uint32_t timeoutMs) {
    // The program's name heads its command line, as the system's shell would put it.
    std::wstring commandLine = utf8ToWide(program + arguments);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION started{};
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                          nullptr, &startup, &started)) {
        setLastError(::GetLastError());
        return std::nullopt;
    }
    ::CloseHandle(started.hThread);
    ::WaitForSingleObject(started.hProcess, timeoutMs);
    DWORD code = STILL_ACTIVE;
    ::GetExitCodeProcess(started.hProcess, &code);
    ::CloseHandle(started.hProcess);
    setLastError(kErrorSuccess);
    return static_cast<std::uint32_t>(code);
}

}  // namespace quib::platform
