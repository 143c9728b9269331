// quibdiag: bridge and drive diagnostics for technicians and scripts, built on the quibusb library's
// public entry points only.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <iostream>

#include "include/quibusb.h"
#include "tools/quibdiag/command_support.h"
#include "tools/quibdiag/diag_error.h"

namespace {

using quibdiag::ExitCode;

int fail(ExitCode code, const std::string& message) {
    std::cerr << "quibdiag: " << message << "\n";
    return static_cast<int>(code);
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"quibdiag: diagnostics of KRV610x and KRV850x bridges and their drives"};
    app.fallthrough();  // --json and --debug-level may follow the subcommand
    app.require_subcommand(1);
    bool json = false;
    std::string debugLevel;
    app.add_flag("--json", json, "print one JSON object for scripts");
    app.add_option("--debug-level", debugLevel, "the library's log level 0..3");
    quibdiag::Action action;
    quibdiag::addBridgeCommands({app, action});
    quibdiag::addDriveCommands({app, action});
    quibdiag::addNvmeCommands({app, action});
    quibdiag::addStorageCommands({app, action});

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        return fail(ExitCode::Usage, e.what());
    } catch (const quibdiag::DiagError& e) {
        return fail(e.code(), e.what());
    }

    int code = 0;
    try {
        if (!debugLevel.empty())
            QuibUSBLib_Function_vSetDllDebugLevel(
                static_cast<std::int32_t>(quibdiag::numberOption("--debug-level", debugLevel, 0, 3)));
        const quibdiag::Report report = action();
        if (json)
            std::cout << report.data.dump(2) << "\n";
        else
            std::cout << report.text;
        std::cout.flush();
    } catch (const quibdiag::DiagError& e) {
        code = fail(e.code(), e.what());
    } catch (const std::exception& e) {
        code = fail(ExitCode::DeviceFailure, e.what());
    }
    QuibUSBLib_CloseDev();
    return code;
}
