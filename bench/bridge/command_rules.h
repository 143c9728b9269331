// What every command a bridge knows must look like: its CDB length, its reserved bytes, the lengths in
// the CDB against the transfer length, and its data direction. A real chip refuses anything else with
// CHECK CONDITION, ILLEGAL REQUEST / INVALID FIELD IN CDB.
#pragma once

#include <optional>

#include "bench/scsi_types.h"

namespace bench {

// The refusal of a malformed command; none when it is well formed or not one the chip knows (an unknown
// operation code is refused by the chip's dispatch with INVALID COMMAND OPERATION CODE). 0xEC is known
// only to a bridge with a PD controller, which judges its sub-commands itself.
std::optional<ScsiReply> refuseMalformed(const ScsiCommand& command, bool pcieFamily,
                                         bool pdController = false);

}  // namespace bench
