// What the subcommands share: how they register, their common options and checks.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "tools/quibdiag/bytes.h"
#include "tools/quibdiag/report.h"

namespace quibdiag {

using Action = std::function<Report()>;

// The subcommand the command line chose sets the one action main runs.
struct Registry {
    CLI::App& app;
    Action& chosen;
};

void addBridgeCommands(Registry registry);   // list, gpio, uart, power, eeprom, vendor, speed
void addDriveCommands(Registry registry);    // identify, smart, log, last-sector
void addNvmeCommands(Registry registry);     // nvme identify, log, packet
void addStorageCommands(Registry registry);  // rwtest

// "-b,--bridge INDEX", required: the index `quibdiag list` shows.
void addBridgeOption(CLI::App* command, std::string& text);
int bridgeIndex(const std::string& text);
// A number option checked against its range; throws DiagError Usage naming the option.
std::uint64_t numberOption(const std::string& option, const std::string& text, std::uint64_t minimum,
                           std::uint64_t maximum);
// Writes the data to `path` when one was given.
void saveIfAsked(const std::string& path, ByteView data);

}  // namespace quibdiag
