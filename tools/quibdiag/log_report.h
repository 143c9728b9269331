// Decoded logs for people and scripts: the SMART logs of SATA drives (0x00, 0x01, 0x06) and the NVMe log
// pages of PCIe bridges (0x01, 0x02). Other addresses give an empty report: the caller shows the bytes.
#pragma once

#include <cstdint>

#include "tools/quibdiag/bytes.h"
#include "tools/quibdiag/report.h"

namespace quibdiag {

// data["decoded"] holds the decoded log (absent for an address without a decoder); text describes it.
Report logReport(bool nvme, std::uint8_t address, ByteView data);

}  // namespace quibdiag
