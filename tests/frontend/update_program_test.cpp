// The program's main job over bench folders: updates of every bridge or one drive, the serial-number image,
// the user's image, the version report, dialog-mode runs, PD/MCU runs and interrupts.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "bench/bench.h"
#include "bench/bridge/firmware_image.h"
#include "bench/bridge/image_files.h"
#include "tests/common/folder_snapshot.h"
#include "tests/frontend/program_runner.h"

namespace quib::frontend::testing {
namespace {

using Json = nlohmann::json;
using Bytes = std::vector<std::uint8_t>;

const std::string kOld = "12042391F000";
const std::string kNew = "131112910000";

Bytes bankOf(const ProgramBench& b, const std::string& id, int n) {
    Bytes out;
    openBench(b)->withChip(id, [&](bench::BridgeChip& chip) { out = chip.firmwareBank(n); });
    return out;
}

Json bridgeBot(const std::string& id, const std::string& version) {
    Json j = bridge(id, version);
    j["uas"] = false;  // verified with read-back
    return j;
}

TEST(ProgramUpdate, SilentUpdateOfTwoBridgesThenTheVersionIsNoLongerListed) {
    ProgramBench bench(benchWith({bridgeBot("a", kOld), bridgeBot("b", kOld)}));
    const ProgramRun silent = runChecked(bench, {"/S"});
    EXPECT_EQ(silent.exitCode, 0);
    EXPECT_TRUE(openBench(bench)->dialogCalls().empty());
    EXPECT_EQ(silent.output, "");
    for (const auto& s : openBench(bench)->bridgeStatus()) {
        EXPECT_EQ(s.runningVersion, kNew) << s.id;
        EXPECT_EQ(s.restarts, 1u) << s.id;
    }
    EXPECT_EQ(bankOf(bench, "a", 0), bench::makeStreamOfVersion(kNew, 60902, false));
    // The settings list only the old version.
    EXPECT_EQ(runChecked(bench, {"/S"}).exitCode, -3);
    EXPECT_NE(bench.debugLog().find("FW version match fail"), std::string::npos);
    EXPECT_EQ(runChecked(bench, {"/S", "/O"}).exitCode, 0);
    EXPECT_EQ(bench.toolFile("KRV610xVersion.txt"), "0:131112910000\r\n1:131112910000\r\n");
}

TEST(ProgramUpdate, ChosenDriveOnlyAndADriveNoBridgeCarries) {
    ProgramBench bench(benchWith({bridgeBot("a", kOld), bridgeBot("b", kOld)}));
    EXPECT_EQ(runChecked(bench, {"/S", "/P:2"}).exitCode, 0);
    EXPECT_EQ(openBench(bench)->bridgeStatus("a").runningVersion, kOld);
    EXPECT_EQ(openBench(bench)->bridgeStatus("b").runningVersion, kNew);

    // A drive no bridge is on is no device found, never a success with nothing programmed.
    for (const std::vector<std::string>& args : {std::vector<std::string>{"/S", "/P:7"}, {"/P:7"}}) {
        ProgramBench other(benchWith({bridgeBot("a", kOld)}));
        EXPECT_EQ(runChecked(other, args).exitCode, -4);
        for (const auto& r : openBench(other)->traceAll()) EXPECT_TRUE(r.cdb[0] != 0xE1 && r.cdb[0] != 0xE3);
        EXPECT_EQ(openBench(other)->bridgeStatus("a").runningVersion, kOld);
        if (args.size() == 1) {
            std::string lastStatus;
            for (const auto& c : openBench(other)->dialogCalls())
                if (c.op == "status") lastStatus = c.text;
            EXPECT_EQ(lastStatus, "Fail! -4");
        }
    }
}

// One bridge fails (its writes are refused, or it could not even be read when it was found) while the
// other succeeds: the run fails, whatever order they come in.
TEST(ProgramUpdate, FailureOfEitherBridgeIsTheOutcome) {
    const Json unreadable = {
        {"kind", "command"}, {"opcode", 0xE4}, {"register", 0x07F0}, {"as", "check_condition"}, {"times", 3}};
    const Json refusesWrites = {{"kind", "command"}, {"opcode", 0xE1}, {"times", 0}};
    for (const Json& fault : {unreadable, refusesWrites}) {
        for (const std::string failing : {"a", "b"}) {
            Json description = benchWith({bridgeBot("a", kOld), bridgeBot("b", kOld)});
            Json f = fault;
            f["bridge"] = failing;
            description["faults"] = Json::array({f});
            ProgramBench bench(description);
            EXPECT_EQ(runChecked(bench, {"/S"}).exitCode, -1) << f.dump();
            const std::string other = failing == "a" ? "b" : "a";
            EXPECT_EQ(openBench(bench)->bridgeStatus(other).runningVersion, kNew);
            EXPECT_EQ(openBench(bench)->bridgeStatus(failing).runningVersion, kOld);
            const std::string index = failing == "a" ? "0" : "1";
            EXPECT_NE(bench.debugLog().find("Dev[" + index + "] UpdateFirmware fail, iReturn=-1"),
                      std::string::npos);
        }
    }
}

// When the only bridge's version could not be read, neither the version check nor the settings' version
// match may answer "no bridge has it": the run fails.
TEST(ProgramUpdate, UnreadableVersionIsAFailureNotAMismatch) {
    for (const std::vector<std::string>& args : {std::vector<std::string>{"/S"}, {"/C:12042391F000"}}) {
        Json description = benchWith({bridgeBot("a", kOld)});
        description["faults"] = Json::array({{{"kind", "command"},
                                              {"opcode", 0xE4},
                                              {"register", 0x07F0},
                                              {"as", "check_condition"},
                                              {"times", 3}}});
        ProgramBench bench(description);
        EXPECT_EQ(runChecked(bench, args).exitCode, -1) << args[0];
        EXPECT_NE(bench.debugLog().find("its firmware version could not be read"), std::string::npos);
        EXPECT_EQ(openBench(bench)->bridgeStatus("a").runningVersion, kOld);
    }
}

// A bridge whose INQUIRY fails once while it is being found is asked again, not left out of the run.
TEST(ProgramUpdate, BridgeWhoseInquiryFailsOnceIsStillFound) {
    for (int nth = 1; nth <= 4; ++nth) {
        Json description = benchWith({bridgeBot("a", kOld), bridgeBot("b", kOld)});
        description["faults"] =
            Json::array({{{"kind", "command"}, {"opcode", 0x12}, {"bridge", "b"}, {"nth", nth}}});
        ProgramBench bench(description);
        EXPECT_EQ(runChecked(bench, {"/S"}).exitCode, 0) << nth;
        for (const auto& s : openBench(bench)->bridgeStatus()) EXPECT_EQ(s.runningVersion, kNew) << nth;
    }
}

// Links in the tool folder, in place of what the program writes and removes, are never followed: the
// folder they point to stays byte for byte as it was, whatever the run (a query or an update).
TEST(ProgramUpdate, LinksInTheToolFolderAreNeverFollowed) {
    namespace fs = std::filesystem;
    struct Case {
        std::string link;    // in the tool folder
        std::string target;  // within the victim folder ("" the folder itself)
        std::vector<std::string> args;
        int exitCode;
    };
    const std::vector<Case> cases = {
        {"KRVFW_Temp", "", {"/C:12042391F000"}, 0},
        {"KRVFW_Temp", "", {"/S"}, -8},
        {"fwupgrade.ini", "notes.txt", {"/S"}, 0},
        {"131112_91_00_00.bin", "notes.txt", {"/S"}, 0},
    };
    for (const Case& c : cases) {
        ProgramBench bench(benchWith({bridgeBot("a", kOld)}));
        const fs::path victim = bench.toolFolder().parent_path() / "victim";
        fs::create_directories(victim / "sub");
        std::ofstream(victim / "notes.txt") << "the user's notes";
        std::ofstream(victim / "sub" / "TempBinData.bin") << "the user's data";
        const auto before = quib::testing::folderSnapshot(victim);
        if (c.target.empty())
            fs::create_directory_symlink(victim, bench.toolFolder() / c.link);
        else
            fs::create_symlink(victim / c.target, bench.toolFolder() / c.link);
        EXPECT_EQ(bench.run(c.args).exitCode, c.exitCode) << c.link;
        EXPECT_EQ(quib::testing::folderSnapshot(victim), before) << c.link;
        EXPECT_EQ(openBench(bench)->bridgeStatus("a").runningVersion,
                  c.exitCode == 0 && c.args[0] == "/S" ? kNew : kOld);
    }
}

// The serial-number image is never copied over a file of the user's of the same name: the run stops as
// for a copy that failed, and the file stays.
TEST(ProgramUpdate, SerialNumberImageNeverReplacesAUsersFile) {
    ProgramBench bench(benchWith({bridgeBot("a", kOld)}));
    bench.writeToolFile("Config_131112_91_00_00.rom", {'m', 'i', 'n', 'e'});
    EXPECT_EQ(runChecked(bench, {"/S", "/N:SN-1"}).exitCode, -5);
    EXPECT_EQ(bench.toolFile("Config_131112_91_00_00.rom"), "mine");
    for (const auto& r : openBench(bench)->traceAll()) EXPECT_TRUE(r.cdb[0] != 0xE1 && r.cdb[0] != 0xE3);
    EXPECT_NE(bench.debugLog().find("a file of that name is already in the tool folder"), std::string::npos);
}

TEST(ProgramUpdate, SerialNumberGoesIntoTheConfigurationBlockThroughATemporaryConfigFile) {
    ProgramBench bench(benchWith({bridgeBot("a", kOld)}));
    EXPECT_EQ(runChecked(bench, {"/S", "/N:SER-0042", "/DBG:3"}).exitCode, 0);
    Bytes config;
    openBench(bench)->withChip("a", [&](bench::BridgeChip& chip) {
        const auto b = chip.configBank(0);
        config.assign(b.begin(), b.end());
    });
    EXPECT_EQ(std::string(config.begin() + 4, config.begin() + 12), "SER-0042");
    EXPECT_EQ(config[12], 0xFF);
    EXPECT_EQ(std::string(config.begin() + 24, config.begin() + 27), "KRV");  // from device 0's manufacturer
    EXPECT_EQ(config[126], 0x5A);
    EXPECT_EQ(openBench(bench)->bridgeStatus("a").runningVersion, kNew);
    EXPECT_NE(bench.debugLog().find("New F/W path:"), std::string::npos);
    // runChecked found no Config_ file left behind.
}

TEST(ProgramUpdate, SerialNumberImageThatCannotBeCopiedStopsTheUpdate) {
    // The program derives the image's name by replacing every "bin": this one has another "bin", so the
    // name it looks for is not the one the library built.
    ProgramBench bench(benchWith({bridgeBot("a", kOld)}));
    bench.writeToolFile("binary_131112_91_00_00.bin", bench::makeImage(kNew, 40000));
    EXPECT_EQ(runChecked(bench, {"/S", "/N:SN-1", "/U:binary_131112_91_00_00.bin"}).exitCode, -5);
    for (const auto& r : openBench(bench)->traceAll()) EXPECT_TRUE(r.cdb[0] != 0xE1 && r.cdb[0] != 0xE3);
    EXPECT_NE(bench.debugLog().find("copying the serial-number image"), std::string::npos);
    // In dialog mode the error box and the status line say so.
    ProgramBench dialog(benchWith({bridgeBot("a", kOld)}));
    dialog.writeToolFile("binary_131112_91_00_00.bin", bench::makeImage(kNew, 40000));
    EXPECT_EQ(runChecked(dialog, {"/N:SN-1", "/U:binary_131112_91_00_00.bin"}).exitCode, -5);
    const Json boxes = dialog.messageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0]["text"], "m_DllBuildBinFile() fail");
    bool statusLine = false;
    for (const auto& c : openBench(dialog)->dialogCalls())
        statusLine = statusLine || c.text == "Build Bin File... Failed";
    EXPECT_TRUE(statusLine);
}

TEST(ProgramUpdate, BadSerialNumberIsRefused) {
    ProgramBench bench(benchWith({bridgeBot("a", kOld)}));
    const ProgramRun r = runChecked(bench, {"/S", "/N:SER\x7F"});
    EXPECT_EQ(r.exitCode, -10);
    EXPECT_NE(bench.debugLog().find("printable ASCII"), std::string::npos);
    EXPECT_EQ(openBench(bench)->bridgeStatus("a").runningVersion, kOld);
}

TEST(ProgramUpdate, UsersImageIsProgrammedAndStaysInTheToolFolder) {
    ProgramBench bench(benchWith({bridgeBot("a", kOld)}));
    const Bytes image = bench::makeImage("131112910001", 40000);
    bench.writeToolFile("131112_91_00_01.bin", image);
    EXPECT_EQ(runChecked(bench, {"/S", "/U:131112_91_00_01.bin"}).exitCode, 0);
    EXPECT_EQ(openBench(bench)->bridgeStatus("a").runningVersion, "131112910001");
    const std::string kept = bench.toolFile("131112_91_00_01.bin");
    EXPECT_EQ(Bytes(kept.begin(), kept.end()), image);
}

TEST(ProgramUpdate, DialogRunShowsItsProgressAndOutcome) {
    ProgramBench bench(benchWith({bridgeBot("a", kOld)}));
    const ProgramRun run = runChecked(bench, {});
    EXPECT_EQ(run.exitCode, 0);
    // Not a terminal: plain lines.
    EXPECT_EQ(run.output.find('\033'), std::string::npos) << run.output;
    EXPECT_NE(
        run.output.find("status: Success! Please Relink the USB Device!\nprogress: 100%\n"
                        "PhysicalDrive 1: serial SNa, firmware 12042391f000 -> 131112910000, updated\n"),
        std::string::npos)
        << run.output;
    std::vector<std::string> calls;
    for (const auto& c : openBench(bench)->dialogCalls()) {
        std::string s = c.op;
        if (!c.text.empty()) s += " " + c.text;
        if (c.op == "text_colour" || c.op == "bar_colour" || c.op == "position" || c.op == "show")
            s += " " + std::to_string(c.value);
        if (c.op == "progress_range") s += " " + std::to_string(c.value) + ".." + std::to_string(c.value2);
        calls.push_back(s);
    }
    const std::vector<std::string> expected = {
        "caption Torvane USB Mass Storage Firmware Upgrade ToolVer3, 1, 7, 6",
        "status  ",
        "text_colour 255",
        "status  On going ",
        "progress_range 0..100",
        "position 0",
        "bar_colour " + std::to_string(0 | (150 << 8) | (75 << 16)),
        "position 10",
        "status Update KRV610x Firmware...",
        "status Success! Please Relink the USB Device!",
        "position 100",
        "summary PhysicalDrive 1: serial SNa, firmware 12042391f000 -> 131112910000, updated",
        "show 1"};
    EXPECT_EQ(calls, expected);
    EXPECT_EQ(openBench(bench)->bridgeStatus("a").runningVersion, kNew);
}

TEST(ProgramUpdate, DialogRunAfterAFailureShowsTheCodeInRed) {
    Json description = benchWith({bridgeBot("a", kOld)});
    description["faults"] = Json::array({{{"kind", "command"}, {"opcode", 0xE1}, {"times", 0}}});
    description["dialog_answer"] = "close";
    ProgramBench bench(description);
    EXPECT_EQ(runChecked(bench, {}).exitCode, -1);
    const auto calls = openBench(bench)->dialogCalls();
    ASSERT_GE(calls.size(), 5u);
    EXPECT_EQ(calls[calls.size() - 5].text, "Fail! -1");
    EXPECT_EQ(calls[calls.size() - 4].op, "bar_colour");
    EXPECT_EQ(calls[calls.size() - 4].value, 255 | (50 << 8) | (50 << 16));
    EXPECT_EQ(
        calls[calls.size() - 2].text,
        "PhysicalDrive 1: serial SNa, firmware 12042391f000 -> not known, failed: Can not update Firmware !");
    EXPECT_EQ(calls.back().value, 2);  // closed with the title-bar button: files removed all the same
}

TEST(ProgramUpdate, DialogRunSaysWhatBecameOfEachBridgeAndThatTheSerialNumberWasCut) {
    ProgramBench bench(benchWith({bridgeBot("a", kOld), bridgeBot("b", kOld)}));
    EXPECT_EQ(runChecked(bench, {"/P:2", "/N:ABCDEFGHIJKLMNOPQRSTUVWX"}).exitCode, 0);
    const auto calls = openBench(bench)->dialogCalls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[calls.size() - 2].op, "summary");
    EXPECT_EQ(calls[calls.size() - 2].text,
              "Serial number cut to 20 characters: ABCDEFGHIJKLMNOPQRST\n"
              "PhysicalDrive 1: serial SNa, firmware 12042391f000 -> unchanged, not selected\n"
              "PhysicalDrive 2: serial SNb, firmware 12042391f000 -> 131112910000, updated");
    EXPECT_EQ(openBench(bench)->bridgeStatus("a").runningVersion, kOld);
    EXPECT_EQ(openBench(bench)->bridgeStatus("b").runningVersion, kNew);
    openBench(bench)->withChip("b", [](bench::BridgeChip& chip) {
        const auto config = chip.configBank(0);
        EXPECT_EQ(std::string(config.begin() + 4, config.begin() + 24), "ABCDEFGHIJKLMNOPQRST");
    });
}

// A bench command that blocks the program until a signal arrives, after telling the test through a pipe.
TEST(ProgramUpdate, InterruptRemovesThePackagedFiles) {
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        Json description = benchWith({bridgeBot("a", kOld)});
        description["faults"] = Json::array({{{"kind", "hold"}, {"opcode", 0xE3}, {"notify_fd", 9}}});
        ProgramBench bench(description);
        const auto before = bench.toolFolderContents();
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::dup2(fds[1], 9);
            ::setenv("QUIB_BENCH", bench.benchFolder().c_str(), 1);
            const std::string program = (bench.toolFolder() / "KRV610xFWUpg").string();
            ::execl(program.c_str(), program.c_str(), "/S", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        char held = 0;
        ASSERT_EQ(::read(fds[0], &held, 1), 1);  // the program is inside the firmware write
        EXPECT_TRUE(std::filesystem::exists(bench.toolFolder() / "libquibusb.so"));
        ::kill(child, signal);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ::close(fds[0]);
        ASSERT_TRUE(WIFEXITED(status)) << signal;
        EXPECT_EQ(static_cast<std::int8_t>(WEXITSTATUS(status)), -1);
        EXPECT_EQ(bench.toolFolderContents(), before) << signal;
    }
}

}  // namespace
}  // namespace quib::frontend::testing
