// The update paths through the library's entry points, in process over benches: the exact commands, and
// what the bridges hold afterwards.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>

#include "tests/fwupdate/update_test_support.h"

namespace devcore_test {
namespace {

const std::string kNew = "131112910000";
const std::string kNewImage = "131112_91_00_00.bin";

TEST_F(UpdateTest, BinUpdateWithDualImageProgramsBothBanksThenRestartsAndWaitsForTheVersion) {
    scanBridges({bridge("b", {{"restart_delay_ms", 3000}})});
    const auto exchange = exchangeFor(writeImage(kNewImage, kNew), true, true);
    ASSERT_EQ(QuibUSBLib_Function_vUpdateFirmware(0, exchange.get(), 0x1234), 0);

    const int disk = benchRef().bridgeStatus("b").diskNumber;
    const std::vector<std::string> expected = {
        // configuration refresh of both banks
        "E0 0", "E1 0", "E0 1", "E1 1",
        // stream into bank 0 and read back, then bank 1
        "E3 0 60910 direct", "E2 0 61038 direct", "E3 1 60910 direct", "E2 1 61038 direct",
        // restart behind the relink signature
        "E4 CA02/2", "E5 CA02=01", "E5 CA03=00", "E8 0",
        // found again by its signature under the new number, proven, version read; signature restored
        "E4 CA02/2", "INQUIRY", "E4 07F0/7", "E5 CA02=00", "E5 CA03=00",
        // the version poll
        "E4 07F0/7"};
    EXPECT_EQ(commands(), expected);
    EXPECT_EQ(bank("b", 0), streamOf(kNew));
    EXPECT_EQ(bank("b", 1), streamOf(kNew));
    const auto status = benchRef().bridgeStatus("b");
    EXPECT_EQ(status.runningVersion, kNew);
    EXPECT_EQ(status.restarts, 1u);
    EXPECT_EQ(entry(0).m_ucPhysicalAddress, disk);
    EXPECT_EQ(entry(0).strFwVersion, "131112910000");
    EXPECT_TRUE(tempFolderGone());
}

TEST_F(UpdateTest, RomUpdateWritesTheFilesBlockAndStreamAndRemovesTheWorkingCopy) {
    scanBridges({bridge("b")});
    const bench::ConfigIdentity identity{"ROMSERIAL0001", "Maker", "Product", 0x1234, 0x5678, 0x0200};
    const Bytes rom = bench::makeConfigRom(kNew, 60902, identity, false);
    const auto exchange = exchangeFor(writeFile("Config_131112_91_00_00.rom", rom), false);
    ASSERT_EQ(QuibUSBLib_Function_vUpdateFirmware(0, exchange.get(), 0), 0);
    EXPECT_EQ(commands(), (std::vector<std::string>{"E1 0", "E3 0 60910 direct", "E2 0 61038 direct"}));
    EXPECT_EQ(configBank("b", 0), Bytes(rom.begin(), rom.begin() + 128));
    EXPECT_EQ(bank("b", 0), Bytes(rom.begin() + 128, rom.end()));
    EXPECT_EQ(bank("b", 1), streamOf("12042391F000"));  // no dual image: bank 1 untouched
    EXPECT_EQ(benchRef().bridgeStatus("b").restarts, 0u);
    EXPECT_TRUE(tempFolderGone());
}

TEST_F(UpdateTest, PackedImageClearsBothConfigurationsAndWritesBothBanksInPieces) {
    scanBridges({bridge("e", {{"device_type", 5}})});
    const Bytes packed = streamOf("131112510000");
    const auto exchange = exchangeFor(writeFile("E-VS-131112_51_00_00.bin", packed), false);
    ASSERT_EQ(QuibUSBLib_Function_vUpdateFirmware(0, exchange.get(), 0), 0);
    EXPECT_EQ(commands(), (std::vector<std::string>{"E1 0", "E1 1", "E3 0 60910", "E2 0 61038", "E3 1 60910",
                                                    "E2 1 61038"}));
    EXPECT_EQ(configBank("e", 0), Bytes(128, 0xFF));
    EXPECT_EQ(configBank("e", 1), Bytes(128, 0xFF));
    EXPECT_EQ(bank("e", 0), packed);
    EXPECT_EQ(bank("e", 1), packed);
}

// One read moves at most 64 KiB: a longer packed image could be written but never verified, so it is
// refused before both banks are cleared; without verification (an old UAS bridge) it is written in pieces.
TEST_F(UpdateTest, PackedImageLongerThanOneReadIsRefusedWhenItMustBeVerified) {
    scanBridges({bridge("e", {{"device_type", 5}}),
                 bridge("u", {{"device_type", 5}, {"uas", true}, {"firmware_version", "141125510000"}})});
    const Bytes packed = streamOf("131112510000", 70000);
    const std::string path = writeFile("E-VS-131112_51_00_00.bin", packed);
    const Bytes config = configBank("e", 0);
    EXPECT_EQ(QuibUSBLib_Function_vUpdateFirmware(0, exchangeFor(path, false).get(), 0), -1);
    EXPECT_TRUE(commands().empty());
    EXPECT_EQ(configBank("e", 0), config);  // not cleared
    EXPECT_TRUE(debugContains("cannot be read back (at most 65408); nothing done"));
    ASSERT_EQ(QuibUSBLib_Function_vUpdateFirmware(1, exchangeFor(path, false).get(), 0), 0);
    const auto sent = commands();
    EXPECT_TRUE(has(sent, "E3 0 65536"));
    EXPECT_TRUE(has(sent, "E3 0 4470"));
    EXPECT_EQ(bank("u", 0), packed);
}

TEST_F(UpdateTest, RefusalsComeBeforeTheBridgeIsTouched) {
    scanBridges({bridge("d", {{"device_type", 3}, {"package", 0x02}}),
                 bridge("e", {{"device_type", 5}, {"package", 0xFF}})});
    // Chip "D" with package bit 1 set: an image whose package digit has bit 2 set as well is refused (the
    // update goes ahead only when the two bits differ).
    EXPECT_EQ(QuibUSBLib_Function_vUpdateFirmware(
                  0, exchangeFor(writeImage("131112_34_00_00.bin", "131112340000")).get(), 0),
              -2);
    EXPECT_TRUE(debugContains("ChipPackage mismatch. Devs[0].m_strChipType=[D], m_ucChipPackage[2]"));
    // An image for chip "B" on chip "E"; a packed image on package 0xFF.
    EXPECT_EQ(QuibUSBLib_Function_vUpdateFirmware(1, exchangeFor(writeImage(kNewImage, kNew)).get(), 0), -3);
    EXPECT_TRUE(debugContains("Dev[1]: ChipType[E]!=FwType[B] ERROR!! Firmware Update Process Failed."));
    EXPECT_EQ(
        QuibUSBLib_Function_vUpdateFirmware(1, exchangeFor(writeFile("E-VS-x.bin", Bytes(100, 1))).get(), 0),
        -2);
    // Missing image, bad revision digit, too short a name, missing or invalid ROM files.
    EXPECT_EQ(
        QuibUSBLib_Function_vUpdateFirmware(0, exchangeFor(pathInWorkFolder("131112_30_00_00.bin")).get(), 0),
        -8);
    EXPECT_EQ(QuibUSBLib_Function_vUpdateFirmware(
                  0, exchangeFor(writeImage("131112_C0_00_00.bin", "131112C00000")).get(), 0),
              -3);  // revision digit C is letter "A": the chip check refuses first
    EXPECT_EQ(QuibUSBLib_Function_vUpdateFirmware(0, exchangeFor(writeImage("1311.bin", kNew)).get(), 0), -8);
    EXPECT_EQ(QuibUSBLib_Function_vUpdateFirmware(
                  0, exchangeFor(pathInWorkFolder("Config_131112_30_00_00.rom")).get(), 0),
              -5);
    Bytes rom =
        bench::makeConfigRom("131112300000", 2000, bench::ConfigIdentity{"S", "", "", 1, 2, 3}, false);
    rom[126] = 0x5B;
    EXPECT_EQ(QuibUSBLib_Function_vUpdateFirmware(
                  0, exchangeFor(writeFile("Config_131112_30_00_00.rom", rom)).get(), 0),
              -10);
    rom[126] = 0x5A;
    rom[127] ^= 1;
    EXPECT_EQ(QuibUSBLib_Function_vUpdateFirmware(
                  0, exchangeFor(writeFile("Config_131112_30_00_00.rom", rom)).get(), 0),
              -10);
    EXPECT_EQ(QuibUSBLib_Function_vUpdateFirmware(
                  0, exchangeFor(writeFile("Config_131112_30_00_00.rom", Bytes(128, 0))).get(), 0),
              -5);
    EXPECT_EQ(QuibUSBLib_Function_vUpdateFirmware(0, exchangeFor("").get(), 0), -5);
    // Nothing was written to either bridge.
    for (const auto& c : commands()) EXPECT_TRUE(c.rfind("E4", 0) == 0 || c.rfind("E0", 0) == 0) << c;
    EXPECT_EQ(bank("d", 0), streamOf("12042391F000"));
}

TEST_F(UpdateTest, ImagesThatCannotBeReadAreRefusedNamingTheFile) {
    scanBridges({bridge("b"), bridge("e", {{"device_type", 5}})});
    std::filesystem::create_directories(pathInWorkFolder("131112_91_00_00.bin"));  // a folder of that name
    EXPECT_EQ(QuibUSBLib_Function_vUpdateFirmware(0, exchangeFor(pathInWorkFolder(kNewImage)).get(), 0), -8);
    EXPECT_TRUE(debugContains("131112_91_00_00.bin] cannot be read"));
    EXPECT_EQ(
        QuibUSBLib_Function_vUpdateFirmware(0, exchangeFor(writeFile("131112_91_00_01.bin", {})).get(), 0),
        -8);
    EXPECT_TRUE(debugContains("131112_91_00_01.bin] is empty"));
    EXPECT_EQ(QuibUSBLib_Function_vUpdateFirmware(1, exchangeFor(writeFile("E-VS-empty.bin", {})).get(), 0),
              -5);
    EXPECT_TRUE(debugContains("ReadFile[" + pathInWorkFolder("E-VS-empty.bin") + "] fail"));
    EXPECT_EQ(QuibUSBLib_Function_vUpdateFirmware(1, exchangeFor(pathInWorkFolder("E-VS-none.bin")).get(), 0),
              -5);
    EXPECT_TRUE(debugContains("create file [" + pathInWorkFolder("E-VS-none.bin") + "] fail"));
    EXPECT_TRUE(commands().empty());
}

// Only regular files that fit the firmware area are read at all, and whatever is refused is refused before
// any command, the relink into the ROM code included: a FIFO would hold the run for ever, a device or a
// huge file would be read until memory runs out.
TEST_F(UpdateTest, FilesThatAreNotImagesAreRefusedBeforeTheBridgeIsTouched) {
    struct Case {
        std::string name;
        std::function<void(const std::string&)> make;
        int bridge;
        int expected;
    };
    const auto sized = [](std::uintmax_t size) {
        return [size](const std::string& path) {
            std::ofstream(path, std::ios::binary) << "x";
            std::filesystem::resize_file(path, size);
        };
    };
    const std::vector<Case> cases = {
#if !defined(_WIN32)  // kinds of file POSIX systems have
        {kNewImage, [](const std::string& path) { ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); }, 0, -8},
        {kNewImage, [](const std::string& path) { std::filesystem::create_symlink("/dev/zero", path); }, 0,
         -8},
#endif
        {kNewImage, [](const std::string& path) { std::filesystem::create_directory(path); }, 0, -8},
        {kNewImage, sized(600 * 1024), 0, -8},
        {kNewImage, sized(64ull << 20), 0, -8},
        {"Config_131112_91_00_00.rom", sized(600 * 1024), 0, -5},
        {"E-VS-131112_51_00_00.bin", sized(600 * 1024), 1, -5},
    };
    scanBridges({bridge("b"), bridge("e", {{"device_type", 5}})});
    for (const Case& c : cases) {
        const std::string path = pathInWorkFolder(c.name);
        std::filesystem::remove(path);
        c.make(path);
        auto exchange = exchangeFor(path);
        exchange->ucEnableRelinkToRomCode = 1;
        EXPECT_EQ(QuibUSBLib_Function_vUpdateFirmware(static_cast<std::uint8_t>(c.bridge), exchange.get(), 0),
                  c.expected)
            << c.name;
    }
    EXPECT_TRUE(commands().empty());
    EXPECT_TRUE(debugContains("more than the 524276 bytes the bridge's firmware area takes"));
}

// A configuration block that was not read in this run is never written back: the relink into the ROM
// code stops instead of wiping the bridge's serial number, strings and identifiers with zeros.
TEST_F(UpdateTest, RelinkToRomCodeWritesBackOnlyAConfigurationItRead) {
    json faults = json::array(
        {{{"kind", "command"}, {"opcode", 0xE0}, {"as", "check_condition"}, {"times", 0}, {"bridge", "b"}}});
    scanBridges({bridge("b")}, 0, {{"faults", faults}});
    const Bytes before = configBank("b", 0);
    auto exchange = exchangeFor(writeImage(kNewImage, kNew));
    exchange->ucEnableRelinkToRomCode = 1;
    EXPECT_EQ(QuibUSBLib_Function_vUpdateFirmware(0, exchange.get(), 0), -7);
    for (const std::string& c : commands()) EXPECT_TRUE(c.rfind("E1", 0) != 0 && c.rfind("E3", 0) != 0) << c;
    EXPECT_EQ(configBank("b", 0), before);
    EXPECT_TRUE(debugContains("reading the configuration area failed: nothing written"));
}

// A bridge whose firmware version or chip type could not be read when it was found is a failure of its
// update, never an image that does not suit it; a read that fails once is tried again.
TEST_F(UpdateTest, BridgeThatCouldNotBeReadFailsItsUpdate) {
    for (const std::uint32_t failures : {1u, 3u}) {
        json faults = json::array({{{"kind", "command"},
                                    {"opcode", 0xE4},
                                    {"register", 0x07F0},
                                    {"as", "check_condition"},
                                    {"times", failures},
                                    {"bridge", "b"}}});
        scanBridges({bridge("b")}, 0, {{"faults", faults}});
        const int result =
            QuibUSBLib_Function_vUpdateFirmware(0, exchangeFor(writeImage(kNewImage, kNew)).get(), 0);
        if (failures < 3) {
            EXPECT_EQ(result, 0);
            EXPECT_EQ(benchRef().bridgeStatus("b").runningVersion, kNew);
            continue;
        }
        EXPECT_EQ(result, -1);
        EXPECT_TRUE(commands().empty());
        EXPECT_TRUE(debugContains("USB serial [SN-b]: the firmware version could not be read"));
        EXPECT_TRUE(debugContains("its chip type or firmware version could not be read when it was found"));
    }
}

TEST_F(UpdateTest, InvalidRevisionDigitFailsTheStreamBuild) {
    scanBridges({bridge("a", {{"device_type", 0}})});
    // Digit "C": low bits 100 give letter "A" (this chip) but no signature.
    const auto exchange = exchangeFor(writeImage("131112_C0_00_00.bin", "131112C00000"));
    EXPECT_EQ(QuibUSBLib_Function_vUpdateFirmware(0, exchange.get(), 0), -8);
    EXPECT_TRUE(debugContains("strGetFWFileCSignature[C] ERROR"));
    EXPECT_TRUE(commands().empty());
}

TEST_F(UpdateTest, UasBridgeWithAnOldVersionIsNotReadBack) {
    scanBridges({bridge("old", {{"uas", true}, {"firmware_version", "14112591F000"}}),
                 bridge("new", {{"uas", true}, {"firmware_version", "14112691F000"}})});
    ASSERT_EQ(
        QuibUSBLib_Function_vUpdateFirmware(0, exchangeFor(writeImage(kNewImage, kNew), false).get(), 0), 0);
    ASSERT_EQ(
        QuibUSBLib_Function_vUpdateFirmware(1, exchangeFor(writeImage(kNewImage, kNew), false).get(), 0), 0);
    EXPECT_EQ(commands(),
              (std::vector<std::string>{"E0 0", "E1 0", "E3 0 60910 direct",  // 141125: no read-back
                                        "E0 0", "E1 0", "E3 0 60910 direct", "E2 0 61038 direct"}));
}

TEST_F(UpdateTest, DeviceType6ReadBackOneByteLateCountsAsAMatch) {
    scanBridges({bridge("a", {{"family", "8500"}, {"device_type", 6}, {"readback_shift", true}})}, 1);
    const auto exchange = exchangeFor(writeImage("TV_PCIE_131112_91_00_00.bin", kNew), false);
    // An image for "850B" on an "850A" bridge is refused; one built for "850A" (digit 8) goes on.
    EXPECT_EQ(QuibUSBLib_Function_vUpdateFirmware(0, exchange.get(), 0), -3);
    const auto good = exchangeFor(writeImage("TV_PCIE_131112_80_00_00.bin", "131112800000"), false);
    EXPECT_EQ(QuibUSBLib_Function_vUpdateFirmware(0, good.get(), 0), 0);
    EXPECT_EQ(commands().size(), 4u);  // one read-back pass was enough
}

TEST_F(UpdateTest, WriteThatSucceedsOnlyOnARetryIsStillAFailure) {
    json faults = json::array({{{"kind", "command"}, {"opcode", 0xE3}, {"bridge", "b"}}});
    scanBridges({bridge("b")}, 0, {{"faults", faults}});
    const std::uint64_t start = benchRef().nowMs();
    EXPECT_EQ(QuibUSBLib_Function_vUpdateFirmware(0, exchangeFor(writeImage(kNewImage, kNew)).get(), 0), -1);
    const auto sent = commands();
    EXPECT_EQ(std::count(sent.begin(), sent.end(), "E3 0 60910 direct !"), 1);
    EXPECT_EQ(std::count(sent.begin(), sent.end(), "E3 0 60910 direct"), 1);
    EXPECT_EQ(std::count(sent.begin(), sent.end(), "E2 0 61038 direct"), 10);  // every pass runs
    EXPECT_FALSE(has(sent, "E8 0"));                                           // no restart after a failure
    EXPECT_EQ(bank("b", 0), streamOf(kNew));  // the bridge holds the stream, yet the retry rule says -1
    EXPECT_EQ(benchRef().nowMs() - start, 500u + 10 * 500u);
    EXPECT_TRUE(debugContains("SCSI7120_AccessFirmwareEEPROM Fail Retry[0]"));
    EXPECT_TRUE(debugContains("Can not Update Firmware !"));
}

TEST_F(UpdateTest, WriteFailingEveryTimeIsTriedTenTimes) {
    json faults = json::array({{{"kind", "command"}, {"opcode", 0xE3}, {"bridge", "b"}, {"times", 0}}});
    scanBridges({bridge("b")}, 0, {{"faults", faults}});
    EXPECT_EQ(QuibUSBLib_Function_vUpdateFirmware(0, exchangeFor(writeImage(kNewImage, kNew)).get(), 0), -1);
    const auto sent = commands();
    EXPECT_EQ(std::count(sent.begin(), sent.end(), "E3 0 60910 direct !"), 10);
    EXPECT_TRUE(debugContains("SCSI7120_AccessFirmwareEEPROM Fail Retry[9]"));
    EXPECT_EQ(bank("b", 0), streamOf("12042391F000"));
}

TEST_F(UpdateTest, OneCorruptReadBackFailsTheUpdate) {
    json faults = json::array({{{"kind", "readback_corrupt"}, {"bridge", "b"}, {"offset", 1000}}});
    scanBridges({bridge("b")}, 0, {{"faults", faults}});
    EXPECT_EQ(QuibUSBLib_Function_vUpdateFirmware(0, exchangeFor(writeImage(kNewImage, kNew)).get(), 0), -1);
    const auto sent = commands();
    EXPECT_EQ(std::count(sent.begin(), sent.end(), "E2 0 61038 direct"), 10);
    EXPECT_TRUE(debugContains("MEMCMP failed 0x368["));
    EXPECT_FALSE(tempFolderGone());  // kept for the next run after a failure
}

// Success after the restart means the bridge runs the image's own version: neither six zero bytes (its ROM
// code) nor any other version counts. The version is polled once a second for a little over 60 s.
TEST_F(UpdateTest, BridgeThatDoesNotRunTheImagesVersionIsNoUpdatedBridge) {
    struct Case {
        json bridgeExtra;
        std::string bootsVersion;  // what the written image carries inside
        std::string runs;          // what the bridge then runs ("" ROM code)
    };
    for (const Case& c : {Case{{{"rom_reset_modes", json::array({0})}}, kNew, ""},
                          Case{json::object(), "131112910001", "131112910001"}}) {
        scanBridges({bridge("b", c.bridgeExtra)});
        const std::uint64_t start = benchRef().nowMs();
        const auto exchange = exchangeFor(writeFile(kNewImage, bench::makeImage(c.bootsVersion, 60902)));
        EXPECT_EQ(QuibUSBLib_Function_vUpdateFirmware(0, exchange.get(), 0), -7) << c.runs;
        EXPECT_EQ(benchRef().bridgeStatus("b").runningVersion, c.runs);
        std::vector<std::uint64_t> polls;
        const auto trace = bridgeTrace();
        for (std::size_t i = m_mark; i < trace.size(); ++i)
            if (name(trace[i]) == "E4 07F0/7") polls.push_back(trace[i].timeMs);
        ASSERT_GE(polls.size(), 61u) << c.runs;
        for (std::size_t i = polls.size() - 60; i < polls.size(); ++i)
            EXPECT_EQ(polls[i] - polls[i - 1], 1000u);
        EXPECT_GT(benchRef().nowMs() - start, 60000u);
        EXPECT_TRUE(debugContains("runs [" + (c.runs.empty() ? std::string("000000000000") : c.runs) +
                                  "], not the image's version [131112910000]"));
        EXPECT_TRUE(debugContains("Reset fail !"));
    }
}

// Before anything is sent: an image whose name carries no version cannot be proven to run after the
// restart; without the restart the same image is programmed.
TEST_F(UpdateTest, ImageNameWithoutAVersionIsRefusedWhenTheRestartMustProveIt) {
    scanBridges({bridge("b")});
    const std::string path = writeImage("131112_9Z_00_00.bin", kNew);
    EXPECT_EQ(QuibUSBLib_Function_vUpdateFirmware(0, exchangeFor(path).get(), 0), -10);
    EXPECT_TRUE(commands().empty());
    EXPECT_TRUE(debugContains("image name [131112_9Z_00_00.bin] carries no firmware version"));
    EXPECT_EQ(QuibUSBLib_Function_vUpdateFirmware(0, exchangeFor(path, false).get(), 0), 0);
    EXPECT_EQ(bank("b", 0), streamOf(kNew));
}

TEST_F(UpdateTest, BridgeThatNeverComesBackGivesReloadFailure) {
    json faults = json::array({{{"kind", "never_returns"}, {"bridge", "b"}}});
    scanBridges({bridge("b")}, 0, {{"faults", faults}});
    EXPECT_EQ(QuibUSBLib_Function_vUpdateFirmware(0, exchangeFor(writeImage(kNewImage, kNew)).get(), 0), -7);
    EXPECT_TRUE(debugContains("*** Timeout *** iRelinkTimeOut[60]"));
}

TEST_F(UpdateTest, RestartRewritesTheEntryBeforeRestoringTheSignature) {
    // Index 3 comes back as disk 5 (numbers 1..4 were in use).
    scanBridges({bridge("a"), bridge("b"), bridge("c"), bridge("d", {{"restart_delay_ms", 100}})});
    ASSERT_EQ(entry(3).m_ucPhysicalAddress, 4);
    benchRef().withChip("d", [](bench::BridgeChip& chip) {
        chip.setRegister(0xCA02, 0x77);
        chip.setRegister(0xCA03, 0x88);
    });
    ASSERT_EQ(QuibUSBLib_Function_CPUSpeedRelink(3, 0), 0);
    EXPECT_EQ(entry(3).m_ucPhysicalAddress, 5);
    EXPECT_EQ(benchRef().bridgeStatus("d").diskNumber, 5);
    const auto sent = commands();
    ASSERT_GE(sent.size(), 2u);
    EXPECT_EQ(std::vector<std::string>(sent.end() - 2, sent.end()),
              (std::vector<std::string>{"E5 CA02=77", "E5 CA03=88"}));
    EXPECT_TRUE(has(sent, "E5 CA03=03"));
    // The restored registers are in the chip that came back.
    std::uint8_t ca02 = 0, ca03 = 0;
    benchRef().withChip("d", [&](bench::BridgeChip& chip) {
        ca02 = chip.registerByte(0xCA02);
        ca03 = chip.registerByte(0xCA03);
    });
    EXPECT_EQ(ca02, 0x77);
    EXPECT_EQ(ca03, 0x88);
}

TEST_F(UpdateTest, SpeedRelinkRestartsWithTheSpeedsMode) {
    scanBridges({bridge("b")});
    ASSERT_EQ(QuibUSBLib_Function_CPUSpeedRelink(0, 3), 0);
    EXPECT_TRUE(has(commands(), "E8 5"));
    json faults = json::array({{{"kind", "never_returns"}, {"bridge", "b"}}});
    scanBridges({bridge("b")}, 0, {{"faults", faults}});
    EXPECT_EQ(QuibUSBLib_Function_CPUSpeedRelink(0, 1), -7);
    EXPECT_TRUE(debugContains("Reset fail !"));
}

TEST_F(UpdateTest, RelinkToRomCodeBeforeProgramming) {
    scanBridges({bridge("b", {{"rom_reset_modes", json::array({1})}})});
    auto exchange = exchangeFor(writeImage(kNewImage, kNew), false);
    exchange->ucEnableRelinkToRomCode = 1;
    ASSERT_EQ(QuibUSBLib_Function_vUpdateFirmware(0, exchange.get(), 0), 0);
    const auto sent = commands();
    const auto reset = std::find(sent.begin(), sent.end(), "E8 1");
    ASSERT_NE(reset, sent.end());
    EXPECT_LT(reset - sent.begin(), std::find(sent.begin(), sent.end(), "E3 0 60910 direct") - sent.begin());
    EXPECT_EQ(bank("b", 0), streamOf(kNew));
    EXPECT_TRUE(benchRef().bridgeStatus("b").romCode);  // programmed from the ROM code, not restarted after
}

TEST_F(UpdateTest, ConfigurationUpdateMergesRewritesAndRestarts) {
    scanBridges({bridge("b", {{"restart_delay_ms", 100}})});
    const Bytes before = configBank("b", 0);
    SerialNumberRecord record;
    std::memset(&record, 0, sizeof record);
    // A full 20-byte serial; the group behind it is empty (its first byte 0, the rest not), so it stays.
    std::memcpy(record.cSerialNumber, "NEWSERIAL42ABCDEFGHI", 20);
    std::memset(reinterpret_cast<std::uint8_t*>(&record) + 21, 0xEE, 35);
    ASSERT_EQ(QuibUSBLib_Function_vUpdateConfig(0, &record), 0);
    const std::vector<std::string> head = {"E0 0",      "E2 0 65536", "E1 0",       "E3 0 65408",
                                           "E4 CA02/2", "E5 CA02=01", "E5 CA03=00", "E8 0"};
    const auto sent = commands();
    ASSERT_GE(sent.size(), head.size());
    EXPECT_EQ(std::vector<std::string>(sent.begin(), sent.begin() + 8), head);
    const Bytes config = configBank("b", 0);
    EXPECT_EQ(std::string(config.begin() + 4, config.begin() + 24), "NEWSERIAL42ABCDEFGHI");
    EXPECT_EQ(Bytes(config.begin() + 24, config.begin() + 60),
              Bytes(before.begin() + 24, before.begin() + 60));
    EXPECT_EQ(config[126], 0x5A);
    // The stream written back is followed by erased bytes, and the chip still boots it.
    Bytes written = bank("b", 0);
    EXPECT_EQ(written.size(), 65408u);
    const Bytes old = streamOf("12042391F000");
    EXPECT_TRUE(std::equal(old.begin(), old.end(), written.begin()));
    EXPECT_EQ(benchRef().bridgeStatus("b").runningVersion, "12042391F000");
}

TEST_F(UpdateTest, ConfigurationUpdateWritesNothingWhenTheFirmwareCannotBeRead) {
    json faults = json::array({{{"kind", "command"}, {"opcode", 0xE2}, {"bridge", "b"}, {"times", 0}}});
    scanBridges({bridge("b")}, 0, {{"faults", faults}});
    SerialNumberRecord record;
    std::memset(&record, 0, sizeof record);
    EXPECT_EQ(QuibUSBLib_Function_vUpdateConfig(0, &record), -1);
    for (const auto& c : commands()) EXPECT_TRUE(c.rfind("E0", 0) == 0 || c.rfind("E2", 0) == 0) << c;
    EXPECT_EQ(bank("b", 0), streamOf("12042391F000"));
}

TEST_F(UpdateTest, ConfigurationUpdateLeavesAStreamLongerThanItRewritesAlone) {
    // An 850B bridge running an image above 64 KiB: writing back 65,408 bytes would cut its stream.
    scanBridges({bridge("p", {{"family", "8500"}, {"firmware_image_size", 70000}})}, 1);
    const Bytes before = bank("p", 0);
    SerialNumberRecord record;
    std::memset(&record, 0, sizeof record);
    std::memcpy(record.cSerialNumber, "X", 1);
    EXPECT_EQ(QuibUSBLib_Function_vUpdateConfig(0, &record), -1);
    EXPECT_EQ(commands(), (std::vector<std::string>{"E0 0", "E2 0 65536"}));
    EXPECT_EQ(bank("p", 0), before);
    EXPECT_TRUE(debugContains("is not a complete stream of at most 65408 bytes; nothing written"));
}

TEST_F(UpdateTest, ConfigurationUpdateOfAPcieBridgeFindsItAgain) {
    scanBridges({bridge("p", {{"family", "8500"}, {"restart_delay_ms", 100}})}, 1);
    SerialNumberRecord record;
    std::memset(&record, 0, sizeof record);
    record.wVendorId = 0x1234;
    EXPECT_EQ(QuibUSBLib_Function_vUpdateConfig(0, &record), 0);
    EXPECT_EQ(configBank("p", 0)[116], 0x34);
}

TEST_F(UpdateTest, SerialNumberImageCarriesTheRecordInFrontOfTheStream) {
    scanBridges({bridge("b")});
    writeImage(kNewImage, kNew);
    SerialNumberRecord record;
    std::memset(&record, 0xFF, sizeof record);
    std::memcpy(record.cSerialNumber, "SN000001", 8);
    ASSERT_EQ(QuibUSBLib_Function_BuildBinFile(kNewImage.c_str(), &record),
              0);  // relative: in the working folder
    std::ifstream in(inWorkFolder("KRVFW_Temp/Config_131112_91_00_00.rom"), std::ios::binary);
    const Bytes rom((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(rom.size(), 128u + 60910u);
    EXPECT_EQ(std::memcmp(rom.data() + 4, &record, sizeof record), 0);
    EXPECT_EQ(Bytes(rom.begin() + 128, rom.end()), streamOf(kNew));
    EXPECT_TRUE(commands().empty());  // no device is touched
    EXPECT_EQ(QuibUSBLib_Function_BuildBinFile("missing.bin", &record), -5);
    EXPECT_EQ(QuibUSBLib_Function_BuildBinFile("", &record), -10);
    writeImage("x-VS-131112_91_00_00.bin", kNew);
    EXPECT_EQ(QuibUSBLib_Function_BuildBinFile("x-VS-131112_91_00_00.bin", &record), -10);
    EXPECT_FALSE(std::filesystem::exists(inWorkFolder("KRVFW_Temp/Config_x-VS-131112_91_00_00.rom")));
    EXPECT_EQ(QuibUSBLib_Function_BuildBinFile(nullptr, &record), -10);
}

TEST_F(UpdateTest, SampleUpdateTakesTheDualImageByteAndThePath) {
    scanBridges({bridge("b")});
    const std::string sample = std::string(1, '\x01') + writeImage(kNewImage, kNew);
    ASSERT_EQ(QuibUSBLib_Function_vSampleFWUpg(0, sample.c_str(), 0), 0);
    EXPECT_EQ(bank("b", 1), streamOf(kNew));
    EXPECT_FALSE(has(commands(), "E8 0"));  // relink options are off
    // A first byte 0 programs bank 0 only, from the path that follows it.
    const std::string newer = "131112910001";
    const std::string single = std::string(1, '\x00') + writeImage("131112_91_00_01.bin", newer);
    ASSERT_EQ(QuibUSBLib_Function_vSampleFWUpg(0, single.c_str(), 0), 0);
    EXPECT_EQ(bank("b", 0), streamOf(newer));
    EXPECT_EQ(bank("b", 1), streamOf(kNew));
}

TEST_F(UpdateTest, PerDriveOperations) {
    scanBridges({bridge("b", {{"configured_serial", "PERDRIVE-SN"}, {"restart_delay_ms", 100}}),
                 bridge("p", {{"family", "8500"}})});
    std::uint8_t serial[20] = {};
    ASSERT_EQ(QuibUSBLib_Function_iGetSNfromPhyAddrNumber(1, serial), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(serial), 11), "PERDRIVE-SN");
    EXPECT_EQ(commands(), (std::vector<std::string>{"INQUIRY", "E0 0"}));
    std::uint8_t version[6] = {};
    ASSERT_EQ(QuibUSBLib_Function_iGetFWfromPhyAddrNumber(1, version), 0);
    EXPECT_EQ(Bytes(version, version + 6), (Bytes{0x12, 0x04, 0x23, 0x91, 0xF0, 0x00}));
    const std::size_t mark = bridgeTrace().size();
    EXPECT_EQ(QuibUSBLib_Function_iGetSNfromPhyAddrNumber(2, serial), -1);  // a PCIe bridge
    EXPECT_EQ(commands(mark), (std::vector<std::string>{"INQUIRY"}));
    EXPECT_EQ(QuibUSBLib_Function_iGetFWfromPhyAddrNumber(9, version), -1);  // no such drive

    const std::string path = writeImage(kNewImage, kNew);
    const std::size_t before = bridgeTrace().size();
    ASSERT_EQ(QuibUSBLib_Function_iUpdateFWfromPhyAddrNumber(1, path.c_str(), 1, 1), 0);
    EXPECT_EQ(commands(before),
              (std::vector<std::string>{"E0 0", "E1 0", "E3 1 60910 direct", "E2 1 61038 direct"}));
    EXPECT_EQ(bank("b", 1), streamOf(kNew));
    EXPECT_TRUE(tempFolderGone());
    const QuibCountedString counted{path.data(), static_cast<std::uint32_t>(path.size())};
    ASSERT_EQ(QuibUSBLib_Function_iUpdateFWfromPhyAddrNumber2(1, counted, 0, 0), 0);
    EXPECT_EQ(bank("b", 0), streamOf(kNew));

    std::uint8_t area[256];
    ASSERT_EQ(QuibUSBLib_K610X_AccessFirmwareEEPROM(0, 0, area, sizeof area, 0), 0);
    const Bytes stream = streamOf(kNew);
    EXPECT_EQ(Bytes(area + 128, area + 256), Bytes(stream.begin(), stream.begin() + 128));
    EXPECT_EQ(name(bridgeTrace().back()), "E2 0 256 direct");

    ASSERT_EQ(QuibUSBLib_Function_iCPURSTfromPhyAddrNumber(1), 0);
    EXPECT_EQ(name(bridgeTrace().back()), "E8 0");
    EXPECT_EQ(QuibUSBLib_Function_iCPURSTfromPhyAddrNumber(1), -1);  // gone until it comes back
    EXPECT_EQ(QuibUSBLib_K610X_CPURST(0), -1);                       // its entry names the old disk
    EXPECT_EQ(QuibUSBLib_K610X_AccessFirmwareEEPROM(0, 0, area, sizeof area, 0), -5);
}

TEST_F(UpdateTest, PerDriveUpdateReportsAReadBackMismatch) {
    json faults =
        json::array({{{"kind", "readback_corrupt"}, {"bridge", "b"}, {"times", 0}, {"offset", 1000}}});
    scanBridges({bridge("b")}, 0, {{"faults", faults}});
    const std::string path = writeImage(kNewImage, kNew);
    EXPECT_EQ(QuibUSBLib_Function_iUpdateFWfromPhyAddrNumber(1, path.c_str(), 0, 1), -1);
    const auto sent = commands();
    EXPECT_EQ(std::count(sent.begin(), sent.end(), "E2 0 61038 direct"), 10);
    // A drive has no list entry: its lines carry no entry number, and show where the bytes differ.
    EXPECT_TRUE(debugContains(": MEMCMP failed , iResult 0"));
    EXPECT_TRUE(debugContains("vCheckFirmware: SCSI7120_AccessFirmwareEEPROM , iResult 0"));
    EXPECT_TRUE(debugContains("MEMCMP failed 0x368["));
    EXPECT_EQ(QuibUSBLib_Function_iUpdateFWfromPhyAddrNumber(7, path.c_str(), 0, 1), -1);  // no drive 7
}

TEST_F(UpdateTest, SafeRemovalFlushesAndEjectsOnlyThisBridge) {
    scanBridges({bridge("b"), bridge("twin")});
    ASSERT_EQ(QuibUSBLib_Function_SafeRemoveUSB(0), 0);
    EXPECT_EQ(commands(), (std::vector<std::string>{"35"}));
    EXPECT_TRUE(benchRef().bridgeStatus("b").ejected);
    EXPECT_FALSE(benchRef().bridgeStatus("twin").ejected);  // same make, another serial number
    json faults = json::array({{{"kind", "eject_veto"}, {"bridge", "b"}, {"times", 0}}});
    scanBridges({bridge("b")}, 0, {{"faults", faults}});
    EXPECT_EQ(QuibUSBLib_Function_SafeRemoveUSB(0), -11);
}

TEST_F(UpdateTest, CustomizedCheckExport) {
    scanBridges({bridge("b")});
    auto exchange = exchangeFor("");
    EXPECT_EQ(QuibUSBLib_Function_vCustomizedCheck(0, nullptr), -10);
    EXPECT_EQ(QuibUSBLib_Function_vCustomizedCheck(16, exchange.get()), -10);
    EXPECT_EQ(QuibUSBLib_Function_vUpdateFirmware(0, nullptr, 0), -10);
}

}  // namespace
}  // namespace devcore_test
