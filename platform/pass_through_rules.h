// What the operating system checks in a SCSI pass-through request before any device sees it: the header,
// the CDB length, the direction, the time-out, and where the sense and data areas lie against the sizes
// the caller passed. Every storage backend refuses the same requests with the same error.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/records/scsi_pass_through.h"

namespace quib::platform {

inline constexpr std::uint32_t kMaxPassThroughTimeOutSeconds = 30 * 60 * 60;

// 0 when the request may go to the device, else the system error it is refused with (87).
std::uint32_t judgeBufferedRequest(const records::ScsiPassThrough& spt, std::uint32_t inputSize,
                                   std::uint32_t outputSize);
std::uint32_t judgeDirectRequest(const records::ScsiPassThrough& spt, std::size_t dataSize);

}  // namespace quib::platform
