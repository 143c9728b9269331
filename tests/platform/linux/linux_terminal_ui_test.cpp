#include "platform/linux/linux_terminal_ui.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "temp_folder.h"

namespace {

using quib::platform::LinuxTerminalUi;

std::string readAll(std::FILE* f) {
    std::rewind(f);
    std::string text;
    char buf[256];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    return text;
}

TEST(LinuxTerminalUiTest, MessageBoxShowsCaptionAndTextAndDoesNotWaitWithoutATerminal) {
    std::FILE* in = std::tmpfile();  // not a terminal: the box must answer at once
    std::FILE* out = std::tmpfile();
    quib::platform::TerminalScreen screen(out);
    LinuxTerminalUi ui(in, screen);
    EXPECT_EQ(ui.messageBox("Please insert KRV610x device.", "KRV610xFWUpg",
                            quib::platform::kMbOk | quib::platform::kMbIconExclamation),
              quib::platform::kIdOk);
    EXPECT_EQ(ui.messageBox("Replace?", "Question", quib::platform::kMbYesNo), quib::platform::kIdNo);
    const std::string shown = readAll(out);
    EXPECT_NE(shown.find("[KRV610xFWUpg]\nPlease insert KRV610x device.\n"), std::string::npos) << shown;
    EXPECT_NE(shown.find("[Question]\nReplace?\n"), std::string::npos);
    std::fclose(in);
    std::fclose(out);
}

TEST(LinuxTerminalUiTest, DebugOutputGoesToTheFileNamedByTheEnvironment) {
    TempFolder dir;
    const std::string file = dir / "debug.txt";
    ::setenv("QUIB_DEBUG_OUTPUT", file.c_str(), 1);
    {
        LinuxTerminalUi ui(nullptr);
        ui.debugOutput("\r\nERR::CQuibUSBDev::Open:12: failed");
        ui.debugOutput("\r\nMSG::second");
    }
    ::unsetenv("QUIB_DEBUG_OUTPUT");
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), "ERR::CQuibUSBDev::Open:12: failed\nMSG::second\n");
}

}  // namespace
