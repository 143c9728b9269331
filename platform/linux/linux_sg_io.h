// The pass-through requests as the kernel's SG_IO takes them: the request record converted to an sg_io_hdr
// and the answer converted back (SCSI status, sense data and its length, bytes moved), with the kernel's
// errors in the system's numbering. Every command goes through one ioctl call, which tests replace.
#pragma once

#include <scsi/sg.h>

#include <cstdint>
#include <span>

#include "common/records/scsi_pass_through.h"
#include "platform/platform.h"

namespace quib::platform::sgio {

// ioctl(fd, SG_IO, header): 0, or -1 with errno set.
using SgIoCall = int (*)(int fd, sg_io_hdr_t& header);
// Replaces the call (nullptr: the kernel's again); returns the one it replaces.
SgIoCall setSgIoCall(SgIoCall call);

// IOCTL_SCSI_PASS_THROUGH over SG_IO: the record's data area and sense area are the transfer's buffers;
// only `outputSize` bytes of the answer reach the caller's record.
ScsiResult passThrough(int fd, records::ScsiPassThroughWithBuffers& record, std::uint32_t inputSize,
                       std::uint32_t outputSize);
// IOCTL_SCSI_PASS_THROUGH_DIRECT over SG_IO: the data travel in `data`.
ScsiResult passThroughDirect(int fd, records::ScsiPassThroughDirect& record, std::span<std::uint8_t> data);

// An errno value in the system's numbering (ENODEV: 1167 device not connected, EACCES: 5, ...).
std::uint32_t systemErrorOf(int errnoValue);

}  // namespace quib::platform::sgio
