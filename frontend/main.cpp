// KRV610xFWUpg: firmware upgrade program for the KRV610x and KRV850x USB bridges.
#include <cstdio>
#include <exception>

#include "frontend/fwupg_app.h"
#if QUIB_HAVE_PACKAGED_FILES
#include "frontend/resources/packaged_files.h"
#endif

#if defined(_WIN32)
#include <string>
#include <vector>

#include "platform/backends.h"

int run(int argc, char** argv);

// Windows passes the command line in UTF-16: taken whole, so that paths such as "/U:C:\Prüfstand 2\x.bin"
// arrive as they were typed, and handed on in UTF-8 as everywhere else.
int wmain(int argc, wchar_t** wargv) {
    std::vector<std::string> texts;
    for (int i = 0; i < argc; ++i) texts.push_back(quib::platform::wideToUtf8(wargv[i]));
    std::vector<char*> argv;
    for (std::string& t : texts) argv.push_back(t.data());
    argv.push_back(nullptr);
    return run(argc, argv.data());
}

int run(int argc, char** argv) {
#else
int main(int argc, char** argv) {
#endif
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
