// What a bridge's drive is described to answer, for scripts that compare a host tool's reading of the drive
// (smartctl, the library's SMART exports) with the bench: `quibbench show --json`'s "drive".
#pragma once

#include <nlohmann/json.hpp>

#include "bench/description.h"

namespace bench::tool {

// {"kind", "model", "serial", "firmware", "sectors", "logical_bytes_per_sector", "physical_bytes_per_sector",
//  "reported_blocks", "reported_bytes_per_sector", "hidden_sectors", "power_mode", "smart": {"healthy",
//  "attributes": [{"id", "flags", "value", "worst", "threshold", "raw"}], "self_tests": [{"type", "status",
//  "remaining", "hours", "lba"}], "errors": [{"hours", "command", "features", "count", "lba", "error", "status",
//  "state"}], "error_count"}}; lists most recent first.
nlohmann::json driveJson(const DriveDescription& drive);

}  // namespace bench::tool
