// A stand-in for the program in the probe's check: drives the window as a dialog-mode update does, and
// between the steps blocks reading a line from standard input, as the update blocks in a library call.
// The check script sends each line once the probe has seen the step; the window must go on answering
// and painting meanwhile. Exits with the window's answer (1 OK, 2 closed).
#include <cstdio>

#include "platform/win32/win32_dialog.h"

namespace {

void waitForTheScript() {
    char line[16];
    if (!std::fgets(line, sizeof line, stdin)) std::exit(3);
}

}  // namespace

int main() {
    using quib::platform::rgb;
    quib::platform::Win32Dialog dialog;
    dialog.setCaption("Torvane USB Mass Storage Firmware Upgrade ToolVer3, 1, 7, 6");
    dialog.setStatusText(" ");
    dialog.setStatusTextColour(rgb(255, 0, 0));
    waitForTheScript();
    dialog.setStatusText(" On going ");
    dialog.setProgressRange(0, 100, 1);
    dialog.setProgressPosition(0);
    dialog.setProgressBarColour(rgb(0, 150, 75));
    dialog.setProgressPosition(10);
    waitForTheScript();
    dialog.setStatusText("Update KRV610x Firmware...");
    waitForTheScript();
    dialog.setStatusText("Success! Please Relink the USB Device!");
    dialog.setProgressPosition(100);
    dialog.showSummary({"Bridge 0 (PhysicalDrive 1): updated, now 131112910000"});
    const int answer = dialog.showUntilClosed();
    std::printf("answer %d\n", answer);
    return answer;
}
