// Texts the tool prints about a bench.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "bench/bench.h"

namespace bench::tool {

// Clock, disks, each bridge (bus state, number, running version, chip type, link), trace records and the
// message boxes shown.
std::string describeState(Bench& bench);
// The same as JSON for scripts: {"clock_ms", "bridges": [{"id", "on_bus", "disk_number", "cdrom_number",
// "running_version", "rom_code", "restarts", "drive"}], "trace_records"}; "drive" as driveJson gives it.
nlohmann::json stateJson(Bench& bench);

// The PD side of a bridge: kind, device mode, running version, MCU, power cycles.
std::string describePd(const PdController& pd);

// One line per command received.
std::string describeTrace(const std::vector<TraceRecord>& trace);

// The chip type text discovery derives from a device type ("B", "850A", ...).
std::string chipTypeText(int deviceType);

}  // namespace bench::tool
