#include "devcore/transport/scsi_request.h"

#include <algorithm>
#include <cstring>

namespace quib::devcore {
namespace {

void fillHeader(records::ScsiPassThrough& spt, const ScsiCommand& command) {
    spt.Length = sizeof(records::ScsiPassThrough);
    spt.CdbLength = command.cdbLength;
    spt.SenseInfoLength = command.senseInfoLength;
    spt.DataIn = command.dataIn;
    spt.DataTransferLength = command.transferLength;
    spt.TimeOutValue = command.timeOutSeconds;
    spt.SenseInfoOffset = offsetof(records::ScsiPassThroughWithBuffers, ucSenseBuf);
    std::copy_n(command.cdb.begin(), command.cdbLength, spt.Cdb);
}

ScsiOutcome judge(const platform::ScsiResult& result, std::uint8_t scsiStatus) {
    ScsiOutcome outcome;
    outcome.controlOk = result.ok;
    outcome.scsiStatus = scsiStatus;
    outcome.errorCode = result.ok ? 0 : platform::lastError();
    return outcome;
}

}  // namespace

void prepareRecord(records::ScsiPassThroughWithBuffers& sptwb, const ScsiCommand& command) {
    std::memset(&sptwb, 0, sizeof sptwb);
    fillHeader(sptwb.spt, command);
    sptwb.spt.DataBufferOffset = records::kSptHeaderAndSense;
}

ScsiOutcome sendRecord(platform::DeviceHandle hDev, records::ScsiPassThroughWithBuffers& sptwb,
                       std::uint32_t outputSize, std::uint32_t inputSize) {
    platform::setLastError(0);
    const platform::ScsiResult result =
        platform::get().storage.scsiPassThrough(hDev, sptwb, inputSize, outputSize);
    return judge(result, sptwb.spt.ScsiStatus);
}

ScsiOutcome sendBuffered(platform::DeviceHandle hDev, records::ScsiPassThroughWithBuffers& sptwb,
                         const ScsiCommand& command, std::span<const std::uint8_t> dataOut) {
    prepareRecord(sptwb, command);
    const std::size_t n = std::min<std::size_t>(dataOut.size(), records::kMaxScsiLen);
    if (n) std::memcpy(sptwb.ucDataBuf, dataOut.data(), n);
    return sendRecord(hDev, sptwb, outputSizeFor(command));
}

ScsiOutcome sendDirect(platform::DeviceHandle hDev, const ScsiCommand& command,
                       std::span<std::uint8_t> data) {
    records::ScsiPassThroughDirect sptd;
    std::memset(&sptd, 0, sizeof sptd);
    fillHeader(sptd.spt, command);
    platform::setLastError(0);
    const platform::ScsiResult result = platform::get().storage.scsiPassThroughDirect(hDev, sptd, data);
    return judge(result, sptd.spt.ScsiStatus);
}

}  // namespace quib::devcore
