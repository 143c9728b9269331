// The device a service export works on: one open per call, closed when the call ends.
#pragma once

#include <cstdint>

#include "devcore/transport/device_path.h"

namespace quib::services {

// Which of an entry's devices a service opens.
enum class EntryPath {
    AsRecorded,  // its CD-ROM when the bridge presents one, else its disk
    Disk,        // always its disk
};

// Opens the device of list entry ucTargetNumber (read and write, shared, existing only). A missing list,
// an index outside it or a failed open log "CreateFile failed" naming kFn and give an invalid handle.
devcore::ScopedDevice openListEntry(const char* kFn, std::uint8_t ucTargetNumber, EntryPath which);

}  // namespace quib::services
