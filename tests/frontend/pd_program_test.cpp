// Program runs with "/PD:" and "/MCU:": the controller behind the bridge first, then the bridge itself.
#include <gtest/gtest.h>

#include "bench/bench.h"
#include "bench/pd/pd_images.h"
#include "tests/frontend/program_runner.h"

namespace quib::frontend::testing {
namespace {

using Json = nlohmann::json;
using Bytes = std::vector<std::uint8_t>;

const std::string kOld = "12042391F000";
const std::string kNew = "131112910000";

ProgramBench pdBench(Json pd, Json faults = Json::array()) {
    Json b = bridge("a", kOld);
    b["uas"] = false;
    b["pd"] = std::move(pd);
    Json description = benchWith({b});
    description["faults"] = std::move(faults);
    return ProgramBench(description);
}

Bytes textBytes(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

struct PdSide {
    std::string version;
    std::uint32_t powerCycles = 0;
    Bytes mcu;
};
PdSide pdSide(const ProgramBench& b) {
    PdSide side;
    openBench(b)->withChip("a", [&](bench::BridgeChip& chip) {
        side.version = chip.pd()->runningVersionText();
        side.powerCycles = chip.pd()->powerCycles();
        side.mcu = chip.pd()->mcuFlash();
    });
    return side;
}

bool bridgeProgrammed(const ProgramBench& b) {
    for (const auto& r : openBench(b)->traceAll())
        if (r.cdb[0] == 0xE3) return true;
    return false;
}

TEST(ProgramPd, SilentPdUpdateOnEachKindThenTheBridge) {
    struct Case {
        int kind, mode;
    };
    for (const Case c : {Case{2, 1}, Case{4, 2}, Case{5, 2}}) {
        SCOPED_TRACE("kind " + std::to_string(c.kind) + " mode " + std::to_string(c.mode));
        Json pd = {{"kind", c.kind}};
        if (c.kind != 2) pd["device_mode"] = c.mode;
        ProgramBench bench = pdBench(pd);
        bench.writeToolFile("pd fw.cyacd",
                            textBytes(bench::cyacdText(
                                {.pdKind = c.kind, .deviceMode = c.mode, .version = "0A1B2C3D4E5F6071"})));
        EXPECT_EQ(runChecked(bench, {"/S", "/PD:pd fw.cyacd"}).exitCode, 0);
        EXPECT_EQ(pdSide(bench).version, "0A1B2C3D4E5F6071");
        EXPECT_EQ(pdSide(bench).powerCycles, 1u);
        EXPECT_EQ(openBench(bench)->bridgeStatus("a").runningVersion, kNew);
    }
}

TEST(ProgramPd, SilentRichTekAndMcuUpdates) {
    ProgramBench richTek = pdBench({{"kind", 1}, {"version", "0100"}});
    richTek.writeToolFile("rt.bin", bench::richTekImage("0203"));
    EXPECT_EQ(runChecked(richTek, {"/S", "/PD:rt.bin"}).exitCode, 0);
    EXPECT_EQ(pdSide(richTek).version, "0203");
    EXPECT_EQ(openBench(richTek)->bridgeStatus("a").runningVersion, kNew);

    ProgramBench mcu = pdBench({{"kind", 4}, {"mcu", true}});
    const bench::McuHexSpec spec{.bytes = 200};
    mcu.writeToolFile("mcu.hex", textBytes(bench::mcuHexText(spec)));
    EXPECT_EQ(runChecked(mcu, {"/S", "/MCU:mcu.hex"}).exitCode, 0);
    const Bytes expected = bench::mcuImageBytes(spec);
    const PdSide side = pdSide(mcu);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), side.mcu.begin()));
    EXPECT_EQ(openBench(mcu)->bridgeStatus("a").runningVersion, kNew);
}

TEST(ProgramPd, PdFailureEndsTheRunWithoutTouchingTheBridge) {
    // An image for the other device mode: not suitable, nothing programmed anywhere.
    ProgramBench mismatch = pdBench({{"kind", 4}, {"device_mode", 1}});
    mismatch.writeToolFile("m2.cyacd", textBytes(bench::cyacdText({.pdKind = 4, .deviceMode = 2})));
    EXPECT_EQ(runChecked(mismatch, {"/S", "/PD:m2.cyacd"}).exitCode, -3);
    EXPECT_FALSE(bridgeProgrammed(mismatch));
    EXPECT_EQ(openBench(mismatch)->bridgeStatus("a").runningVersion, kOld);

    // Programmed, but the user never power-cycles: the update ran and failed.
    ProgramBench stuck = pdBench({{"kind", 5}, {"user_power_cycles", false}});
    stuck.writeToolFile("c5.cyacd", textBytes(bench::cyacdText({.pdKind = 5})));
    EXPECT_EQ(runChecked(stuck, {"/S", "/PD:c5.cyacd", "/DBG:3"}).exitCode, -1);
    EXPECT_FALSE(bridgeProgrammed(stuck));
    EXPECT_NE(stuck.debugLog().find("Wait relink failed, Timeout"), std::string::npos);
}

TEST(ProgramPd, DialogRunsShowThePdStatusLinesAndErrorBoxes) {
    ProgramBench ok = pdBench({{"kind", 4}});
    ok.writeToolFile("c4.cyacd", textBytes(bench::cyacdText({.pdKind = 4})));
    EXPECT_EQ(runChecked(ok, {"/PD:c4.cyacd"}).exitCode, 0);
    std::vector<std::string> statuses;
    for (const auto& c : openBench(ok)->dialogCalls())
        if (c.op == "status") statuses.push_back(c.text);
    const auto at = std::find(statuses.begin(), statuses.end(), "Update PD/MCU...");
    ASSERT_NE(at, statuses.end());
    EXPECT_NE(std::find(at, statuses.end(), "Update KRV610x Firmware..."), statuses.end());
    const Json boxes = ok.messageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0]["text"], "Please power cycling Your [0 ]device!!!");

    ProgramBench bad = pdBench({{"kind", 4}, {"device_mode", 2}});
    bad.writeToolFile("c4.cyacd", textBytes(bench::cyacdText({.pdKind = 4, .deviceMode = 1})));
    EXPECT_EQ(runChecked(bad, {"/PD:c4.cyacd"}).exitCode, -3);
    bool failedLine = false;
    for (const auto& c : openBench(bad)->dialogCalls())
        failedLine = failedLine || c.text == "vUpdate PD/MCU Failed";
    EXPECT_TRUE(failedLine);
    const Json badBoxes = bad.messageBoxes();
    ASSERT_EQ(badBoxes.size(), 1u);
    EXPECT_EQ(badBoxes[0]["text"], "Configuration mismatch.");

    // A bridge without a controller behind it fails the version step.
    ProgramBench none(benchWith({bridge("a", kOld)}));
    none.writeToolFile("c4.cyacd", textBytes(bench::cyacdText({.pdKind = 4})));
    EXPECT_EQ(runChecked(none, {"/PD:c4.cyacd"}).exitCode, -1);
    EXPECT_EQ(none.messageBoxes()[0]["text"], "vShowPDVersion() fail");
    EXPECT_FALSE(bridgeProgrammed(none));
}

}  // namespace
}  // namespace quib::frontend::testing
