// The standard INQUIRY the library sends: 12-byte CDB asking for the vendor inquiry length.
#pragma once

#include "devcore/transport/scsi_request.h"

namespace quib::devcore {

ScsiCommand inquiryCommand();

// Whether a device may still be behind a handle. It has left the bus only when an INQUIRY's control
// operation fails with an error that says the device is gone; a device status (even CHECK CONDITION) is an
// answer, and any other failure proves nothing: the probe is repeated a few times, and a device never
// proven gone counts as still there.
bool stillAnswers(platform::DeviceHandle hDev);
// System errors that mean the device behind a handle is gone (it left the bus or was replaced).
bool isDeviceGoneError(std::uint32_t errorCode);

}  // namespace quib::devcore
