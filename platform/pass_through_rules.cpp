#include "platform/pass_through_rules.h"

#include <algorithm>

#include "platform/platform.h"

namespace quib::platform {
namespace {

using records::kMaxScsiLen;
using records::kSptHeaderAndSense;
using records::kSptWholeRecord;
using records::ScsiPassThrough;

constexpr std::uint32_t kHeaderSize = sizeof(ScsiPassThrough);                       // 44
constexpr std::uint32_t kDirectRecordSize = sizeof(records::ScsiPassThroughDirect);  // 80

// Checks both forms share: the header, the CDB, the direction, the time-out, and a sense area that lies
// inside the record behind the header (`senseLimit`: where the record's sense room ends).
std::uint32_t judgeHeader(const ScsiPassThrough& spt, std::uint64_t senseLimit) {
    if (spt.Length != kHeaderSize) return kErrorInvalidParameter;
    if (spt.CdbLength == 0 || spt.CdbLength > sizeof spt.Cdb) return kErrorInvalidParameter;
    if (spt.DataIn > records::kScsiDataUnspecified) return kErrorInvalidParameter;
    if (spt.TimeOutValue == 0 || spt.TimeOutValue > kMaxPassThroughTimeOutSeconds)
        return kErrorInvalidParameter;
    if (spt.SenseInfoLength > 0 && (spt.SenseInfoOffset < kHeaderSize ||
                                    std::uint64_t{spt.SenseInfoOffset} + spt.SenseInfoLength > senseLimit))
        return kErrorInvalidParameter;
    return 0;
}

}  // namespace

std::uint32_t judgeBufferedRequest(const ScsiPassThrough& spt, std::uint32_t inputSize,
                                   std::uint32_t outputSize) {
    if (inputSize < kHeaderSize) return kErrorInvalidParameter;
    if (inputSize > kSptWholeRecord || outputSize > kSptWholeRecord)
        return kErrorInvalidParameter;  // beyond the record
    // The sense data come back in the output: the sense area ends within it, and before the data.
    std::uint64_t senseLimit = outputSize;
    if (spt.DataTransferLength > 0) senseLimit = std::min<std::uint64_t>(senseLimit, spt.DataBufferOffset);
    if (const std::uint32_t refused = judgeHeader(spt, senseLimit)) return refused;
    if (spt.DataTransferLength == 0) return 0;
    if (spt.DataTransferLength > kMaxScsiLen) return kErrorInvalidParameter;
    if (spt.DataBufferOffset < kSptHeaderAndSense ||
        std::uint64_t{spt.DataBufferOffset} + spt.DataTransferLength > kSptWholeRecord)
        return kErrorInvalidParameter;
    const std::uint64_t end = std::uint64_t{spt.DataBufferOffset} + spt.DataTransferLength;
    if (spt.DataIn == records::kScsiDataIn && outputSize < end) return kErrorInvalidParameter;
    if (spt.DataIn != records::kScsiDataIn && inputSize < end) return kErrorInvalidParameter;
    return 0;
}

std::uint32_t judgeDirectRequest(const ScsiPassThrough& spt, std::size_t dataSize) {
    if (const std::uint32_t refused = judgeHeader(spt, kDirectRecordSize)) return refused;
    if (spt.DataTransferLength > dataSize) return kErrorInvalidParameter;
    return 0;
}

}  // namespace quib::platform
