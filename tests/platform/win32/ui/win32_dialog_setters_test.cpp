// What the port's setters leave in the real controls, read back through the controls' own messages.
#include <gtest/gtest.h>

#include "platform/win32/win32_dialog.h"
#include "tests/platform/win32/ui/dialog_test_support.h"

namespace quib::platform {
namespace {

using namespace testing;

const char* const kCaption = "setters test window";

class Win32DialogSetters : public ::testing::Test {
  protected:
    void SetUp() override {
        m_dialog.setCaption(kCaption);
        m_window = findDialog(L"setters test window");
        ASSERT_NE(m_window, nullptr);
    }
    std::wstring status() const { return textOf(::GetDlgItem(m_window, QUIB_IDC_STATUS)); }

    Win32Dialog m_dialog;
    HWND m_window = nullptr;
};

// ---- texts ----

struct TextCase {
    const char* name;
    std::string utf8;
    std::wstring shown;
};

const TextCase kTexts[] = {
    {"OnGoing", " On going ", L" On going "},
    {"Update", "Update KRV610x Firmware...", L"Update KRV610x Firmware..."},
    {"FailWithCode", "Fail! -3", L"Fail! -3"},
    {"Empty", "", L""},
    {"Utf8",
     "Gr\xC3\xBC\xC3\x9F"
     "e \xE2\x9C\x93 \xF0\x9F\x94\x8C",
     L"Gr\u00FC\u00DFe \u2713 \U0001F50C"},
    {"Caption", "Torvane USB Mass Storage Firmware Upgrade ToolVer3, 1, 7, 6",
     L"Torvane USB Mass Storage Firmware Upgrade ToolVer3, 1, 7, 6"},
};

class Win32DialogTexts : public Win32DialogSetters, public ::testing::WithParamInterface<TextCase> {};

TEST_P(Win32DialogTexts, StatusLineReadsWhatWasSet) {
    m_dialog.setStatusText("something else first");
    m_dialog.setStatusText(GetParam().utf8);
    EXPECT_EQ(status(), GetParam().shown);
}

TEST_P(Win32DialogTexts, CaptionReadsWhatWasSet) {
    m_dialog.setCaption(GetParam().utf8);
    EXPECT_EQ(textOf(m_window), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(Texts, Win32DialogTexts, ::testing::ValuesIn(kTexts),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- progress ----

struct ProgressCase {
    const char* name;
    int low, high, step, position;
    int shownPosition;  // the control keeps its position inside the range
};

const ProgressCase kProgress[] = {
    {"Start", 0, 100, 1, 0, 0},
    {"Ten", 0, 100, 1, 10, 10},
    {"Done", 0, 100, 1, 100, 100},
    {"BeyondTheEnd", 0, 100, 1, 150, 100},
    {"WideRange", -50, 5000, 7, 2500, 2500},
};

class Win32DialogProgress : public Win32DialogSetters, public ::testing::WithParamInterface<ProgressCase> {};

TEST_P(Win32DialogProgress, BarHoldsRangeStepAndPosition) {
    const ProgressCase& c = GetParam();
    m_dialog.setProgressRange(c.low, c.high, c.step);
    m_dialog.setProgressPosition(c.position);
    const PBRANGE range = progressRange(m_window);
    EXPECT_EQ(range.iLow, c.low);
    EXPECT_EQ(range.iHigh, c.high);
    EXPECT_EQ(::SendDlgItemMessageW(m_window, QUIB_IDC_PROGRESS, PBM_GETSTEP, 0, 0), c.step);
    EXPECT_EQ(progressPosition(m_window), c.shownPosition);
}

INSTANTIATE_TEST_SUITE_P(Progress, Win32DialogProgress, ::testing::ValuesIn(kProgress),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- colours ----

struct ColourCase {
    const char* name;
    std::uint32_t colour;
};

const ColourCase kColours[] = {
    {"Red", rgb(255, 0, 0)},
    {"Green", rgb(0, 150, 75)},
    {"FailRed", rgb(255, 50, 50)},
    {"Black", rgb(0, 0, 0)},
};

class Win32DialogColours : public Win32DialogSetters, public ::testing::WithParamInterface<ColourCase> {};

TEST_P(Win32DialogColours, StatusLineIsPaintedInTheTextColourOnTheButtonFace) {
    m_dialog.setStatusTextColour(GetParam().colour);
    const StatusColours colours = statusColours(m_window);
    EXPECT_EQ(colours.text, GetParam().colour);
    EXPECT_EQ(colours.background, ::GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(colours.brush, ::GetSysColorBrush(COLOR_BTNFACE));
}

TEST_P(Win32DialogColours, BarTakesTheColour) {
    m_dialog.setProgressBarColour(GetParam().colour);
    EXPECT_EQ(
        static_cast<COLORREF>(::SendDlgItemMessageW(m_window, QUIB_IDC_PROGRESS, PBM_GETBARCOLOR, 0, 0)),
        GetParam().colour);
}

INSTANTIATE_TEST_SUITE_P(Colours, Win32DialogColours, ::testing::ValuesIn(kColours),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Win32DialogSetters, MinusOneMeansTheSystemsButtonTextColour) {
    m_dialog.setStatusTextColour(rgb(255, 0, 0));
    m_dialog.setStatusTextColour(0xFFFFFFFF);
    EXPECT_EQ(statusColours(m_window).text, ::GetSysColor(COLOR_BTNTEXT));
}

TEST_F(Win32DialogSetters, StatusLineStartsInTheSystemsButtonTextColour) {
    EXPECT_EQ(statusColours(m_window).text, ::GetSysColor(COLOR_BTNTEXT));
}

TEST_F(Win32DialogSetters, OnlyTheStatusLineTakesTheTextColour) {
    m_dialog.setStatusTextColour(rgb(255, 0, 0));
    HDC dc = ::CreateCompatibleDC(nullptr);
    ::SendMessageW(m_window, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                   reinterpret_cast<LPARAM>(::GetDlgItem(m_window, QUIB_IDC_START)));
    const COLORREF text = ::GetTextColor(dc);
    ::DeleteDC(dc);
    EXPECT_NE(text, rgb(255, 0, 0));
}

// ---- the summary ----

struct SummaryCase {
    const char* name;
    std::vector<std::string> lines;
    std::wstring shown;
};

const SummaryCase kSummaries[] = {
    {"None", {}, L"Success! Please Relink the USB Device!"},
    {"One",
     {"Bridge 0 (PhysicalDrive 3): updated"},
     L"Success! Please Relink the USB Device!\r\nBridge 0 (PhysicalDrive 3): updated"},
    {"Two",
     {"Bridge 0: updated", "Bridge 1: failed: Reload fail."},
     L"Success! Please Relink the USB Device!\r\nBridge 0: updated\r\nBridge 1: failed: Reload fail."},
};

class Win32DialogSummary : public Win32DialogSetters, public ::testing::WithParamInterface<SummaryCase> {};

TEST_P(Win32DialogSummary, LinesFollowTheStatusText) {
    m_dialog.setStatusText("Success! Please Relink the USB Device!");
    m_dialog.showSummary(GetParam().lines);
    EXPECT_EQ(status(), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(Summary, Win32DialogSummary, ::testing::ValuesIn(kSummaries),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quib::platform
