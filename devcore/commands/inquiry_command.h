// The standard INQUIRY the library sends: 12-byte CDB asking for the vendor inquiry length.
#pragma once

#include "devcore/transport/scsi_request.h"

namespace quib::devcore {

ScsiCommand inquiryCommand();

}  // namespace quib::devcore
