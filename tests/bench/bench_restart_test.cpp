// Chip restart: drop off the bus, return after the delay on the virtual clock under a new number, keep the
// relink signature, boot what bank 0 holds.
#include <gtest/gtest.h>

#include "bench/bridge/firmware_image.h"
#include "bench/hex_text.h"
#include "bench_test_support.h"

namespace bench::testing {
namespace {

std::uint32_t diskCount(Bench& bench) {
    const auto v = bench.readRegistry(kDiskEnumKey, "Count");
    if (!v || v->type != 4) return 0xFFFFFFFF;
    return v->data[0] | (v->data[1] << 8);
}

std::string versionRegister(Bench& bench, const Target& t) {
    const auto r = send(bench, t, registerRead(0x07F0, 7));
    return toUpper(hexBytes(std::span(r.data).first(6)));
}

class Restart : public ::testing::Test {
  protected:
    void SetUp() override {
        bench =
            Bench::fromJson(benchWithBridges({{{"id", "b0"}, {"restart_delay_ms", 3000}}, {{"id", "b1"}}}));
    }
    std::shared_ptr<Bench> bench;
};

TEST_F(Restart, DropsOffReturnsAfterTheDelayUnderTheNextNumberAndKeepsTheSignature) {
    const Target before = disk(*bench, 1);
    ASSERT_EQ(diskCount(*bench), 3u);
    send(*bench, before, registerWrite(0xCA02, 1));
    send(*bench, before, registerWrite(0xCA03, 5));
    send(*bench, before, registerWrite(0x9002, 0x33));  // an ordinary register: reset by the restart
    ASSERT_EQ(send(*bench, before, cpuReset()).outcome.scsiStatus, 0);

    std::uint32_t error = 0;
    EXPECT_FALSE(bench->open("\\\\.\\PHYSICALDRIVE1", error));
    EXPECT_EQ(error, 2u);
    EXPECT_EQ(diskCount(*bench), 2u);
    const auto gone = send(*bench, before, registerRead(0xCA02, 2));
    EXPECT_FALSE(gone.outcome.controlOk);
    EXPECT_EQ(gone.outcome.systemError, err::kDeviceNotConnected);

    bench->sleepMs(2999);
    EXPECT_FALSE(bench->open("\\\\.\\PHYSICALDRIVE1", error));
    EXPECT_FALSE(bench->open("\\\\.\\PHYSICALDRIVE3", error));
    bench->sleepMs(1);
    EXPECT_FALSE(bench->open("\\\\.\\PHYSICALDRIVE1", error));
    const Target after = disk(*bench, 3);  // one above the highest number used (b1 holds 2)
    EXPECT_EQ(diskCount(*bench), 3u);
    EXPECT_EQ(send(*bench, after, registerRead(0xCA02, 2)).data, (std::vector<std::uint8_t>{1, 5}));
    EXPECT_EQ(send(*bench, after, registerRead(0x9002, 1)).data[0], 2);
    EXPECT_EQ(versionRegister(*bench, after), "12042391F000");
    EXPECT_EQ(bench->bridgeStatus("b0").restarts, 1u);
    // A handle from before the restart does not reach the chip again.
    EXPECT_FALSE(send(*bench, before, registerRead(0xCA02, 2)).outcome.controlOk);
}

TEST_F(Restart, NumbersKeepClimbingOverRepeatedRestarts) {
    for (int expected : {3, 4, 5}) {
        const int current = bench->bridgeStatus("b0").diskNumber;
        send(*bench, disk(*bench, current), cpuReset());
        bench->sleepMs(3000);
        EXPECT_EQ(bench->bridgeStatus("b0").diskNumber, expected);
    }
}

TEST_F(Restart, ConfiguredToReuseItsNumber) {
    auto b = Bench::fromJson(benchWithBridges({{{"restart_number", "same"}, {"restart_delay_ms", 10}}}));
    send(*b, disk(*b, 1), cpuReset());
    b->sleepMs(10);
    EXPECT_EQ(b->bridgeStatus("bridge0").diskNumber, 1);
    EXPECT_EQ(b->bridgeStatus("bridge0").restarts, 1u);
}

TEST_F(Restart, BootsANewValidStreamAndReportsItsVersion) {
    const Target t = disk(*bench, 1);
    const auto stream = buildStream(makeImage("131112910000", 60902), 0x4B, false);
    writeStreamInPieces(*bench, t, 0, stream);
    EXPECT_EQ(versionRegister(*bench, t), "12042391F000");  // still running the old firmware
    send(*bench, t, cpuReset());
    bench->sleepMs(3000);
    const auto status = bench->bridgeStatus("b0");
    EXPECT_FALSE(status.romCode);
    EXPECT_EQ(status.runningVersion, "131112910000");
    EXPECT_EQ(versionRegister(*bench, disk(*bench, status.diskNumber)), "131112910000");
}

TEST_F(Restart, AnInvalidStreamLeavesTheChipInItsRomCodeWithAZeroVersion) {
    const Target t = disk(*bench, 1);
    auto stream = buildStream(makeImage("131112910000", 60902), 0x4B, false);
    stream[stream.size() - 5] ^= 0xFF;  // checksum
    writeStreamInPieces(*bench, t, 0, stream);
    send(*bench, t, cpuReset());
    bench->sleepMs(3000);
    const auto status = bench->bridgeStatus("b0");
    ASSERT_TRUE(status.onBus);
    EXPECT_TRUE(status.romCode);
    const Target rom = disk(*bench, status.diskNumber);
    EXPECT_EQ(versionRegister(*bench, rom), "000000000000");
    // The ROM code still answers the vendor commands, so the chip can be programmed again.
    EXPECT_EQ(send(*bench, rom, inquiry38()).data[37], 0x71);
}

TEST_F(Restart, ResetModesConfiguredForTheRomCodeSkipTheFirmware) {
    auto b = Bench::fromJson(benchWithBridges({{{"rom_reset_modes", {1}}, {"restart_delay_ms", 0}}}));
    send(*b, disk(*b, 1), cpuReset(1));
    EXPECT_TRUE(b->bridgeStatus("bridge0").romCode);
    send(*b, disk(*b, 2), cpuReset(0));
    EXPECT_FALSE(b->bridgeStatus("bridge0").romCode);
}

TEST_F(Restart, CdromBridgeReturnsUnderTheNextCdromNumber) {
    auto b = Bench::fromJson(benchWithBridges({{{"cdrom", true}, {"restart_delay_ms", 100}}}));
    const Target t = openPath(*b, "\\\\.\\CDROM0");
    EXPECT_EQ(send(*b, t, inquiry38()).data[0], 0x05);
    send(*b, t, cpuReset());
    b->sleepMs(100);
    EXPECT_EQ(b->bridgeStatus("bridge0").cdromNumber, 1);
    EXPECT_NO_THROW(openPath(*b, "\\\\.\\CDROM1"));
}

TEST_F(Restart, ABenchCreatedWithoutFirmwareStartsInRomCode) {
    auto b = Bench::fromJson(benchWithBridges({{{"firmware_version", ""}}}));
    EXPECT_TRUE(b->bridgeStatus("bridge0").romCode);
    EXPECT_EQ(b->bridgeStatus("bridge0").runningVersion, "");
}

}  // namespace
}  // namespace bench::testing
