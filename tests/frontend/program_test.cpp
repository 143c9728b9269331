// The built program, run as its own process in a fresh tool folder over a bench folder.
#include <gtest/gtest.h>

#include <fstream>

#include "tests/frontend/program_runner.h"

namespace quib::frontend::testing {
namespace {

using Json = nlohmann::json;
using Args = std::vector<std::string>;

const Json kNoticeStyle = 0x30;    // OK, exclamation icon
const Json kErrorBoxStyle = 0x10;  // OK, error icon

std::size_t occurrences(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// Every run must leave the tool folder exactly as it was (the version report excepted).
ProgramRun run(ProgramBench& bench, const Args& args) {
    return runChecked(bench, args);
}

void expectOneBox(const ProgramBench& bench, const std::string& text, const std::string& caption,
                  const Json& style) {
    const Json boxes = bench.messageBoxes();
    ASSERT_EQ(boxes.size(), 1u) << boxes.dump();
    EXPECT_EQ(boxes[0]["text"], text);
    EXPECT_EQ(boxes[0]["caption"], caption);
    EXPECT_EQ(boxes[0]["style"], style);
}

TEST(Program, UsageNoticeEvenInSilentMode) {
    for (const Args& args : {Args{"/?"}, Args{"/S", "/?"}}) {
        ProgramBench bench(benchWith({bridge("a", "12042391F000")}));
        EXPECT_EQ(run(bench, args).exitCode, 0);
        const std::string text = bench.messageBoxes().at(0)["text"];
        EXPECT_EQ(text.rfind("Torvane USB Mass Storage Firmware Upgrade ToolVer3, 1, 7, 6\r\nUsage: ", 0),
                  0u);
        EXPECT_NE(text.find("\r\n /DBG\tSet debug message level.\r\n"), std::string::npos);
        EXPECT_EQ(occurrences(text, "\r\n"), 15u);
        expectOneBox(bench, text, "KRV610xFWUpg", kNoticeStyle);
    }
}

TEST(Program, MalformedBenchDescriptionIsRefusedNamingTheFile) {
    ProgramBench bench(benchWith({bridge("a", "12042391F000")}));
    bench.writeBenchDescription("{ \"controllers\": [ }");
    const ProgramRun r = run(bench, {"/S", "/C:12042391F000"});
    EXPECT_EQ(r.exitCode, -1);
    EXPECT_NE(r.output.find("bench.json: malformed JSON"), std::string::npos) << r.output;
}

TEST(Program, VersionCheckFindsTheVersionOnTheSecondBridge) {
    ProgramBench bench(benchWith({bridge("a", "111111111111"), bridge("b", "12042391F000")}));
    EXPECT_EQ(run(bench, {"/C:12042391f000", "/P:-1"}).exitCode, 0);  // "/P:" is not read with "/C:"
    EXPECT_TRUE(bench.messageBoxes().empty());
    const std::string log = bench.debugLog();
    EXPECT_EQ(occurrences(log, "Firmware Version Check Failed"), 1u) << log;
    EXPECT_NE(log.find("\r\nERR::CKRV610xFWUpgDlg::OnInitDialog:"), std::string::npos);
    EXPECT_NE(log.find("iTarget[0], Firmware Version Check Failed: strTargetFwVer[111111111111], "
                       "m_strInputChkFWVer[12042391f000]"),
              std::string::npos);
}

TEST(Program, VersionCheckWithoutTheVersion) {
    ProgramBench bench(benchWith({bridge("a", "111111111111"), bridge("b", "222222222222")}));
    EXPECT_EQ(run(bench, {"/E:131112910000"}).exitCode, -3);
    EXPECT_NE(
        bench.debugLog().find("iTarget[1], Firmware Version Check Failed: strTargetFwVer[222222222222]"),
        std::string::npos);
}

TEST(Program, NoBridge) {
    for (const Args& args : {Args{"/S"}, Args{"/C:12042391F000"}, Args{}}) {
        ProgramBench bench(benchWith({}));
        EXPECT_EQ(run(bench, args).exitCode, -4);
        EXPECT_NE(bench.debugLog().find("ERR::CKRV610xFWUpgDlg::OnInitDialog:"), std::string::npos);
        EXPECT_NE(bench.debugLog().find("QUIB_DEVICE_NOT_FOUND!!!!"), std::string::npos);
        if (args.empty()) {
            expectOneBox(bench, "Please insert KRV610x device.", "KRV610xFWUpg", kNoticeStyle);
        } else {
            EXPECT_TRUE(bench.messageBoxes().empty());
        }
    }
}

// The native backend on a machine without USB: the same outcome as an empty bench, and the log says why.
TEST(Program, NativeRunWithoutUsbFindsNothingAndSaysWhy) {
    ProgramBench bench(benchWith({}));
    const std::filesystem::path noUsb = bench.toolFolder().parent_path() / "sysfs";
    std::filesystem::create_directories(noUsb / "block");
    for (const Args& args : {Args{"/S", "/DBG:3"}, Args{"/C:12042391F000", "/DBG:3"}}) {
        EXPECT_EQ(bench.runNative(args, noUsb).exitCode, -4);
        EXPECT_NE(bench.nativeLog().find("No USB host controller found"), std::string::npos)
            << bench.nativeLog();
        EXPECT_NE(bench.nativeLog().find("QUIB_DEVICE_NOT_FOUND!!!!"), std::string::npos);
    }
    EXPECT_TRUE(bench.messageBoxes().empty()) << "the bench was not used";
}

TEST(Program, ConnectionStatusNamesTheSpeed) {
    for (auto [link, code] :
         {std::pair{"full", 6}, std::pair{"high", 7}, std::pair{"super", 8}, std::pair{"plus", 9}}) {
        ProgramBench bench(benchWith({bridge("a", "12042391F000", link)}));
        EXPECT_EQ(run(bench, {"/S", "/D"}).exitCode, code) << link;
    }
}

TEST(Program, ConnectionStatusOfAPCIeBridgeWithLaneSuffixIsUnknown) {
    Json pcie = bridge("p", "12042391F000", "super");
    pcie["family"] = "8500";
    pcie["device_type"] = 7;
    pcie["lanes"] = 1;
    ProgramBench bench(benchWith({pcie}));
    // A PCIe image name makes the scan look for the PCIe family.
    std::ofstream(bench.toolFolder() / "TV_PCIE_fw.bin") << "image";
    EXPECT_EQ(run(bench, {"/DBG:3", "/D", "/U:TV_PCIE_fw.bin"}).exitCode, -13);
    // The debug switch was consumed before "/D" was looked for, and its level reached the program's log.
    EXPECT_NE(bench.debugLog().find("MSG::CKRV610xFWUpgDlg::OnInitDialog:"), std::string::npos);
}

TEST(Program, RefusedSwitchArguments) {
    const std::vector<std::tuple<Args, int, std::string>> cases = {
        {{"/C:"}, -10, "Please Input FW Version!!!"},
        {{"/N:", "x"}, -10, "Please Input FW Version!!!"},
        {{"/P:-1"}, -10, "Please Input Valid PhysicalDrive Number!!!"},
        {{"/PD:pd_image"}, -10, "Please Input PD Version!!!"},
        {{"/MCU:"}, -10, "Please Input MCU Version!!!"},
        {{"/U:missing.bin"}, -5, "QUIB_FILE_NOT_FOUND!!!"},
        {{"/U:*.bin"}, -5, "QUIB_FILE_NOT_FOUND!!!"},
        {{"/s", "/C:"}, -10, "Please Input FW Version!!!"},  // "/s" is not the silent switch
    };
    for (const auto& [args, code, text] : cases) {
        SCOPED_TRACE(args.front());
        for (bool silent : {false, true}) {
            ProgramBench bench(benchWith({bridge("a", "12042391F000")}));
            Args all = args;
            if (silent) all.insert(all.begin(), "/S");
            EXPECT_EQ(run(bench, all).exitCode, code);
            if (silent) {
                EXPECT_TRUE(bench.messageBoxes().empty());
            } else {
                expectOneBox(bench, text, "Error", kErrorBoxStyle);
            }
        }
    }
}

TEST(Program, SilentVersionMatchAgainstTheSettingsFails) {
    // The packaged settings ask for version 12042391F000.
    ProgramBench bench(benchWith({bridge("a", "111111111111"), bridge("b", "222222222222")}));
    EXPECT_EQ(run(bench, {"/S", "/DBG:3"}).exitCode, -3);
    const std::string log = bench.debugLog();
    EXPECT_NE(log.find("Dev[1]: FW version(222222222222), strParameter[iCountPara]=(12042391F000)"),
              std::string::npos);
    EXPECT_EQ(occurrences(log, "strParameter[iCountPara]="), 32u);  // 16 entries x 2 devices
    EXPECT_NE(log.find("ERR::CKRV610xFWUpgDlg::OnInitDialog:"), std::string::npos);
    EXPECT_NE(log.find("FW version match fail"), std::string::npos);
}

TEST(Program, UpdateOfAllDevicesAfterTheVersionMatchNamesTheImage) {
    for (const Args& args : {Args{"/S", "/DBG:3"}, Args{"/O"}}) {  // "/O" means nothing without "/S"
        ProgramBench bench(benchWith({bridge("a", "12042391F000"), bridge("b", "111111111111")}));
        const ProgramRun r = run(bench, args);
        const std::string log = bench.debugLog();
        EXPECT_EQ(r.exitCode, 0) << log;
        EXPECT_TRUE(bench.messageBoxes().empty());
        if (args.size() == 2) {
            EXPECT_NE(log.find("Dev[0]: FW version(12042391f000) match!"), std::string::npos) << log;
            EXPECT_NE(log.find("SearchFile: m_strFWBinFile: [131112_91_00_00.bin]"), std::string::npos);
            const std::string image = (bench.toolFolder() / "131112_91_00_00.bin").string();
            EXPECT_NE(log.find("g_pFWUpgDlg->pExchangeData->cFwPath: [" + image + "]"), std::string::npos);
        }
    }
}

TEST(Program, UsersFirmwareFileOutlivesTheRun) {
    ProgramBench bench(benchWith({bridge("a", "111111111111")}));
    std::ofstream(bench.toolFolder() / "Config_mine.rom") << "my image";
    // The settings' version match fails after the file was taken; run() checks the file is still there.
    EXPECT_EQ(run(bench, {"/N:ABC", "/U:Config_mine.rom", "/S", "/DBG:3"}).exitCode, -3);
    const std::string log = bench.debugLog();
    EXPECT_NE(log.find("AA: m_strInputSerialNumber: ABC"), std::string::npos) << log;
    EXPECT_NE(log.find("SearchFile: m_strFWBinFile: [Config_mine.rom]"), std::string::npos);
}

TEST(Program, VersionReportInSilentModeEndsWithZero) {
    ProgramBench bench(benchWith({bridge("a", "111111111111"), bridge("b", "12042391F000")}));
    EXPECT_EQ(run(bench, {"/S", "/O"}).exitCode, 0);
    EXPECT_EQ(bench.toolFile("KRV610xVersion.txt"), "0:111111111111\r\n1:12042391f000\r\n");
}

}  // namespace
}  // namespace quib::frontend::testing
