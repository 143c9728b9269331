// Every way the bench can fail one bridge's update, against the one rule that matters to a production
// line: an update reported as done is done. A zero result must find the new stream in the bank and, with
// the relink after the update on (as shipped), the bridge running it.
#include <gtest/gtest.h>

#include "tests/fwupdate/update_test_support.h"

namespace devcore_test {
namespace {

const std::string kOld = "12042391F000";
const std::string kNew = "131112910000";
constexpr std::size_t kStreamLength = 60910;

struct FaultCase {
    std::string name;
    json fault;  // one fault, or an array of faults that strike together
    // Why the bridge may run the new image although the update failed; empty: it must not.
    std::string newImageDespiteFailure;
    json bridgeExtra = json::object();  // the bridge's state when the update starts
};

json command(std::uint8_t opcode, std::uint32_t times, bool checkCondition = false) {
    json f = {{"kind", "command"}, {"opcode", opcode}, {"bridge", "b"}, {"times", times}};
    if (checkCondition) f["as"] = "check_condition";
    return f;
}

std::vector<FaultCase> matrix() {
    std::vector<FaultCase> cases;
    const std::pair<std::uint8_t, const char*> commands[] = {{0xE0, "configuration read"},
                                                             {0xE1, "configuration write"},
                                                             {0xE3, "firmware write"},
                                                             {0xE2, "firmware read-back"},
                                                             {0xE4, "register read"},
                                                             {0xE5, "register write"},
                                                             {0xE8, "restart"},
                                                             {0x12, "INQUIRY"}};
    for (const auto& [opcode, what] : commands) {
        for (const bool check : {false, true}) {
            const std::string as = check ? " (device status)" : " (control failure)";
            FaultCase first{std::string(what) + " fails the first time" + as, command(opcode, 1, check), ""};
            FaultCase every{std::string(what) + " fails every time" + as, command(opcode, 0, check), ""};
            // A write that needed a retry is reported as failed, though the bridge holds the stream.
            if (opcode == 0xE3) first.newImageDespiteFailure = "a write that succeeded only on a retry";
            // The signature's first byte is not judged (only the second write's result counts): the
            // bridge restarts into the new image but cannot be found again by its signature.
            if (opcode == 0xE5) first.newImageDespiteFailure = "the relink signature was left incomplete";
            // The bridge restarts into the new image, but INQUIRY never proves it again.
            if (opcode == 0x12) every.newImageDespiteFailure = "the restarted bridge never answered INQUIRY";
            cases.push_back(first);
            cases.push_back(every);
        }
    }
    cases.push_back({"read-back corrupted on one pass", {{"kind", "readback_corrupt"}, {"bridge", "b"}}, ""});
    cases.push_back({"read-back corrupted on every pass",
                     {{"kind", "readback_corrupt"}, {"bridge", "b"}, {"times", 0}},
                     ""});
    cases.push_back({"bridge never comes back", {{"kind", "never_returns"}, {"bridge", "b"}}, ""});
    // Two faults together, each harmless alone, that once made a restart that never happened count.
    cases.push_back({"stale relink signature and its first read failing",
                     json::array({command(0xE4, 1, true)}),
                     "",
                     {{"registers", {{"0xCA02", "0x01"}, {"0xCA03", "0x00"}}}}});
    cases.push_back({"restart unseen by the chip and the probe after it failing",
                     json::array({command(0xE8, 1), command(0x12, 1)}), ""});
    for (const std::size_t at : {std::size_t{0}, std::size_t{1000}, std::size_t{30000}, kStreamLength - 1})
        cases.push_back({"power lost after " + std::to_string(at) + " bytes of the stream",
                         {{"kind", "power_loss"}, {"bridge", "b"}, {"after_bytes", at}},
                         // Lost in the four zero bytes at the end, the image, signature and checksum are
                         // all in: the chip boots them.
                         at >= kStreamLength - 4 ? "power was lost after the image was complete" : ""});
    return cases;
}

class FaultMatrix : public UpdateTest, public ::testing::WithParamInterface<FaultCase> {
  protected:
    // A bench whose fault strikes during the update: a command fault counts the commands of the scan too,
    // so the n-th command is counted from the first one after the scan.
    void scanWithFault(const json& fault, const json& bridgeExtra = json::object()) {
        json state = {{"restart_delay_ms", 500}};
        state.update(bridgeExtra);
        json faults = fault.is_array() ? fault : json::array({fault});
        scanBridges({bridge("b", state)});
        for (json& f : faults) {
            if (f.value("kind", "") != "command") continue;
            std::uint32_t during = 0;
            for (const auto& r : bridgeTrace()) during += r.cdb[0] == f["opcode"].get<int>() ? 1 : 0;
            f["nth"] = during + 1;
        }
        scanBridges({bridge("b", state)}, 0, {{"faults", faults}});
    }
};

TEST_P(FaultMatrix, NoFalseSuccess) {
    const FaultCase& c = GetParam();
    scanWithFault(c.fault, c.bridgeExtra);
    const auto exchange = exchangeFor(writeImage("131112_91_00_00.bin", kNew));
    const int result = QuibUSBLib_Function_vUpdateFirmware(0, exchange.get(), 0);

    const auto status = benchRef().bridgeStatus("b");
    const bool holdsNew = bank("b", 0) == streamOf(kNew);
    const bool runsNew = status.runningVersion == kNew;
    if (result == 0) {
        EXPECT_TRUE(holdsNew) << c.name;
        EXPECT_TRUE(runsNew) << c.name;
        return;
    }
    // A failure is said in the log, naming the step.
    bool named = false;
    for (const char* step :
         {"Can not Update Firmware !", "Reset fail !", "vWrRdConfiguration", "vCreateConfigRomFile",
          "CreateFile Fail", "MEMCMP failed", "vCustomizedCheck failed"})
        named = named || debugContains(step);
    EXPECT_TRUE(named) << c.name << " gave " << result << " without naming the step";
    if (runsNew) {
        EXPECT_FALSE(c.newImageDespiteFailure.empty()) << c.name << " runs the new image yet gave " << result;
    }
}

// The double faults again, on a restart alone (no version is checked after it): a restart that was not
// proven is a failure, whatever signature the bridge carries.
TEST_F(FaultMatrix, RestartThatIsNotProvenFails) {
    for (const FaultCase& c : matrix()) {
        if (!c.fault.is_array()) continue;
        scanWithFault(c.fault, c.bridgeExtra);
        EXPECT_EQ(QuibUSBLib_Function_CPUSpeedRelink(0, 0), -7) << c.name;
        EXPECT_EQ(benchRef().bridgeStatus("b").restarts, 0u) << c.name;
    }
}

class PowerLoss : public FaultMatrix {};

TEST_P(PowerLoss, ASecondUpdateBringsTheNewImage) {
    const FaultCase& c = GetParam();
    scanWithFault(c.fault);
    const auto exchange = exchangeFor(writeImage("131112_91_00_00.bin", kNew));
    EXPECT_NE(QuibUSBLib_Function_vUpdateFirmware(0, exchange.get(), 0), 0);
    benchRef().sleepMs(1000);  // the bridge comes back, in its ROM code unless the image was complete
    ASSERT_EQ(QuibUSBLib_Function_vScanUSBPort(m_list.get(), "0", 0), 0);
    ASSERT_EQ(QuibUSBLib_Function_vUpdateFirmware(0, exchange.get(), 0), 0) << c.name;
    EXPECT_EQ(bank("b", 0), streamOf(kNew));
    EXPECT_EQ(benchRef().bridgeStatus("b").runningVersion, kNew);
}

std::vector<FaultCase> powerLosses() {
    std::vector<FaultCase> cases;
    for (const auto& c : matrix())
        if (c.fault.is_object() && c.fault.value("kind", "") == "power_loss") cases.push_back(c);
    return cases;
}

INSTANTIATE_TEST_SUITE_P(EveryFault, FaultMatrix, ::testing::ValuesIn(matrix()),
                         [](const ::testing::TestParamInfo<FaultCase>& info) {
                             std::string name;
                             for (char ch : info.param.name)
                                 if (std::isalnum(static_cast<unsigned char>(ch))) name += ch;
                             return name;
                         });
INSTANTIATE_TEST_SUITE_P(EveryOffset, PowerLoss, ::testing::ValuesIn(powerLosses()),
                         [](const ::testing::TestParamInfo<FaultCase>& info) {
                             return "after" + info.param.fault["after_bytes"].dump() + "bytes";
                         });

}  // namespace
}  // namespace devcore_test
