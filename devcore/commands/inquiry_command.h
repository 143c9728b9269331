// The standard INQUIRY the library sends: 12-byte CDB asking for the vendor inquiry length.
#pragma once

#include "devcore/transport/scsi_request.h"

namespace quib::devcore {

ScsiCommand inquiryCommand();

// Whether a device still takes commands on a handle: the control operation of an INQUIRY succeeds (a device
// status, even CHECK CONDITION, is an answer too). A device that left the bus does not.
bool stillAnswers(platform::DeviceHandle hDev);

}  // namespace quib::devcore
