// The pauses of a PD/MCU update, measured on the bench's virtual clock between the commands, message boxes
// and log lines they separate.
#include "tests/pdupdate/pd_test_support.h"

namespace devcore_test {
namespace {

// The bench keeps log lines without their time: a sink of this test notes the clock for each.
struct TimedLine {
    std::uint64_t ms;
    std::string text;
};
std::shared_ptr<bench::Bench> g_timedBench;
std::vector<TimedLine> g_timedLines;

void timedSink(std::string_view line) {
    g_timedLines.push_back({g_timedBench->nowMs(), std::string(line)});
    g_timedBench->debugOutput(line);
}

class PdPauseTest : public PdTest {
  protected:
    void TearDown() override {
        quib::log::setSinks(nullptr, nullptr);  // the next bench installs its own
        g_timedBench.reset();
        g_timedLines.clear();
        PdTest::TearDown();
    }

    // The log lines of a run are timed.
    void onScanned() override {
        g_timedBench = m_bench;
        g_timedLines.clear();
        quib::log::setSinks(timedSink, nullptr);
    }

    // From the first command of `sub` to the bridge command after it.
    std::uint64_t pauseAfter(std::uint8_t sub) {
        const auto trace = bridgeTrace();
        for (std::size_t i = m_mark; i + 1 < trace.size(); ++i)
            if (trace[i].cdb[0] == 0xEC && trace[i].cdb[1] == sub)
                return trace[i + 1].timeMs - trace[i].timeMs;
        ADD_FAILURE() << "nothing after command " << int{sub};
        return 0;
    }
    // Moments of the run; each fails the test and reads 0 when it did not happen.
    std::uint64_t boxAt(const std::string& prefix) {
        for (const auto& box : benchRef().messageBoxes())
            if (box.text.starts_with(prefix)) return box.timeMs;
        ADD_FAILURE() << "no box " << prefix;
        return 0;
    }
    std::uint64_t logAt(const std::string& text) {
        for (const auto& line : g_timedLines)
            if (line.text.find(text) != std::string::npos) return line.ms;
        ADD_FAILURE() << "no log line " << text;
        return 0;
    }
    // The first bridge command after a moment.
    std::uint64_t commandAfter(std::uint64_t ms) {
        for (const auto& r : bridgeTrace())
            if (r.timeMs > ms) return r.timeMs;
        ADD_FAILURE() << "no command after " << ms;
        return 0;
    }
};

TEST_F(PdPauseTest, PausesAfterCommandsThePromptAndTheRelinkWait) {
    writeFiles();
    // A failed mode or bootloader command is tried again after 500 ms; the microcontroller is given 1000 ms
    // once it entered its bootloader.
    const json withMcu = {{"kind", 4}, {"mcu", true}};
    struct Case {
        json pd;
        const char *pdFile, *mcuFile;
        std::uint8_t sub;
        bool fails;
        std::uint64_t ms;
    };
    const Case cases[] = {
        {{{"kind", 1}}, "rt.bin", "", 0x00, true, 500},   {{{"kind", 2}}, "c2.cyacd", "", 0x22, true, 500},
        {{{"kind", 4}}, "c4.cyacd", "", 0x2D, true, 500}, {withMcu, "", "mcu.hex", 0x33, true, 500},
        {withMcu, "", "mcu.hex", 0x32, true, 500},        {withMcu, "", "mcu.hex", 0x32, false, 1000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pd.dump() + " " + std::to_string(c.sub));
        EXPECT_EQ(run(c.pd, c.pdFile, c.mcuFile, c.fails ? fault(c.sub, 1, 1) : json::array()), 0);
        EXPECT_EQ(pauseAfter(c.sub), c.ms);
    }

    // 2000 ms after the power-cycle prompt the wait is logged, 500 ms later the bridge is looked for.
    const std::string kReload = "Reload wheil()";
    EXPECT_EQ(run({{"kind", 4}}, "c4.cyacd", ""), 0);
    EXPECT_EQ(logAt(kReload) - boxAt(bench::kPowerCyclePrompt), 2000u);
    EXPECT_EQ(commandAfter(logAt(kReload)) - logAt(kReload), 500u);

    // The wait goes on while at most 40 s have passed, in 500 ms steps, and only then ends with -9.
    EXPECT_EQ(run({{"kind", 4}, {"user_power_cycles", false}}, "c4.cyacd", ""), -1);
    EXPECT_EQ(memberCode(), -9);
    EXPECT_EQ(boxAt("PO[0] Wait relink failed, Timeout") - commandAfter(logAt(kReload)), 40'500u);
}

}  // namespace
}  // namespace devcore_test
