// Configuration area and firmware area of the bridge's memory.
#include <algorithm>
#include <cstring>
#include <vector>

#include "common/log/debug_log.h"
#include "devcore/device/quib_usb_dev.h"
#include "devcore/transport/scsi_request.h"

using namespace quib;
using namespace quib::devcore;

namespace {

constexpr std::uint8_t kConfigRead = 0xE0;
constexpr std::uint8_t kConfigWrite = 0xE1;
constexpr std::uint8_t kFirmwareRead = 0xE2;
constexpr std::uint8_t kFirmwareWrite = 0xE3;

ScsiCommand memoryCommand(std::uint8_t ucOpcode, std::uint8_t ucSelector, bool bWrite, std::uint32_t dwLength,
                          bool bLengthInCdb) {
    ScsiCommand command;
    command.cdbLength = 6;
    command.cdb[0] = ucOpcode;
    command.cdb[1] = ucSelector;
    if (bLengthInCdb) {
        command.cdb[2] = static_cast<std::uint8_t>(dwLength >> 24);
        command.cdb[3] = static_cast<std::uint8_t>(dwLength >> 16);
        command.cdb[4] = static_cast<std::uint8_t>(dwLength >> 8);
        command.cdb[5] = static_cast<std::uint8_t>(dwLength);
    }
    command.dataIn = bWrite ? records::kScsiDataOut : records::kScsiDataIn;
    command.transferLength = dwLength;
    command.timeOutSeconds = bWrite ? kWriteTimeOut : kReadTimeOut;
    return command;
}

}  // namespace

int CQuibUSBDev::SCSI7120_AccessConfigEEPROM(DeviceHandle hDev, std::uint8_t ucReadWrite,
                                             std::uint8_t* pBuffer, std::uint8_t ucSelector) {
    constexpr auto kFn = "CQuibUSBDev::SCSI7120_AccessConfigEEPROM";
    if (!platform::isValid(hDev) || pBuffer == nullptr) {
        LogError(
            "%s:%d: SCSI7120_AccessConfigEEPROM: (hDev == NULL) or (BufLen != CONFIG_BIN_SIZE)  hDev:%x , "
            "ReadWrite:%x , BufLen:%x , dwErrorCode:%x  ",
            kFn, __LINE__, handleText(hDev), ucReadWrite, kConfigBinSize, platform::lastError());
        return -10;
    }
    const bool bWrite = ucReadWrite != 0;
    const ScsiCommand command =
        memoryCommand(bWrite ? kConfigWrite : kConfigRead, ucSelector, bWrite, kConfigBinSize, false);
    records::ScsiPassThroughWithBuffers sptwb;
    const ScsiOutcome outcome = sendBuffered(
        hDev, sptwb, command,
        bWrite ? std::span<const std::uint8_t>(pBuffer, kConfigBinSize) : std::span<const std::uint8_t>());
    if (!outcome.succeeded()) {
        LogError(
            "%s:%d: SCSI7120_AccessConfigEEPROM: (status = FAIL) hDev:%x , ReadWrite:%x , BufLen:%x , "
            "status:%x , "
            "ScsiStatus:%x , dwErrorCode:%x  ",
            kFn, __LINE__, handleText(hDev), ucReadWrite, kConfigBinSize, outcome.controlOk ? 1u : 0u,
            outcome.scsiStatus, outcome.errorCode);
        return -1;
    }
    if (!bWrite) std::memcpy(pBuffer, sptwb.ucDataBuf, kConfigBinSize);
    return 0;
}

int CQuibUSBDev::SCSI7120_AccessFirmwareEEPROM(std::uint8_t* pBuffer, DeviceHandle hDev,
                                               std::uint8_t ucReadWrite, std::uint32_t dwLength,
                                               std::uint8_t ucSelector) {
    constexpr auto kFn = "CQuibUSBDev::SCSI7120_AccessFirmwareEEPROM";
    const bool bWrite = ucReadWrite == 1;
    if (!platform::isValid(hDev) || (pBuffer == nullptr && dwLength != 0)) {
        LogError("%s:%d: (hDev == NULL) hDev:%x , ReadWrite:%x , BufLen:%x , dwErrorCode:%x  ", kFn, __LINE__,
                 handleText(hDev), ucReadWrite, dwLength, platform::lastError());
        return -10;
    }
    if (!bWrite && dwLength > records::kMaxScsiLen) {
        LogError("%s:%d: dwTotalLen > MAX_SCSI_LEN. hDev:%x , ReadWrite:%x , BufLen:%x , dwErrorCode:%x  ",
                 kFn, __LINE__, handleText(hDev), ucReadWrite, dwLength, platform::lastError());
        return -10;
    }
    if (bWrite && dwLength == 0) return 0;

    records::ScsiPassThroughWithBuffers sptwb;
    if (!bWrite) {
        const ScsiCommand command = memoryCommand(kFirmwareRead, ucSelector, false, dwLength, true);
        const ScsiOutcome outcome = sendBuffered(hDev, sptwb, command);
        if (!outcome.succeeded()) {
            LogError(
                "%s:%d: SCSI7120_AccessFirmwareEEPROM: (status = FAIL) hDev:%x , ReadWrite:%x , BufLen:%x , "
                "status:%x , ScsiStatus:%x , dwErrorCode:%x  ",
                kFn, __LINE__, handleText(hDev), ucReadWrite, dwLength, outcome.controlOk ? 1u : 0u,
                outcome.scsiStatus, outcome.errorCode);
            return -1;
        }
        if (dwLength) std::memcpy(pBuffer, sptwb.ucDataBuf, dwLength);
        return 0;
    }

    // The chip continues each piece where the previous one ended, so the CDB carries no address.
    for (std::uint32_t dwDone = 0; dwDone < dwLength;) {
        const std::uint32_t dwPiece = std::min(dwLength - dwDone, records::kMaxScsiLen);
        const ScsiCommand command = memoryCommand(kFirmwareWrite, ucSelector, true, dwPiece, true);
        const ScsiOutcome outcome =
            sendBuffered(hDev, sptwb, command, std::span<const std::uint8_t>(pBuffer + dwDone, dwPiece));
        if (!outcome.succeeded()) {
            LogError(
                "%s:%d: SCSI7120_AccessFirmwareEEPROM: (status = FAIL) hDev:%x , ReadWrite:%x , BufLen:%x , "
                "status:%x , ScsiStatus:%x , dwErrorCode:%x  ",
                kFn, __LINE__, handleText(hDev), ucReadWrite, dwPiece, outcome.controlOk ? 1u : 0u,
                outcome.scsiStatus, outcome.errorCode);
            return -1;
        }
        dwDone += dwPiece;
    }
    return 0;
}

int CQuibUSBDev::SCSI7120_AccessFirmwareEEPROM_Direct(std::uint32_t dwLength, DeviceHandle hDev,
                                                      std::uint8_t ucReadWrite, std::uint8_t* pBuffer,
                                                      std::uint8_t ucSelector) {
    constexpr auto kFn = "CQuibUSBDev::SCSI7120_AccessFirmwareEEPROM_Direct";
    const bool bWrite = ucReadWrite == 1;
    if (!platform::isValid(hDev) || (pBuffer == nullptr && dwLength != 0)) {
        LogError("%s:%d: (hDev == NULL) hDev:%x , ReadWrite:%x , BufLen:%x , dwErrorCode:%x  ", kFn, __LINE__,
                 handleText(hDev), ucReadWrite, dwLength, platform::lastError());
        return -10;
    }
    const ScsiCommand command =
        memoryCommand(bWrite ? kFirmwareWrite : kFirmwareRead, ucSelector, bWrite, dwLength, true);
    ScsiOutcome outcome;
    if (bWrite) {
        // The request points at a buffer of exactly the transfer length.
        std::vector<std::uint8_t> data(pBuffer, pBuffer + dwLength);
        outcome = sendDirect(hDev, command, data);
    } else {
        outcome = sendDirect(hDev, command, std::span<std::uint8_t>(pBuffer, dwLength));
    }
    if (!outcome.succeeded()) {
        LogError(
            "%s:%d: SCSI7120_AccessFirmwareEEPROM_Direct: (status = FAIL) hDev:%x , ReadWrite:%x , BufLen:%x "
            ", "
            "status:%x , ScsiStatus:%x , dwErrorCode:%x  ",
            kFn, __LINE__, handleText(hDev), ucReadWrite, dwLength, outcome.controlOk ? 1u : 0u,
            outcome.scsiStatus, outcome.errorCode);
        return -1;
    }
    return 0;
}
