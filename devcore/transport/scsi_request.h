// One SCSI command through the buffered or the direct pass-through request.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "common/records/scsi_pass_through.h"
#include "platform/platform.h"

namespace quib::devcore {

// Time-outs of the vendor commands, in seconds.
inline constexpr std::uint32_t kReadTimeOut = 3;
inline constexpr std::uint32_t kWriteTimeOut = 60;
inline constexpr std::uint32_t kConfigBinSize = 128;  // CONFIG_BIN_SIZE

struct ScsiCommand {
    std::array<std::uint8_t, 16> cdb{};
    std::uint8_t cdbLength = 6;
    std::uint8_t dataIn = records::kScsiDataOut;
    std::uint32_t transferLength = 0;
    std::uint32_t timeOutSeconds = kReadTimeOut;
    std::uint8_t senseInfoLength = records::kSenseInfoLength;  // at most the record's 32-byte sense area
};

struct ScsiOutcome {
    bool controlOk = false;       // the control operation reported success
    std::uint8_t scsiStatus = 0;  // 0 = good
    std::uint32_t errorCode = 0;  // system error code after the call

    // A command succeeded only when both the control operation and the device said so.
    bool succeeded() const { return controlOk && scsiStatus == 0; }
};

// Clears the whole record and fills its header for `command`.
void prepareRecord(records::ScsiPassThroughWithBuffers& sptwb, const ScsiCommand& command);

// Output size that covers the header, the sense buffer and the expected data.
inline std::uint32_t outputSizeFor(const ScsiCommand& command) {
    return records::kSptHeaderAndSense + command.transferLength;
}

// Sends a prepared record, by default with the whole record as input.
ScsiOutcome sendRecord(platform::DeviceHandle hDev, records::ScsiPassThroughWithBuffers& sptwb,
                       std::uint32_t outputSize, std::uint32_t inputSize = records::kSptWholeRecord);

// Prepares, copies `dataOut` into the data area, sends and judges one buffered command.
ScsiOutcome sendBuffered(platform::DeviceHandle hDev, records::ScsiPassThroughWithBuffers& sptwb,
                         const ScsiCommand& command, std::span<const std::uint8_t> dataOut = {});

// Sends one direct command; `data` is the separate data buffer of exactly the transfer length.
ScsiOutcome sendDirect(platform::DeviceHandle hDev, const ScsiCommand& command, std::span<std::uint8_t> data);

// Handle value as the log lines print it.
inline unsigned int handleText(platform::DeviceHandle hDev) {
    return static_cast<unsigned int>(hDev);
}

}  // namespace quib::devcore
