// The program's window on a terminal, and the removal of a run's files when it is interrupted.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "platform/linux/linux_process.h"
#include "platform/linux/linux_spawn.h"
#include "platform/linux/linux_terminal_dialog.h"
#include "temp_folder.h"

namespace {

using namespace quib::platform;

std::string readAll(std::FILE* f) {
    std::rewind(f);
    std::string text;
    char buf[256];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    return text;
}

TEST(LinuxTerminalDialog, WithoutATerminalEveryChangeIsOnePlainLineAndNothingWaits) {
    std::FILE* in = std::tmpfile();
    std::FILE* out = std::tmpfile();
    {
        TerminalScreen screen(out);
        LinuxTerminalDialog dialog(in, screen);
        EXPECT_FALSE(dialog.drawsOnTerminal());
        dialog.setCaption("Caption");
        dialog.setStatusText(" On going ");
        dialog.setStatusTextColour(rgb(255, 0, 0));
        dialog.setProgressRange(0, 200, 1);
        dialog.setProgressPosition(50);
        dialog.setProgressBarColour(rgb(255, 50, 50));
        dialog.showSummary({"PhysicalDrive 1: serial SNa, firmware 12042391f000 -> 131112910000, updated"});
        EXPECT_EQ(dialog.showUntilClosed(), kIdOk);
    }
    EXPECT_EQ(readAll(out),
              "Caption\nstatus:  On going \nprogress: 25%\n"
              "PhysicalDrive 1: serial SNa, firmware 12042391f000 -> 131112910000, updated\n");
    std::fclose(in);
    std::fclose(out);
}

TEST(LinuxProcess, InterruptCleanupRemovesTheFilesAndEmptiesTheFolders) {
    TempFolder root;
    const std::string kept = root / "kept.bin", gone = root / "quibusb.so", folder = root / "KRVFW_Temp";
    std::ofstream(kept) << "user";
    std::ofstream(gone) << "ours";
    std::filesystem::create_directories(folder);
    std::ofstream(folder + "/TempBinData.bin") << "stream";
    std::ofstream(folder + "/Config_x.rom") << "rom";
    LinuxProcess process;
    process.setInterruptCleanup({gone, root / "never-written"}, {folder}, -1);
    runInterruptCleanupForTest();
    EXPECT_TRUE(std::filesystem::exists(kept));
    EXPECT_FALSE(std::filesystem::exists(gone));
    EXPECT_FALSE(std::filesystem::exists(folder));
    // An empty set removes nothing.
    std::ofstream(gone) << "again";
    process.setInterruptCleanup({}, {}, std::nullopt);
    runInterruptCleanupForTest();
    EXPECT_TRUE(std::filesystem::exists(gone));
}

}  // namespace

namespace {

// A program started without a window: its words as the command line gives them, its exit code, and a
// program that is not there.
TEST(LinuxProcess, RunHiddenGivesTheExitCodeOrTheReasonItCouldNotStart) {
    struct Row {
        const char* arguments;
        std::vector<std::string> words;
    } rows[] = {{" /s C:\\x\\DiskPartTarget1.sc", {"/s", "C:\\x\\DiskPartTarget1.sc"}},
                {" F: \"MY LABEL\"", {"F:", "MY LABEL"}},
                {"  ", {}},
                {" a\"b c\"d", {"ab cd"}}};
    for (const Row& row : rows) EXPECT_EQ(commandLineWords(row.arguments), row.words) << row.arguments;

    LinuxProcess process;
    EXPECT_EQ(process.runHidden("sh", " -c \"exit 3\"", 60000), 3u);
    EXPECT_EQ(process.runHidden("sh", " -c \"echo hidden; echo away >&2\"", 60000), 0u);
    EXPECT_FALSE(process.runHidden("diskpart.exe", " /s script.sc", 60000));
    EXPECT_EQ(lastError(), kErrorFileNotFound);
}

}  // namespace
