// How the window ends: OK answers kIdOk, every way of closing answers kIdCancel, and none of them counts
// while the run still goes on.
#include <gtest/gtest.h>

#include <future>

#include "platform/win32/win32_dialog.h"
#include "tests/platform/win32/ui/dialog_test_support.h"

namespace quib::platform {
namespace {

using namespace testing;

struct CloseCase {
    const char* name;
    UINT message;
    bool toOkButton;  // sent to the OK button rather than to the dialog
    WPARAM wParam;
    int answer;
};

const CloseCase kCloses[] = {
    {"OkCommand", WM_COMMAND, false, MAKEWPARAM(IDOK, BN_CLICKED), kIdOk},
    {"OkButtonClicked", BM_CLICK, true, 0, kIdOk},
    {"CloseRequest", WM_CLOSE, false, 0, kIdCancel},
    {"TitleBarCloseOrAltF4", WM_SYSCOMMAND, false, SC_CLOSE, kIdCancel},
    {"Escape", WM_COMMAND, false, MAKEWPARAM(IDCANCEL, BN_CLICKED), kIdCancel},
};

void send(HWND dialog, const CloseCase& c) {
    HWND target = c.toOkButton ? ::GetDlgItem(dialog, QUIB_IDC_OK) : dialog;
    const LPARAM lParam =
        c.message == WM_COMMAND ? reinterpret_cast<LPARAM>(::GetDlgItem(dialog, LOWORD(c.wParam))) : 0;
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutW(target, c.message, c.wParam, lParam, SMTO_ABORTIFHUNG, 10000, &ignored);
}

class Win32DialogClose : public ::testing::TestWithParam<CloseCase> {
  protected:
    void SetUp() override {
        m_dialog.setCaption("close test window");
        m_dialog.setStatusText("Success! Please Relink the USB Device!");
        m_window = findDialog(L"close test window");
        ASSERT_NE(m_window, nullptr);
    }

    Win32Dialog m_dialog;
    HWND m_window = nullptr;
};

TEST_P(Win32DialogClose, EndsTheWaitWithItsAnswerAndTheWindowIsGone) {
    HWND window = m_window;
    auto user = std::async(std::launch::async, [window] {
        // The user acts once the window waits for them: OK has become pressable.
        if (!waitUntil([window] { return ::IsWindowEnabled(::GetDlgItem(window, QUIB_IDC_OK)) != FALSE; }))
            return false;
        send(window, GetParam());
        return true;
    });
    const int answer = m_dialog.showUntilClosed();
    ASSERT_TRUE(user.get()) << "OK never became pressable";
    EXPECT_EQ(answer, GetParam().answer);
    EXPECT_FALSE(::IsWindow(window));
    EXPECT_EQ(m_dialog.window(), nullptr);
}

TEST_P(Win32DialogClose, IsRefusedWhileTheRunGoesOn) {
    send(m_window, GetParam());
    EXPECT_TRUE(::IsWindow(m_window));
    EXPECT_TRUE(::IsWindowVisible(m_window));
    EXPECT_EQ(m_dialog.window(), m_window);
    // The window still works: the run's next status reaches it.
    m_dialog.setStatusText("Update KRV610x Firmware...");
    EXPECT_EQ(textOf(::GetDlgItem(m_window, QUIB_IDC_STATUS)), L"Update KRV610x Firmware...");
}

INSTANTIATE_TEST_SUITE_P(Ways, Win32DialogClose, ::testing::ValuesIn(kCloses),
                         [](const auto& info) { return std::string(info.param.name); });

class Win32DialogLifetime : public ::testing::Test {};

TEST_F(Win32DialogLifetime, ObjectGoingAwayTakesItsWindowAlong) {
    HWND window = nullptr;
    {
        Win32Dialog dialog;
        dialog.setStatusText("status");
        window = dialog.window();
        ASSERT_TRUE(::IsWindow(window));
    }
    EXPECT_FALSE(::IsWindow(window));
}

TEST_F(Win32DialogLifetime, SettersAfterTheWindowClosedChangeNothingAndBringNoWindowBack) {
    Win32Dialog dialog;
    dialog.setCaption("closed test window");
    HWND window = dialog.window();
    auto user = std::async(std::launch::async, [window] {
        if (waitUntil([window] { return ::IsWindowEnabled(::GetDlgItem(window, QUIB_IDC_OK)) != FALSE; }))
            ::SendMessageW(window, WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(dialog.showUntilClosed(), kIdCancel);
    user.get();
    dialog.setStatusText("late");
    dialog.setProgressPosition(50);
    EXPECT_EQ(dialog.window(), nullptr);
    EXPECT_TRUE(dialogsOfThisProcess().empty());
    // Asked again, it gives the same answer without waiting.
    EXPECT_EQ(dialog.showUntilClosed(), kIdCancel);
}

}  // namespace
}  // namespace quib::platform
