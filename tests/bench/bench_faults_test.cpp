// Injected faults: the n-th command of a kind, enumeration, read-back corruption, power loss, a chip that
// never comes back, a vetoed eject.
#include <gtest/gtest.h>

#include "bench/bridge/firmware_image.h"
#include "bench_test_support.h"

namespace bench::testing {
namespace {

std::shared_ptr<Bench> benchWithFaults(nlohmann::json faults,
                                       nlohmann::json bridge = nlohmann::json::object()) {
    bridge["id"] = "b0";
    auto json = benchWithBridges({bridge, {{"id", "b1"}}});
    json["faults"] = std::move(faults);
    return Bench::fromJson(json);
}

TEST(Faults, TheNthCommandOfAKindFailsAsAControlOperation) {
    auto b = benchWithFaults(
        {{{"kind", "command"}, {"opcode", "0xE4"}, {"nth", 2}, {"times", 2}, {"error", 1167}}});
    const Target t = disk(*b, 1);
    std::vector<bool> ok;
    for (int i = 0; i < 5; ++i) ok.push_back(send(*b, t, registerRead(0x07F0, 7)).outcome.controlOk);
    EXPECT_EQ(ok, (std::vector<bool>{true, false, false, true, true}));
    const auto trace = b->trace();
    ASSERT_EQ(trace.size(), 5u);
    EXPECT_FALSE(trace[1].controlOk);
    EXPECT_EQ(trace[1].systemError, 1167u);
    // Other kinds are not counted.
    EXPECT_TRUE(send(*b, t, inquiry38()).outcome.controlOk);
}

TEST(Faults, ARegisterFaultOnlyCountsAccessesCoveringThatRegister) {
    auto b = benchWithFaults({{{"kind", "command"},
                               {"opcode", "0xE4"},
                               {"register", "0xCA03"},
                               {"as", "check_condition"},
                               {"times", 0}}});
    const Target t = disk(*b, 1);
    EXPECT_EQ(send(*b, t, registerRead(0x07F0, 7)).outcome.scsiStatus, 0);
    const auto covering = send(*b, t, registerRead(0xCA02, 2));
    EXPECT_TRUE(covering.outcome.controlOk);
    EXPECT_EQ(covering.outcome.scsiStatus, kStatusCheckCondition);
    EXPECT_EQ(send(*b, t, registerRead(0xCA03, 1)).outcome.scsiStatus,
              kStatusCheckCondition);  // times 0: every one
}

TEST(Faults, AFaultNamingABridgeSparesTheOthers) {
    auto b = benchWithFaults({{{"kind", "command"}, {"opcode", "0x12"}, {"bridge", "b1"}}});
    EXPECT_TRUE(send(*b, disk(*b, 1), inquiry38()).outcome.controlOk);
    EXPECT_FALSE(send(*b, disk(*b, 2), inquiry38()).outcome.controlOk);
}

TEST(Faults, APortThatFailsEnumerationShowsNoDeviceAndNoDisk) {
    auto b = benchWithFaults({{{"kind", "enumeration"}, {"bridge", "b0"}}});
    const Target hub = openPath(*b, "\\\\.\\" + b->description().hubs[0].name);
    std::uint32_t error = 0;
    EXPECT_EQ(b->connection(hub, 1, error)->status, ConnectionEntry::Status::FailedEnumeration);
    EXPECT_EQ(b->connection(hub, 2, error)->status, ConnectionEntry::Status::Connected);
    EXPECT_FALSE(b->open("\\\\.\\PHYSICALDRIVE1", error));
    EXPECT_EQ(b->diskNumbersPresent(), (std::vector<int>{0, 2}));
}

TEST(Faults, ReadBackCorruptionFlipsOneByteOfTheNthRead) {
    auto b = benchWithFaults({{{"kind", "readback_corrupt"}, {"offset", 130}, {"nth", 2}}});
    const Target t = disk(*b, 1);
    const auto first = send(*b, t, firmwareRead(0, 1000)).data;
    const auto second = send(*b, t, firmwareRead(0, 1000)).data;
    const auto third = send(*b, t, firmwareRead(0, 1000)).data;
    EXPECT_EQ(first, third);
    ASSERT_NE(first, second);
    EXPECT_EQ(second[130], first[130] ^ 0xFF);
    for (std::size_t i = 0; i < first.size(); ++i)
        if (i != 130) {
            ASSERT_EQ(first[i], second[i]);
        }
}

TEST(Faults, PowerLostPartWayThroughAWriteLeavesAPartialStreamAndRomCode) {
    auto b = benchWithFaults({{{"kind", "power_loss"}, {"after_bytes", 70000}}}, {{"restart_delay_ms", 100}});
    const Target t = disk(*b, 1);
    const auto stream = buildStream(makeImage("131112910000", 100000), 0x4B, false);
    const auto first = send(*b, t, firmwareWrite(0, 65536),
                            std::vector<std::uint8_t>(stream.begin(), stream.begin() + 65536));
    EXPECT_TRUE(first.outcome.controlOk);
    const auto second = send(*b, t, firmwareWrite(0, static_cast<std::uint32_t>(stream.size() - 65536)),
                             std::vector<std::uint8_t>(stream.begin() + 65536, stream.end()));
    EXPECT_FALSE(second.outcome.controlOk);
    EXPECT_FALSE(b->bridgeStatus("b0").onBus);
    b->sleepMs(100);
    const auto status = b->bridgeStatus("b0");
    EXPECT_TRUE(status.onBus);
    EXPECT_TRUE(status.romCode);
    b->withChip("b0", [](BridgeChip& chip) { EXPECT_EQ(chip.firmwareBank(0).size(), 70000u); });
    // It happens once: a second write goes through.
    writeStreamInPieces(*b, disk(*b, status.diskNumber), 0, stream);
}

TEST(Faults, AChipThatNeverComesBackStaysOffUntilReplugged) {
    auto b = benchWithFaults({{{"kind", "never_returns"}, {"bridge", "b0"}}}, {{"restart_delay_ms", 10}});
    send(*b, disk(*b, 1), cpuReset());
    b->sleepMs(3600 * 1000);
    EXPECT_FALSE(b->bridgeStatus("b0").onBus);
    EXPECT_TRUE(b->bridgeStatus("b0").stuckOff);
    b->replug("b0");
    EXPECT_TRUE(b->bridgeStatus("b0").onBus);
    EXPECT_EQ(b->bridgeStatus("b0").diskNumber, 3);
}

TEST(Faults, EjectCanBeVetoed) {
    auto b = benchWithFaults({{{"kind", "eject_veto"}, {"bridge", "b0"}, {"times", 2}}});
    const std::string instance = b->names().bridges[0].instanceId;
    std::uint32_t error = 0;
    EXPECT_FALSE(b->requestEject(instance, error));
    EXPECT_FALSE(b->requestEject(instance, error));
    EXPECT_TRUE(b->requestEject(instance, error));
    EXPECT_FALSE(b->open("\\\\.\\PHYSICALDRIVE1", error));
    EXPECT_TRUE(b->bridgeStatus("b0").ejected);
}

}  // namespace
}  // namespace bench::testing
