// The window the program shows is its template 102: the controls, where they stand, what they say.
#include <gtest/gtest.h>

#include "platform/win32/win32_dialog.h"
#include "tests/platform/win32/ui/dialog_test_support.h"

namespace quib::platform {
namespace {

using namespace testing;

const std::wstring kCaption = L"layout test window";

struct ControlCase {
    int id;
    const wchar_t* className;
    const wchar_t* text;
    int x, y, width, height;  // dialog units
    bool visible;
    bool defaultButton;
    bool border;
};

const ControlCase kControls[] = {
    {QUIB_IDC_OK, L"Button", L"OK", 98, 71, 50, 14, true, true, false},
    {QUIB_IDC_START, L"Button", L"START", 29, 71, 50, 14, false, false, false},
    {QUIB_IDC_PROGRESS, L"msctls_progress32", L"", 22, 52, 202, 14, true, false, true},
    {QUIB_IDC_STATUS, L"Static", L"Static", 29, 14, 187, 29, true, false, false},
};

class Win32DialogFrame : public ::testing::Test {
  protected:
    void SetUp() override {
        m_dialog.setCaption("layout test window");
        m_window = findDialog(kCaption);
        ASSERT_NE(m_window, nullptr);
    }
    RECT pixels(RECT dialogUnits) const {
        ::MapDialogRect(m_window, &dialogUnits);
        return dialogUnits;
    }

    Win32Dialog m_dialog;
    HWND m_window = nullptr;
};

class Win32DialogLayout : public Win32DialogFrame, public ::testing::WithParamInterface<ControlCase> {};

TEST_P(Win32DialogLayout, ControlStandsWhereTheTemplateSays) {
    const ControlCase& expected = GetParam();
    HWND control = ::GetDlgItem(m_window, expected.id);
    ASSERT_NE(control, nullptr) << "no control " << expected.id;
    EXPECT_EQ(classOf(control), expected.className);
    EXPECT_EQ(textOf(control), expected.text);
    EXPECT_EQ(::IsWindowVisible(control) != FALSE, expected.visible);
    const auto style = static_cast<DWORD>(::GetWindowLongW(control, GWL_STYLE));
    if (classOf(control) == L"Button") {
        EXPECT_EQ((style & BS_TYPEMASK) == BS_DEFPUSHBUTTON, expected.defaultButton);
    }

    RECT actual;
    ::GetWindowRect(control, &actual);
    ::MapWindowPoints(nullptr, m_window, reinterpret_cast<POINT*>(&actual), 2);
    // Position and size are converted one by one, as the dialog manager does.
    const RECT wanted = pixels({expected.x, expected.y, expected.width, expected.height});
    EXPECT_EQ(actual.left, wanted.left);
    EXPECT_EQ(actual.top, wanted.top);
    EXPECT_EQ(actual.right - actual.left, wanted.right);
    EXPECT_EQ(actual.bottom - actual.top, wanted.bottom);

    // The bar turns the template's WS_BORDER into a static edge when it is created.
    const auto edges = static_cast<DWORD>(::GetWindowLongW(control, GWL_EXSTYLE)) &
                       (WS_EX_STATICEDGE | WS_EX_CLIENTEDGE | WS_EX_WINDOWEDGE);
    EXPECT_EQ((style & WS_BORDER) != 0 || edges != 0, expected.border);
}

INSTANTIATE_TEST_SUITE_P(Template, Win32DialogLayout, ::testing::ValuesIn(kControls),
                         [](const auto& info) { return "Control" + std::to_string(info.param.id); });

TEST_F(Win32DialogFrame, IsAVisibleModalFramePopupInTheTaskBarWithTheTemplatesClientArea) {
    EXPECT_EQ(classOf(m_window), L"#32770");
    EXPECT_TRUE(::IsWindowVisible(m_window));
    const auto style = static_cast<DWORD>(::GetWindowLongW(m_window, GWL_STYLE));
    for (DWORD bit : {DWORD{WS_POPUP}, DWORD{WS_CAPTION}, DWORD{WS_SYSMENU}, DWORD{DS_MODALFRAME}})
        EXPECT_EQ(style & bit, bit) << std::hex << bit;
    EXPECT_TRUE(::GetWindowLongW(m_window, GWL_EXSTYLE) & WS_EX_APPWINDOW);

    RECT client;
    ::GetClientRect(m_window, &client);
    const RECT wanted = pixels({0, 0, 246, 92});
    EXPECT_EQ(client.right, wanted.right);
    EXPECT_EQ(client.bottom, wanted.bottom);
}

TEST_F(Win32DialogFrame, DialogFontIsMsShellDlgAtEightPoints) {
    auto font = reinterpret_cast<HFONT>(::SendMessageW(m_window, WM_GETFONT, 0, 0));
    ASSERT_NE(font, nullptr);
    LOGFONTW description{};
    ASSERT_TRUE(::GetObjectW(font, sizeof description, &description));
    EXPECT_EQ(std::wstring(description.lfFaceName).rfind(L"MS Shell Dlg", 0), 0u) << description.lfFaceName;
    HDC screen = ::GetDC(nullptr);
    EXPECT_EQ(description.lfHeight, -::MulDiv(8, ::GetDeviceCaps(screen, LOGPIXELSY), 72));
    ::ReleaseDC(nullptr, screen);
}

TEST_F(Win32DialogFrame, StatusLineFontHasACellHeightOfSix) {
    auto font = reinterpret_cast<HFONT>(::SendDlgItemMessageW(m_window, QUIB_IDC_STATUS, WM_GETFONT, 0, 0));
    ASSERT_NE(font, nullptr);
    LOGFONTW description{};
    ASSERT_TRUE(::GetObjectW(font, sizeof description, &description));
    EXPECT_EQ(description.lfHeight, 6);
    EXPECT_EQ(description.lfWeight, 0);
}

TEST_F(Win32DialogFrame, CarriesTheProgramIconBothSizes) {
    EXPECT_NE(::SendMessageW(m_window, WM_GETICON, ICON_BIG, 0), 0);
    EXPECT_NE(::SendMessageW(m_window, WM_GETICON, ICON_SMALL, 0), 0);
    EXPECT_EQ(::SendMessageW(m_window, WM_QUERYDRAGICON, 0, 0),
              ::SendMessageW(m_window, WM_GETICON, ICON_BIG, 0));
}

TEST_F(Win32DialogFrame, OkIsDisabledWhileTheRunGoesOn) {
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(m_window, QUIB_IDC_OK)));
}

TEST_F(Win32DialogFrame, AccessorNamesTheWindow) {
    EXPECT_EQ(m_dialog.window(), m_window);
}

}  // namespace
}  // namespace quib::platform
