// KRV610xFWUpg: firmware upgrade program for the KRV610x and KRV850x USB bridges.
#include <cstdio>
#include <exception>

#include "frontend/fwupg_app.h"
#if QUIB_HAVE_PACKAGED_FILES
#include "frontend/resources/packaged_files.h"
#endif

int main(int argc, char** argv) {
#if QUIB_HAVE_PACKAGED_FILES
    quib::frontend::registerPackagedFiles();
#endif
    try {
        CKRV610xFWUpgApp theApp;
        // Runs that end early leave through the dialog's exit routine (std::exit) and never return here.
        // Exit codes are negative for failures; the parent sees them modulo 256 (-4 arrives as 252).
        return theApp.InitInstance(argc, argv);
    } catch (const std::exception& e) {
        // For example a bench folder that cannot be used.
        std::fprintf(stderr, "KRV610xFWUpg: %s\n", e.what());
        return -1;
    }
}
