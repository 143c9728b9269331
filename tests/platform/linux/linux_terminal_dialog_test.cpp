// The window and its message boxes on a terminal, as a terminal of a given width would show them.
#include "platform/linux/linux_terminal_dialog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>

#include "platform/linux/linux_process.h"
#include "platform/linux/linux_terminal_ui.h"

namespace {

using namespace quib::platform;

std::string readAll(std::FILE* f) {
    std::fflush(f);
    std::rewind(f);
    std::string text;
    char buf[256];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    return text;
}

// The rows a terminal `columns` wide shows after `bytes` (colours dropped, trailing blanks cut). It wraps
// as xterm does: a character written past the last column starts the next row.
std::vector<std::string> rowsShown(const std::string& bytes, std::size_t columns) {
    std::vector<std::string> rows(1);
    std::size_t row = 0, col = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '\r') {
            col = 0;
        } else if (c == '\n') {
            col = 0;
            if (++row == rows.size()) rows.emplace_back();
        } else if (c == '\033') {
            const std::size_t end = bytes.find_first_of("Km", i + 2);
            if (bytes[end] == 'K') rows[row].clear();
            i = end;
        } else {
            if (col == columns) {
                col = 0;
                if (++row == rows.size()) rows.emplace_back();
            }
            if (rows[row].size() <= col) rows[row].resize(col + 1, ' ');
            rows[row][col++] = c;
        }
    }
    for (auto& r : rows) r.erase(r.find_last_not_of(' ') + 1);
    if (rows.back().empty()) rows.pop_back();
    return rows;
}

// Ticks handed out by the test; step() returns once the ticker has drawn and waits again.
struct HandTicks {
    std::mutex lock;
    std::condition_variable changed;
    int requested = 0, entered = 0;
    bool cancelled = false;

    void step() {
        std::unique_lock l(lock);
        ++requested;
        changed.notify_all();
        // A ticker that never draws fails here instead of hanging the run.
        ASSERT_TRUE(
            changed.wait_for(l, std::chrono::seconds(30), [&] { return entered > requested || cancelled; }));
    }

    struct Source final : TickSource {
        std::shared_ptr<HandTicks> hand;
        bool waitForTick() override {
            std::unique_lock l(hand->lock);
            const int served = hand->entered++;
            hand->changed.notify_all();
            hand->changed.wait(l, [&] { return hand->requested > served || hand->cancelled; });
            return !hand->cancelled;
        }
        void cancel() override {
            std::lock_guard l(hand->lock);
            hand->cancelled = true;
            hand->changed.notify_all();
        }
    };
};

using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;
File tempFile() {
    return File(std::tmpfile(), &std::fclose);
}

class TerminalWindow : public ::testing::Test {
  protected:
    TerminalDialogClock clock() {
        return {[this] { return m_nowMs.load(); },
                [this]() -> std::unique_ptr<TickSource> {
                    auto source = std::make_unique<HandTicks::Source>();
                    source->hand = m_ticks;
                    return source;
                }};
    }
    std::vector<std::string> shown() { return rowsShown(readAll(m_out.get()), m_columns); }
    void runTheUpdate(LinuxTerminalDialog& dialog) {
        dialog.setCaption("Torvane USB Mass Storage Firmware Upgrade ToolVer3, 1, 7, 6");
        dialog.setStatusText(" ");
        dialog.setStatusTextColour(rgb(255, 0, 0));
        dialog.setStatusText(" On going ");
        dialog.setProgressRange(0, 100, 1);
        dialog.setProgressPosition(0);
        dialog.setProgressBarColour(rgb(0, 150, 75));
        dialog.setProgressPosition(10);
        dialog.setStatusText("Update KRV610x Firmware...");
    }

    std::size_t m_columns = 80;
    File m_out = tempFile();
    std::atomic<std::uint64_t> m_nowMs{0};
    std::shared_ptr<HandTicks> m_ticks = std::make_shared<HandTicks>();
    TerminalScreen m_screen{m_out.get(), true, [this] { return static_cast<int>(m_columns); }};
};

TEST_F(TerminalWindow, EveryRedrawFitsTheWidthSoOneStatusLineStands) {
    const std::string caption = "Torvane USB Mass Storage Firmware Upgrade ToolVer3, 1, 7, 6";
    const struct {
        std::size_t columns;
        std::vector<std::string> rows;
    } cases[] = {
        // The bar narrows first.
        {80, {caption, "Success! Please Relink the USB Device! [" + std::string(28, '#') + "] 100% 0:07"}},
        // Then it goes, and then the elapsed time; the status text is cut last.
        {40,
         {caption.substr(0, 40), caption.substr(40), "Update KRV610x Firmware...  10% 0:07",
          "Success! Please Relink the USB Dev 100%"}},
        {20, {caption.substr(0, 20), caption.substr(20, 20), caption.substr(40), "Success! Pleas 100%"}},
    };
    for (const auto& c : cases) {
        m_columns = c.columns;
        File out = tempFile();
        TerminalScreen screen(out.get(), true, [&] { return static_cast<int>(c.columns); });
        LinuxTerminalDialog dialog(nullptr, screen, {[this] { return m_nowMs.load(); }, nullptr});
        runTheUpdate(dialog);
        m_nowMs = 7000;
        dialog.setProgressPosition(10);
        if (c.columns == 40) screen.endLine();  // keeps this redraw in view
        dialog.setStatusText("Success! Please Relink the USB Device!");
        dialog.setProgressPosition(100);
        EXPECT_EQ(rowsShown(readAll(out.get()), c.columns), c.rows) << c.columns;
        m_nowMs = 0;
    }
}

TEST_F(TerminalWindow, MessageBoxesStandOnLinesOfTheirOwnAboveTheStatusLine) {
    LinuxTerminalDialog dialog(nullptr, m_screen, {});
    LinuxTerminalUi ui(nullptr, m_screen);
    runTheUpdate(dialog);
    ui.messageBox("Reload fail.", "Error", kMbOk | kMbIconError);
    const std::vector<std::string> rows = {
        "Torvane USB Mass Storage Firmware Upgrade ToolVer3, 1, 7, 6", "[Error]", "Reload fail.",
        "Update KRV610x Firmware... [###...........................]  10%"};
    EXPECT_EQ(shown(), rows);
}

TEST_F(TerminalWindow, WhileTheBarStandsStillTheTimeGoesOnUntilTheWindowEnds) {
    LinuxTerminalDialog dialog(nullptr, m_screen, clock());
    runTheUpdate(dialog);
    m_nowMs = 42'000;
    m_ticks->step();
    EXPECT_EQ(shown().back(), "Update KRV610x Firmware... [###...........................]  10% 0:42");
    m_nowMs = 61'000;
    m_ticks->step();
    EXPECT_EQ(shown().back(), "Update KRV610x Firmware... [###...........................]  10% 1:01");
    EXPECT_EQ(shown().size(), 2u);

    dialog.setStatusText("Success! Please Relink the USB Device!");
    dialog.setProgressPosition(100);
    m_columns = 40;  // the final line is kept whole: it is never redrawn, so it may wrap
    dialog.showSummary({"PhysicalDrive 1: serial \033[2J, updated"});
    EXPECT_TRUE(m_ticks->cancelled);
    EXPECT_EQ(dialog.showUntilClosed(), kIdOk);
    const std::string bytes = readAll(m_out.get());
    EXPECT_EQ(
        bytes.substr(bytes.rfind('\r')),
        "\r\033[2K\033[38;2;255;0;0mSuccess! Please Relink the USB Device!\033[0m [\033[38;2;0;150;75m" +
            std::string(30, '#') + "\033[0m] 100% 1:01\nPhysicalDrive 1: serial ?[2J, updated\n");
}

TEST_F(TerminalWindow, EveryEndLeavesTheCursorOnAFreshLine) {
    for (const bool interrupted : {false, true}) {
        m_ticks = std::make_shared<HandTicks>();
        File out = tempFile();
        TerminalScreen screen(out.get(), true, [] { return 80; });
        std::string bytes;
        {
            LinuxTerminalDialog dialog(nullptr, screen, clock());
            dialog.setStatusText("Update KRV610x Firmware...");
            if (interrupted) {
                runInterruptCleanupForTest();  // what the signal handler does before the process dies
                bytes = readAll(out.get());
            }
        }  // std::exit destroys the backend and its window
        if (!interrupted) bytes = readAll(out.get());
        EXPECT_EQ(bytes.back(), '\n') << interrupted;
        EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), 1) << interrupted;
    }
}

}  // namespace
