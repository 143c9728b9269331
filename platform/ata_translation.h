// An ATA command carried as the SCSI/ATA Translation command ATA PASS-THROUGH (16), for systems whose
// storage stack reaches a USB disk's drive only through its bridge: the request is built from the task
// file, and the device's answer (SCSI status and sense data) is read back into the task file.
#pragma once

#include <cstdint>
#include <span>

#include "common/records/scsi_pass_through.h"
#include "platform/platform.h"

namespace quib::platform::ata {

// The direct request for `request`, moving `length` bytes (PIO, length in the sector count, in blocks).
records::ScsiPassThroughDirect satRequestFor(const AtaRequest& request, std::uint32_t length);

// The task file after the command: status 0x50 for a good answer; for CHECK CONDITION the error and
// status the ATA Status Return descriptor carries, else ERR with ABRT (the drive refused the command).
void readBackTaskFile(const records::ScsiPassThroughDirect& answered, AtaTaskFile& taskFile);

// Carries `request` with `sendDirect` (a direct SCSI pass-through taking the record and the data).
template <class SendDirect>
ScsiResult carryOverSat(AtaRequest& request, std::span<std::uint8_t> data, SendDirect sendDirect) {
    records::ScsiPassThroughDirect record = satRequestFor(request, static_cast<std::uint32_t>(data.size()));
    const ScsiResult result = sendDirect(record, data);
    if (result.ok) readBackTaskFile(record, request.taskFile);
    return result;
}

}  // namespace quib::platform::ata
