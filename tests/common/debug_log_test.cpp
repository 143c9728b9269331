#include "common/log/debug_log.h"

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

std::mutex g_capturedLock;
std::vector<std::string> g_narrow;
std::vector<std::wstring> g_wide;

void captureNarrow(std::string_view line) {
    std::lock_guard lock(g_capturedLock);
    g_narrow.emplace_back(line);
}
void captureWide(std::wstring_view line) {
    std::lock_guard lock(g_capturedLock);
    g_wide.emplace_back(line);
}

class DebugLogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        g_narrow.clear();
        g_wide.clear();
        quib::log::setSinks(captureNarrow, captureWide);
    }
    void TearDown() override {
        quib::log::setLevel(0);
        quib::log::setSinks(nullptr, nullptr);
    }
    static void writeAllThree() {
        LogMessage("%s:%d: m", "F", 1);
        LogWarning("%s:%d: w", "F", 2);
        LogError("%s:%d: e", "F", 3);
    }
};

TEST_F(DebugLogTest, LevelSelectsSeverities) {
    const struct {
        int level;
        std::vector<std::string> expected;
    } cases[] = {
        {0, {}},
        {-1, {}},
        {1, {"\r\nERR::F:3: e"}},
        {2, {"\r\nWRN::F:2: w", "\r\nERR::F:3: e"}},
        {3, {"\r\nMSG::F:1: m", "\r\nWRN::F:2: w", "\r\nERR::F:3: e"}},
        {9, {"\r\nMSG::F:1: m", "\r\nWRN::F:2: w", "\r\nERR::F:3: e"}},
    };
    for (const auto& c : cases) {
        g_narrow.clear();
        quib::log::setLevel(c.level);
        writeAllThree();
        EXPECT_EQ(g_narrow, c.expected) << "level " << c.level;
    }
}

TEST_F(DebugLogTest, DisabledSeverityDoesNotFormatItsArguments) {
    quib::log::setLevel(1);
    // A null %s argument would crash a formatter; a disabled writer must return before formatting.
    const char* volatile nothing = nullptr;
    LogMessage("%s", nothing);
    EXPECT_TRUE(g_narrow.empty());
}

TEST_F(DebugLogTest, LongTextIsCutToTheLineLimit) {
    quib::log::setLevel(3);
    const std::string text(5000, 'x');
    LogError("%s", text.c_str());
    ASSERT_EQ(g_narrow.size(), 1u);
    EXPECT_EQ(g_narrow[0].size(), 4095u);
    EXPECT_EQ(g_narrow[0].substr(0, 7), "\r\nERR::");
    EXPECT_EQ(g_narrow[0].find_first_not_of('x', 7), std::string::npos);

    const std::string fits(4088, 'y');
    LogError("%s", fits.c_str());
    EXPECT_EQ(g_narrow[1].size(), 4095u);
}

TEST_F(DebugLogTest, WideWritersUseTheSamePrefixesAndLimit) {
    quib::log::setLevel(2);
    LogWarning(L"%s:%d: %ls", "CKRV610xFWUpgDlg::OnInitDialog", 7, L"text");
    LogMessage(L"hidden");
    const std::wstring text(5000, L'z');
    LogError(L"%ls", text.c_str());
    ASSERT_EQ(g_wide.size(), 2u);
    EXPECT_EQ(g_wide[0], L"\r\nWRN::CKRV610xFWUpgDlg::OnInitDialog:7: text");
    EXPECT_EQ(g_wide[1].size(), 4095u);
    EXPECT_EQ(g_wide[1].substr(0, 7), L"\r\nERR::");
}

TEST_F(DebugLogTest, ConcurrentWritersProduceWholeLines) {
    quib::log::setLevel(3);
    constexpr int kPerThread = 200;
    auto writer = [](char c) {
        const std::string body(300, c);
        for (int i = 0; i < kPerThread; ++i) LogMessage("%s", body.c_str());
    };
    std::thread a(writer, 'a'), b(writer, 'b');
    a.join();
    b.join();
    ASSERT_EQ(g_narrow.size(), 2u * kPerThread);
    for (const auto& line : g_narrow) {
        const std::string body = line.substr(7);
        ASSERT_EQ(body.size(), 300u);
        EXPECT_EQ(body.find_first_not_of(body[0]), std::string::npos) << "interleaved line";
    }
}

}  // namespace
