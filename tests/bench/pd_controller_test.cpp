// The PD controller and microcontroller behind a bridge: every 0xEC sub-command byte for byte, the
// refusals, the preconditions and the erase semantics.
#include <gtest/gtest.h>

#include <algorithm>

#include "bench/pd/pd_images.h"
#include "pd_test_support.h"

namespace bench::testing {
namespace {

std::vector<std::uint8_t> bytes(std::size_t n, std::uint8_t seed) {
    std::vector<std::uint8_t> out(n);
    for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::uint8_t>(seed + i * 7);
    return out;
}

TEST(PdControl, ReplyCarriesMarkerKindAndMcu) {
    auto b = pdBench({{"kind", 4}, {"mcu", true}});
    const Target t = disk(*b, 1);
    ASSERT_TRUE(good(send(*b, t, pdInitI2c())));
    std::vector<std::uint8_t> expected(16, 0);
    expected[0] = 0x5A;
    expected[1] = 4;
    expected[8] = 1;
    EXPECT_EQ(send(*b, t, pdControl()).data, expected);

    auto plain = pdBench({{"kind", 7}, {"marker", false}});
    const Target p = disk(*plain, 1);
    send(*plain, p, pdInitI2c());
    expected.assign(16, 0);
    expected[1] = 7;
    EXPECT_EQ(send(*plain, p, pdControl()).data, expected);
}

TEST(PdControl, TheBusMustBeSetUpSinceTheBridgeLastBooted) {
    auto b = pdBench({{"kind", 1}}, {{"restart_delay_ms", 100}});
    Target t = disk(*b, 1);
    EXPECT_EQ(refusal(send(*b, t, pdControl())), 0x24);
    EXPECT_EQ(refusal(send(*b, t, rtVersion())), 0x24);
    EXPECT_TRUE(good(send(*b, t, pdInitI2c())));
    EXPECT_TRUE(good(send(*b, t, pdControl())));
    EXPECT_TRUE(good(send(*b, t, rtErase())));
    send(*b, t, cpuReset());
    b->sleepMs(100);
    t = disk(*b, b->bridgeStatus("b0").diskNumber);
    EXPECT_FALSE(snapshotPd(*b).i2cReady());
    EXPECT_FALSE(snapshotPd(*b).inFlashMode());
    EXPECT_EQ(refusal(send(*b, t, pdControl())), 0x24);
    send(*b, t, pdInitI2c());
    // Programming mode went with the restart.
    EXPECT_EQ(refusal(send(*b, t, rtWord(0, {1, 2, 3, 4}))), 0x24);
}

TEST(PdControl, UnknownSubCommandsAndBridgesWithoutControllerAnswerInvalidOpcode) {
    auto none = Bench::fromJson(benchWithBridges({{{"id", "b0"}}}));
    EXPECT_EQ(refusal(send(*none, disk(*none, 1), pdInitI2c())), 0x20);
    EXPECT_EQ(refusal(send(*none, disk(*none, 1), command({0xEC, 0x04}, 6, 0, 0))), 0x20);

    auto b = pdBench({{"kind", 1}});
    const Target t = disk(*b, 1);
    send(*b, t, pdInitI2c());
    EXPECT_EQ(refusal(send(*b, t, pdCommand(0x50, {}, 0, 0))), 0x20);
    EXPECT_EQ(refusal(send(*b, t, pdCommand(0x02, {}, 0, 0))), 0x20);
    // A length other than 8 is judged before the sub-command.
    EXPECT_EQ(refusal(send(*b, t, command({0xEC, 0x04}, 10, 0, 0))), 0x24);
}

TEST(PdControl, SubCommandsOfAnotherKindAreRefused) {
    auto b = pdBench({{"kind", 7}});
    const Target t = disk(*b, 1);
    send(*b, t, pdInitI2c());
    for (const auto& c : {rtVersion(), rtRead(0), rtErase(), ccgVersion(), ccg2FlashMode(), ccg2Read(0),
                          ccgDeviceMode(), ccg3Read(0), ccgFlashMode(), mcuBootloader(), mcuRead(0, 4)})
        EXPECT_EQ(refusal(send(*b, t, c)), 0x24) << int{c.cdb[1]};
    EXPECT_TRUE(good(send(*b, t, pdControl())));
    EXPECT_EQ(snapshotPd(*b).runningVersionText(), "");
}

TEST(RichTek, VersionReadEraseAndWordProgramming) {
    auto b = pdBench({{"kind", 1}, {"version", "12aB"}});
    const Target t = disk(*b, 1);
    send(*b, t, pdInitI2c());
    EXPECT_EQ(send(*b, t, rtVersion()).data, (std::vector<std::uint8_t>{0xAB, 0x12}));
    const auto factory = richTekImage("12AB");
    EXPECT_EQ(snapshotPd(*b).flash(), factory);
    const auto at4096 = send(*b, t, rtRead(4096));
    ASSERT_TRUE(good(at4096));
    EXPECT_EQ(at4096.data, std::vector<std::uint8_t>(factory.begin() + 4096, factory.begin() + 4128));
    EXPECT_EQ(send(*b, t, rtRead(0x3FE0)).data, std::vector<std::uint8_t>(factory.end() - 32, factory.end()));

    EXPECT_EQ(refusal(send(*b, t, rtWord(1, {1, 2, 3, 4}))), 0x24);  // not in programming mode
    ASSERT_TRUE(good(send(*b, t, rtErase())));
    EXPECT_EQ(snapshotPd(*b).flash(), std::vector<std::uint8_t>(kRichTekMtpSize, 0xFF));
    ASSERT_TRUE(good(send(*b, t, rtWord(1, {1, 2, 3, 4}))));
    ASSERT_TRUE(good(send(*b, t, rtWord(4095, {9, 8, 7, 6}))));
    auto first = std::vector<std::uint8_t>(32, 0xFF);
    std::copy_n(std::vector<std::uint8_t>{1, 2, 3, 4}.begin(), 4, first.begin() + 4);
    EXPECT_EQ(send(*b, t, rtRead(0)).data, first);
    EXPECT_EQ(send(*b, t, rtRead(0x3FE0)).data[31], 6);
    EXPECT_EQ(refusal(send(*b, t, rtWord(4096, {1, 1, 1, 1}))), 0x24);
    // The running version is read at power-up only.
    EXPECT_EQ(send(*b, t, rtVersion()).data, (std::vector<std::uint8_t>{0xAB, 0x12}));
    EXPECT_TRUE(snapshotPd(*b).writtenSinceBoot());
}

TEST(RichTek, MalformedCommandsAreRefusedAndChangeNothing) {
    auto b = pdBench({{"kind", 1}});
    const Target t = disk(*b, 1);
    send(*b, t, pdInitI2c());
    const auto before = snapshotPd(*b).flash();
    auto dataIn = [](ScsiCommand c, std::uint8_t d) {
        c.dataIn = d;
        return c;
    };
    auto length = [](ScsiCommand c, std::uint32_t n) {
        c.transferLength = n;
        return c;
    };
    auto cdbLength = [](ScsiCommand c, std::uint8_t n) {
        c.cdbLength = n;
        return c;
    };
    auto byte = [](ScsiCommand c, std::size_t at, std::uint8_t v) {
        c.cdb[at] = v;
        return c;
    };
    const std::vector<ScsiCommand> malformed = {
        cdbLength(rtErase(), 6),
        cdbLength(rtErase(), 12),
        dataIn(rtErase(), 1),
        dataIn(rtErase(), 2),
        byte(rtErase(), 5, 0xFE),
        byte(rtErase(), 4, 0),
        byte(rtErase(), 6, 1),
        byte(rtErase(), 7, 1),
        byte(rtErase(), 2, 1),
        length(rtErase(), 4),
        dataIn(rtRead(0), 0),
        length(rtRead(0), 64),
        rtRead(16),
        rtRead(0x4000),
        byte(rtRead(0), 7, 0x40),
        byte(rtRead(0), 2, 0),
        byte(rtRead(0), 6, 1),
        length(rtVersion(), 4),
        byte(rtVersion(), 7, 1),
        dataIn(pdInitI2c(), 1),
        byte(pdInitI2c(), 2, 1),
        length(pdControl(), 8),
        byte(pdControl(), 3, 1),
        byte(pdControl(), 2, 0),
        length(pdInitI2c(), 16),
    };
    for (std::size_t i = 0; i < malformed.size(); ++i)
        EXPECT_EQ(refusal(send(*b, t, malformed[i])), 0x24) << i;
    EXPECT_EQ(snapshotPd(*b).flash(), before);
    EXPECT_FALSE(snapshotPd(*b).inFlashMode());
    // The same commands well formed pass.
    for (const auto& c : {rtErase(), rtRead(0x3FE0), rtVersion(), pdInitI2c(), pdControl()})
        EXPECT_TRUE(good(send(*b, t, c))) << int{c.cdb[1]};
}

TEST(Ccg2, VersionReplyFlashModeAndRows) {
    auto b = pdBench({{"kind", 2}, {"version", "0a0b0c0d01020304"}});
    const Target t = disk(*b, 1);
    send(*b, t, pdInitI2c());
    const auto version = send(*b, t, ccgVersion()).data;
    EXPECT_EQ(std::vector<std::uint8_t>(version.begin() + 8, version.end()),
              (std::vector<std::uint8_t>{0x0A, 0x0B, 0x0C, 0x0D, 1, 2, 3, 4}));
    EXPECT_NE(std::vector<std::uint8_t>(version.begin(), version.begin() + 8),
              std::vector<std::uint8_t>(version.begin() + 8, version.end()));
    EXPECT_NE(std::count(version.begin(), version.begin() + 8, 0), 8);
    const auto versionRow = snapshotPd(*b).row(0x26);
    EXPECT_EQ(send(*b, t, ccg2Read(0x26)).data, versionRow);
    EXPECT_EQ(std::vector<std::uint8_t>(versionRow.begin(), versionRow.begin() + 8),
              (std::vector<std::uint8_t>{0x0A, 0x0B, 0x0C, 0x0D, 1, 2, 3, 4}));

    const auto row = bytes(128, 3);
    EXPECT_EQ(refusal(send(*b, t, ccg2Write(0x30), row)), 0x24);  // not in flash mode
    ASSERT_TRUE(good(send(*b, t, ccg2FlashMode())));
    ASSERT_TRUE(good(send(*b, t, ccg2Write(0xFF), row)));
    EXPECT_EQ(send(*b, t, ccg2Read(0xFF)).data, row);
    EXPECT_EQ(snapshotPd(*b).flash().size(), 256u * 128u);
    auto wrongRowHigh = ccg2Read(1);
    wrongRowHigh.cdb[3] = 1;
    EXPECT_EQ(refusal(send(*b, t, wrongRowHigh)), 0x24);
    EXPECT_EQ(refusal(send(*b, t, ccg3Read(1))), 0x24);
    EXPECT_EQ(refusal(send(*b, t, ccgDeviceMode())), 0x24);
    EXPECT_EQ(refusal(send(*b, t, ccgWrite(1, false), row)), 0x24);
    auto wrongLength = ccg2Write(1);
    wrongLength.transferLength = 0;
    EXPECT_EQ(refusal(send(*b, t, wrongLength)), 0x24);
}

TEST(Ccg2, ABlankFlashReadsZeros) {
    auto b = pdBench({{"kind", 2}, {"version", ""}});
    const Target t = disk(*b, 1);
    send(*b, t, pdInitI2c());
    EXPECT_EQ(send(*b, t, ccg2Read(0x26)).data, std::vector<std::uint8_t>(128, 0));
    EXPECT_EQ(snapshotPd(*b).runningVersionText(), "0000000000000000");
}

TEST(Ccg3, DeviceModeDecidesWhichVersionQueryAnswers) {
    for (int mode : {1, 2}) {
        auto b = pdBench({{"kind", 4}, {"device_mode", mode}, {"version", "1122334455667788"}});
        const Target t = disk(*b, 1);
        send(*b, t, pdInitI2c());
        EXPECT_EQ(send(*b, t, ccgDeviceMode()).data,
                  (std::vector<std::uint8_t>{static_cast<std::uint8_t>(mode)}));
        const auto answered = send(*b, t, mode == 1 ? ccgVersion() : ccgFw2Version());
        ASSERT_TRUE(good(answered));
        EXPECT_EQ(std::vector<std::uint8_t>(answered.data.begin() + 8, answered.data.end()),
                  (std::vector<std::uint8_t>{0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}));
        EXPECT_EQ(refusal(send(*b, t, mode == 1 ? ccgFw2Version() : ccgVersion())), 0x24);
        const std::size_t versionRow = mode == 1 ? 0x201 : 0x31;
        EXPECT_EQ(send(*b, t, ccg3Read(versionRow)).data[96], 0x11);
    }
}

TEST(Ccg3, RowsNeedFlashModeAndTheMetadataRowReadsBackStamped) {
    auto b = pdBench({{"kind", 4}});
    const Target t = disk(*b, 1);
    send(*b, t, pdInitI2c());
    const auto row = bytes(128, 11);
    EXPECT_EQ(refusal(send(*b, t, ccgWrite(0x3FF, false), row)), 0x24);
    ASSERT_TRUE(good(send(*b, t, ccgFlashMode())));
    ASSERT_TRUE(good(send(*b, t, ccgWrite(0x3FE, false), row)));
    EXPECT_EQ(send(*b, t, ccg3Read(0x3FE)).data, row);  // not the metadata row in device mode 1
    ASSERT_TRUE(good(send(*b, t, ccgWrite(0x3FF, false), row)));
    const auto metadata = send(*b, t, ccg3Read(0x3FF)).data;
    EXPECT_EQ(std::vector<std::uint8_t>(metadata.begin(), metadata.end() - 4),
              std::vector<std::uint8_t>(row.begin(), row.end() - 4));
    EXPECT_NE(std::vector<std::uint8_t>(metadata.end() - 4, metadata.end()),
              std::vector<std::uint8_t>(row.end() - 4, row.end()));
    // Writing back what was read still leaves a row that differs.
    ASSERT_TRUE(good(send(*b, t, ccgWrite(0x3FF, false), metadata)));
    EXPECT_NE(send(*b, t, ccg3Read(0x3FF)).data, metadata);

    EXPECT_EQ(refusal(send(*b, t, ccg3Read(0x400))), 0x24);
    EXPECT_EQ(refusal(send(*b, t, ccgWrite(0x400, false), row)), 0x24);
    EXPECT_EQ(refusal(send(*b, t, ccgWrite(2, true), bytes(256, 1))), 0x24);  // the CCG4 form
    EXPECT_EQ(refusal(send(*b, t, ccg2Read(2))), 0x24);
}

TEST(Ccg4, WritesRowsOf256Bytes) {
    auto b = pdBench({{"kind", 5}, {"device_mode", 2}, {"version", "0000000000000001"}});
    const Target t = disk(*b, 1);
    send(*b, t, pdInitI2c());
    EXPECT_EQ(send(*b, t, ccgDeviceMode()).data[0], 2);
    EXPECT_EQ(snapshotPd(*b).rowSize(), 256u);
    EXPECT_EQ(snapshotPd(*b).row(0x14)[231], 1);
    send(*b, t, ccgFlashMode());
    const auto row = bytes(256, 5);
    EXPECT_EQ(refusal(send(*b, t, ccgWrite(0x3FF, false), bytes(128, 5))), 0x24);
    ASSERT_TRUE(good(send(*b, t, ccgWrite(0x3FF, true), row)));
    EXPECT_EQ(snapshotPd(*b).row(0x3FF), row);  // no metadata stamping on a CCG4
    EXPECT_EQ(refusal(send(*b, t, ccg3Read(0x3FF))), 0x24);
}

TEST(Mcu, BootloaderProgrammingModeEraseAndBytes) {
    auto b = pdBench({{"kind", 1}, {"mcu", true}});
    const Target t = disk(*b, 1);
    send(*b, t, pdInitI2c());
    const auto factory = snapshotPd(*b).mcuFlash();
    ASSERT_EQ(factory.size(), kMcuFlashSize);
    EXPECT_EQ(send(*b, t, mcuRead(100, 12)).data,
              std::vector<std::uint8_t>(factory.begin() + 100, factory.begin() + 112));
    EXPECT_EQ(refusal(send(*b, t, mcuFlashMode())), 0x24);  // needs the bootloader
    EXPECT_EQ(refusal(send(*b, t, mcuWrite(0, 4), {1, 2, 3, 4})), 0x24);
    ASSERT_TRUE(good(send(*b, t, mcuBootloader())));
    EXPECT_TRUE(snapshotPd(*b).mcuInBootloader());
    EXPECT_EQ(refusal(send(*b, t, mcuWrite(0, 4), {1, 2, 3, 4})), 0x24);  // needs programming mode
    ASSERT_TRUE(good(send(*b, t, mcuFlashMode())));
    EXPECT_EQ(snapshotPd(*b).mcuFlash(), std::vector<std::uint8_t>(kMcuFlashSize, 0xFF));
    ASSERT_TRUE(good(send(*b, t, mcuWrite(49140, 12), bytes(12, 9))));
    EXPECT_EQ(send(*b, t, mcuRead(49140, 12)).data, bytes(12, 9));
    EXPECT_EQ(send(*b, t, mcuRead(0, 1)).data, std::vector<std::uint8_t>{0xFF});

    auto upper = mcuRead(0, 4);
    upper.cdb[2] = 0x09;
    auto reserved = mcuRead(0, 4);
    reserved.cdb[7] = 1;
    auto lengthMismatch = mcuRead(0, 4);
    lengthMismatch.transferLength = 5;
    for (const auto& c : {mcuRead(0, 13), mcuRead(0, 0), mcuRead(49141, 12), upper, reserved, lengthMismatch})
        EXPECT_EQ(refusal(send(*b, t, c)), 0x24);
    EXPECT_EQ(refusal(send(*b, t, mcuWrite(49150, 4), bytes(4, 1))), 0x24);

    auto none = pdBench({{"kind", 1}});
    send(*none, disk(*none, 1), pdInitI2c());
    EXPECT_EQ(refusal(send(*none, disk(*none, 1), mcuBootloader())), 0x24);
    EXPECT_TRUE(snapshotPd(*none).mcuFlash().empty());
}

TEST(Mcu, ABlankMcuSitsInItsBootloader) {
    auto b = pdBench({{"kind", 9}, {"mcu", {{"bootloader", true}}}});
    const Target t = disk(*b, 1);
    send(*b, t, pdInitI2c());
    EXPECT_TRUE(snapshotPd(*b).mcuInBootloader());
    EXPECT_EQ(send(*b, t, mcuRead(0, 12)).data, std::vector<std::uint8_t>(12, 0xFF));
    EXPECT_TRUE(good(send(*b, t, mcuFlashMode())));  // an unknown PD kind still passes MCU commands
    EXPECT_EQ(send(*b, t, pdControl()).data[8], 1);
}

}  // namespace
}  // namespace bench::testing
