// The window lives on a thread of its own: it answers and paints while the thread that drives it is busy,
// and it does not exist at all until that thread first touches it (a silent run never does).
#include <gtest/gtest.h>

#include <future>

#include "platform/win32/win32_dialog.h"
#include "tests/platform/win32/ui/dialog_test_support.h"
#include "tools/uiprobe/window_capture.h"

namespace quib::platform {
namespace {

using namespace testing;

// Pixels of the bar's colour in a horizontal band of the bar (fractions of its client width).
int barPixels(const uiprobe::Picture& picture, HWND dialog, double from, double to, COLORREF colour) {
    HWND bar = ::GetDlgItem(dialog, QUIB_IDC_PROGRESS);
    RECT client, frame;
    ::GetClientRect(bar, &client);
    ::MapWindowPoints(bar, nullptr, reinterpret_cast<POINT*>(&client), 2);
    ::GetWindowRect(dialog, &frame);
    const int y = (client.top + client.bottom) / 2 - frame.top;
    const int width = client.right - client.left;
    int count = 0;
    for (int x = client.left + static_cast<int>(width * from); x < client.left + static_cast<int>(width * to);
         ++x)
        if (picture.at(x - frame.left, y) == uiprobe::pixelOf(colour)) ++count;
    return count;
}

class Win32DialogThread : public ::testing::Test {};

TEST_F(Win32DialogThread, WindowAnswersAndPaintsWhileTheCallingThreadIsBusy) {
    constexpr COLORREF kGreen = RGB(0, 150, 75);
    Win32Dialog dialog;
    dialog.setCaption("busy test window");
    dialog.setStatusText("Update KRV610x Firmware...");
    dialog.setProgressRange(0, 100, 1);
    dialog.setProgressBarColour(kGreen);
    dialog.setProgressPosition(60);

    HANDLE released = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    struct Seen {
        std::wstring status;
        int position = -1;
        int filledGreen = 0, emptyGreen = 0;
        bool captured = false;
    };
    auto observer = std::async(std::launch::async, [released] {
        Seen seen;
        HWND window = findDialog(L"busy test window");
        if (window) {
            seen.status = textOf(::GetDlgItem(window, QUIB_IDC_STATUS));
            seen.position = progressPosition(window);
            if (const auto picture = uiprobe::captureWindow(window)) {
                seen.captured = true;
                seen.filledGreen = barPixels(*picture, window, 0.05, 0.55, kGreen);
                seen.emptyGreen = barPixels(*picture, window, 0.65, 0.95, kGreen);
            }
        }
        ::SetEvent(released);
        return seen;
    });
    // Busy as in a library call: this thread pumps nothing until the observer is done.
    const DWORD waited = ::WaitForSingleObject(released, 10000);
    ::CloseHandle(released);
    const Seen seen = observer.get();

    ASSERT_EQ(waited, WAIT_OBJECT_0);
    EXPECT_EQ(seen.status, L"Update KRV610x Firmware...");
    EXPECT_EQ(seen.position, 60);
    ASSERT_TRUE(seen.captured);
    EXPECT_GT(seen.filledGreen, 0) << "the filled part of the bar is not drawn in the bar's colour";
    EXPECT_EQ(seen.emptyGreen, 0) << "the bar is drawn beyond its position";
}

TEST_F(Win32DialogThread, NoWindowUntilTheFirstCall) {
    Win32Dialog dialog;
    EXPECT_EQ(dialog.window(), nullptr);
    EXPECT_TRUE(dialogsOfThisProcess().empty());
    dialog.setProgressPosition(5);
    EXPECT_EQ(dialogsOfThisProcess().size(), 1u);
    EXPECT_EQ(dialog.window(), dialogsOfThisProcess().front());
}

TEST_F(Win32DialogThread, AnObjectNeverCalledLeavesNoWindowBehind) {
    { Win32Dialog silent; }
    EXPECT_TRUE(dialogsOfThisProcess().empty());
}

TEST_F(Win32DialogThread, WindowBelongsToAnotherThreadThanTheCaller) {
    Win32Dialog dialog;
    dialog.setStatusText("status");
    EXPECT_NE(::GetWindowThreadProcessId(dialog.window(), nullptr), ::GetCurrentThreadId());
}

TEST_F(Win32DialogThread, ProgramWindowNamesTheLiveWindowForMessageBoxes) {
    EXPECT_EQ(Win32Dialog::programWindow(), nullptr);
    HWND window = nullptr;
    {
        Win32Dialog dialog;
        dialog.setCaption("owner test window");
        window = findDialog(L"owner test window");
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(Win32Dialog::programWindow(), window);
    }
    EXPECT_EQ(Win32Dialog::programWindow(), nullptr);
}

}  // namespace
}  // namespace quib::platform
