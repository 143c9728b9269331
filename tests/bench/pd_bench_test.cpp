// The PD side on the bench: the version convention across a power cycle, the user's power cycle on the
// prompt, faults naming a sub-command, persistence in a folder and the description's checks.
#include <gtest/gtest.h>

#include <sstream>

#include "bench/hex_text.h"
#include "bench/pd/pd_images.h"
#include "pd_test_support.h"

namespace bench::testing {
namespace {

constexpr const char* kPrompt = "Please power cycling Your device, then press OK";

struct FileRow {
    std::size_t row;
    std::vector<std::uint8_t> data;
};

// The rows of a .cyacd text, read as a host reads them.
std::vector<FileRow> rowsOf(const std::string& text) {
    std::vector<FileRow> rows;
    std::istringstream in(text);
    std::string line;
    std::getline(in, line);  // header
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::size_t length = *parseHexNumber(line.substr(7, 4));
        rows.push_back({static_cast<std::size_t>(*parseHexNumber(line.substr(3, 4))),
                        *parseHexBytes(line.substr(11, 2 * length))});
    }
    return rows;
}

void programCyacd(Bench& b, const Target& t, int kind, const std::string& text) {
    ASSERT_TRUE(good(send(b, t, pdInitI2c())));
    ASSERT_TRUE(good(send(b, t, kind == 2 ? ccg2FlashMode() : ccgFlashMode())));
    for (const auto& r : rowsOf(text)) {
        const auto c = kind == 2 ? ccg2Write(static_cast<std::uint8_t>(r.row)) : ccgWrite(r.row, kind == 5);
        ASSERT_TRUE(good(send(b, t, c, r.data))) << r.row;
    }
}

TEST(PdVersion, ACyacdFileRunsItsOwnVersionTextAfterThePowerCycle) {
    struct Case {
        int kind, mode;
    };
    for (const Case& c : {Case{2, 1}, Case{4, 1}, Case{4, 2}, Case{5, 1}, Case{5, 2}}) {
        auto b = pdBench({{"kind", c.kind}, {"device_mode", c.mode}}, {{"restart_delay_ms", 300}});
        const std::string before = snapshotPd(*b).runningVersionText();
        CyacdSpec layout;
        layout.pdKind = c.kind;
        layout.deviceMode = c.mode;
        layout.version = "A1B2C3D4E5F60718";
        const std::string text = cyacdText(layout);
        programCyacd(*b, disk(*b, 1), c.kind, text);
        EXPECT_EQ(snapshotPd(*b).runningVersionText(), before);
        b->messageBox(kPrompt, "Update", 0);
        EXPECT_FALSE(b->bridgeStatus("b0").onBus);
        b->sleepMs(300);
        ASSERT_TRUE(b->bridgeStatus("b0").onBus);
        // The file carries this text where the library reads it (pd_images_test).
        EXPECT_EQ(snapshotPd(*b).runningVersionText(), layout.version) << c.kind << "/" << c.mode;
        const Target t = disk(*b, b->bridgeStatus("b0").diskNumber);
        send(*b, t, pdInitI2c());
        const auto reply = send(*b, t, c.mode == 2 ? ccgFw2Version() : ccgVersion()).data;
        EXPECT_EQ(toUpper(hexBytes(std::vector<std::uint8_t>(reply.begin() + 8, reply.end()))),
                  layout.version);
    }
}

TEST(PdVersion, ARichTekImageRunsItsVersionAfterThePowerCycle) {
    auto b = pdBench({{"kind", 1}, {"version", "0100"}}, {{"restart_delay_ms", 50}});
    Target t = disk(*b, 1);
    send(*b, t, pdInitI2c());
    send(*b, t, rtErase());
    const auto image = richTekImage("abcd");
    for (std::size_t i = 0; i < image.size(); i += 4)
        ASSERT_TRUE(good(send(*b, t, rtWord(i / 4, {image[i], image[i + 1], image[i + 2], image[i + 3]}))));
    EXPECT_EQ(send(*b, t, rtVersion()).data, (std::vector<std::uint8_t>{0x00, 0x01}));
    b->powerCycle("b0");
    b->sleepMs(50);
    t = disk(*b, b->bridgeStatus("b0").diskNumber);
    send(*b, t, pdInitI2c());
    const auto reply = send(*b, t, rtVersion()).data;
    EXPECT_EQ(reply, (std::vector<std::uint8_t>{0xCD, 0xAB}));
    EXPECT_EQ(snapshotPd(*b).runningVersionText(), "ABCD");
    EXPECT_EQ(snapshotPd(*b).flash(), image);
    EXPECT_EQ(snapshotPd(*b).powerCycles(), 1u);
    EXPECT_FALSE(snapshotPd(*b).writtenSinceBoot());
}

TEST(PdPowerCycle, OnlyTheUsersPromptPowerCyclesAndOnlyWrittenControllers) {
    auto json =
        benchWithBridges({{{"id", "b0"}, {"pd", {{"kind", 1}, {"mcu", true}}}, {"restart_delay_ms", 100}},
                          {{"id", "b1"}, {"pd", {{"kind", 4}}}},
                          {{"id", "b2"}, {"pd", {{"kind", 1}, {"user_power_cycles", false}}}}});
    auto b = Bench::fromJson(json);
    b->messageBox(kPrompt, "Update", 0);  // nothing written yet
    EXPECT_EQ(b->bridgeStatus("b0").restarts, 0u);
    for (int d : {1, 3}) {
        const Target t = disk(*b, d);
        send(*b, t, pdInitI2c());
        send(*b, t, rtErase());
        ASSERT_TRUE(good(send(*b, t, rtWord(1024, {1, 2, 3, 4}))));
    }
    const Target t0 = disk(*b, 1);
    b->messageBox("Firmware updated", "Update", 0);
    EXPECT_TRUE(b->bridgeStatus("b0").onBus);
    EXPECT_EQ(b->messageBox(kPrompt, "Update", 1), 1);
    EXPECT_FALSE(b->bridgeStatus("b0").onBus);
    EXPECT_TRUE(b->bridgeStatus("b1").onBus);
    EXPECT_TRUE(b->bridgeStatus("b2").onBus);  // its user never power-cycles
    b->sleepMs(100);
    EXPECT_TRUE(b->bridgeStatus("b0").onBus);
    EXPECT_EQ(snapshotPd(*b, "b0").powerCycles(), 1u);
    EXPECT_EQ(snapshotPd(*b, "b2").powerCycles(), 0u);
    EXPECT_EQ(snapshotPd(*b, "b0").runningVersionText(), "0201");
    EXPECT_FALSE(b->targetPresent(t0));

    // MCU bytes count as writes too.
    const Target again = disk(*b, b->bridgeStatus("b0").diskNumber);
    send(*b, again, pdInitI2c());
    send(*b, again, mcuBootloader());
    send(*b, again, mcuFlashMode());
    ASSERT_TRUE(good(send(*b, again, mcuWrite(0, 2), {0x20, 0x00})));
    b->messageBox(kPrompt, "Update", 0);
    EXPECT_FALSE(b->bridgeStatus("b0").onBus);
}

TEST(PdPowerCycle, ABridgeThatNeverReturnsStaysOff) {
    auto b =
        pdBench({{"kind", 1}}, {{"restart_delay_ms", 10}}, {{{"kind", "never_returns"}, {"bridge", "b0"}}});
    b->powerCycle("b0");
    b->sleepMs(60000);
    EXPECT_TRUE(b->bridgeStatus("b0").stuckOff);
    b->replug("b0");
    EXPECT_TRUE(b->bridgeStatus("b0").onBus);
    EXPECT_EQ(snapshotPd(*b).powerCycles(), 1u);  // the controller booted when it came back
    EXPECT_THROW(b->powerCycle("nobody"), BenchError);
}

TEST(PdFaults, ACommandFaultNamesTheSubCommand) {
    auto b = pdBench(
        {{"kind", 1}}, {},
        {{{"kind", "command"}, {"opcode", "0xEC"}, {"subcommand", "0x01"}, {"nth", 2}, {"error", 1167}},
         {{"kind", "command"},
          {"opcode", "0xEC"},
          {"subcommand", 3},
          {"as", "check_condition"},
          {"times", 0}}});
    const Target t = disk(*b, 1);
    send(*b, t, pdInitI2c());
    send(*b, t, rtErase());
    std::vector<bool> ok;
    for (std::size_t i = 0; i < 3; ++i) ok.push_back(good(send(*b, t, rtWord(i, {7, 7, 7, 7}))));
    EXPECT_EQ(ok, (std::vector<bool>{true, false, true}));
    EXPECT_EQ(b->trace()[3].systemError, 1167u);
    EXPECT_EQ(snapshotPd(*b).flash()[4], 0xFF);  // the failed word never reached the controller
    for (int i = 0; i < 2; ++i) {
        const auto version = send(*b, t, rtVersion());
        EXPECT_EQ(version.outcome.scsiStatus, kStatusCheckCondition);
        EXPECT_EQ(version.outcome.sense[2], 0x04);
    }
    EXPECT_TRUE(good(send(*b, t, pdControl())));
}

TEST(PdFaults, ReadBackCorruptionOfTheNthPdRead) {
    auto b = pdBench({{"kind", 2}, {"mcu", true}}, {},
                     {{{"kind", "readback_corrupt"}, {"subcommand", "0x24"}, {"offset", 5}, {"nth", 2}},
                      {{"kind", "readback_corrupt"}, {"subcommand", "0x35"}, {"offset", 11}}});
    const Target t = disk(*b, 1);
    send(*b, t, pdInitI2c());
    const auto first = send(*b, t, ccg2Read(0x26)).data;
    const auto second = send(*b, t, ccg2Read(0x26)).data;
    EXPECT_EQ(send(*b, t, ccg2Read(0x26)).data, first);
    auto flipped = first;
    flipped[5] ^= 0xFF;
    EXPECT_EQ(second, flipped);
    const auto mcu = snapshotPd(*b).mcuFlash();
    auto expected = std::vector<std::uint8_t>(mcu.begin(), mcu.begin() + 12);
    expected[11] ^= 0xFF;
    EXPECT_EQ(send(*b, t, mcuRead(0, 12)).data, expected);
    EXPECT_EQ(send(*b, t, mcuRead(0, 12)).data, std::vector<std::uint8_t>(mcu.begin(), mcu.begin() + 12));
}

TEST(PdFolder, FlashModesVersionsAndCountersSurviveReopening) {
    TempFolder folder;
    const auto json =
        benchWithBridges({{{"id", "b0"}, {"pd", {{"kind", 4}, {"mcu", true}}}, {"restart_delay_ms", 10}}});
    CyacdSpec layout;
    {
        auto b = Bench::createFolder(folder.path(), json);
        programCyacd(*b, disk(*b, 1), 4, cyacdText(layout));
        const Target t = disk(*b, 1);
        send(*b, t, mcuBootloader());
        send(*b, t, mcuFlashMode());
        send(*b, t, mcuWrite(12, 3), {1, 2, 3});
    }
    {
        auto b = Bench::openFolder(folder.path());
        const auto pd = snapshotPd(*b);
        EXPECT_TRUE(pd.i2cReady());
        EXPECT_TRUE(pd.inFlashMode());
        EXPECT_TRUE(pd.mcuProgramming());
        EXPECT_TRUE(pd.writtenSinceBoot());
        EXPECT_EQ(pd.row(0x201), cyacdRowData(layout, 1));
        EXPECT_EQ(pd.mcuFlash()[14], 3);
        EXPECT_EQ(pd.runningVersionText(), "1100000000000001");
        ASSERT_TRUE(good(send(*b, disk(*b, 1), mcuWrite(15, 1), {4})));
        b->powerCycle("b0");
        b->sleepMs(10);
    }
    auto b = Bench::openFolder(folder.path());
    const auto pd = snapshotPd(*b);
    EXPECT_EQ(pd.powerCycles(), 1u);
    EXPECT_EQ(pd.runningVersionText(), layout.version);
    EXPECT_EQ(pd.mcuFlash()[15], 4);
    EXPECT_FALSE(pd.i2cReady());
    EXPECT_TRUE(std::filesystem::exists(folder.path() / "chips" / "b0" / "pd_flash.bin"));
    EXPECT_EQ(std::filesystem::file_size(folder.path() / "chips" / "b0" / "mcu_flash.bin"), kMcuFlashSize);
}

std::string refusalOf(nlohmann::json pd, nlohmann::json faults = nlohmann::json::array()) {
    auto json = benchWithBridges({{{"pd", std::move(pd)}}});
    json["faults"] = std::move(faults);
    try {
        Bench::fromJson(json);
    } catch (const BenchError& e) {
        return e.what();
    }
    return "";
}

TEST(PdDescription, WrongEntriesAreRefusedNamingTheKey) {
    const std::string at = "bench description: controllers[0].ports[0].bridge.pd.";
    EXPECT_EQ(refusalOf({{"kind", 256}}).rfind(at + "kind: ", 0), 0u) << refusalOf({{"kind", 256}});
    EXPECT_EQ(refusalOf({{"kind", 1}, {"version", "123"}}),
              at + "version: expected 4 hex digits for kind 1 (or \"\" for a blank flash)");
    EXPECT_EQ(refusalOf({{"kind", 4}, {"version", "1234"}}),
              at + "version: expected 16 hex digits for kind 4 (or \"\" for a blank flash)");
    EXPECT_EQ(refusalOf({{"kind", 7}, {"version", "1234"}}),
              at + "version: kind 7 holds no firmware to carry a version");
    EXPECT_EQ(refusalOf({{"kind", 2}, {"device_mode", 2}}),
              at + "device_mode: only kinds 4 and 5 have device mode 2");
    EXPECT_EQ(refusalOf({{"kind", 4}, {"device_mode", 3}}).rfind(at + "device_mode: ", 0), 0u);
    EXPECT_NE(refusalOf({{"kind", 1}, {"mcu", {{"boot", true}}}}).find("pd.mcu"), std::string::npos);
    EXPECT_NE(refusalOf({{"kind", 1}, {"colour", 1}}).find("colour"), std::string::npos);
    EXPECT_NE(refusalOf({{"marker", "no"}}).find("pd.marker"), std::string::npos);
    EXPECT_EQ(refusalOf({{"kind", 1}}, {{{"kind", "command"}, {"opcode", "0xE4"}, {"subcommand", 1}}}),
              "bench description: faults[0].subcommand: only opcodes 0xEC, 0xEA, 0xEB, 0xA1 and 0x85 have "
              "sub-commands");
    EXPECT_EQ(refusalOf({{"kind", 1}}, {{{"kind", "readback_corrupt"}, {"subcommand", 7}}}),
              "bench description: faults[0].subcommand: expected a PD or MCU read: 0x06, 0x24, 0x2A or 0x35");
    EXPECT_EQ(refusalOf({{"kind", 1}}, {{{"kind", "never_returns"}, {"subcommand", 1}}}),
              "bench description: faults[0].subcommand: only command and readback_corrupt faults name a "
              "sub-command");
    EXPECT_EQ(refusalOf({{"kind", 0}, {"mcu", {{"bootloader", false}}}}), "");
}

}  // namespace
}  // namespace bench::testing
