// A caller-built vendor command, moved in 64 KiB pieces.
#include <algorithm>
#include <cstring>

#include "common/log/debug_log.h"
#include "devcore/device/quib_usb_dev.h"
#include "devcore/transport/scsi_request.h"

using namespace quib;
using namespace quib::devcore;

int CQuibUSBDev::SCSI_VEN_PASSTHROUGH_CMD(const std::uint8_t* pCdbTail, DeviceHandle hDev,
                                          std::uint8_t ucReadWrite, std::uint8_t ucOpcode,
                                          std::uint8_t ucByte1, std::uint8_t ucByte2, std::uint8_t* pBuffer,
                                          std::uint32_t dwLength) {
    constexpr auto kFn = "CQuibUSBDev::SCSI_VEN_PASSTHROUGH_CMD";
    const bool bWrite = ucReadWrite != 0;
    if (!platform::isValid(hDev) || pCdbTail == nullptr || (pBuffer == nullptr && dwLength != 0)) {
        LogError("%s:%d: (hDev == NULL) hDev:%x , ReadWrite:%x , BufLen:%x , dwErrorCode:%x  ", kFn, __LINE__,
                 handleText(hDev), ucReadWrite, dwLength, platform::lastError());
        return -10;
    }

    ScsiCommand command;
    command.cdbLength = 16;
    command.cdb[0] = ucOpcode;
    command.cdb[1] = ucByte1;
    command.cdb[2] = ucByte2;
    std::copy_n(pCdbTail, kVendorCdbTailSize, command.cdb.begin() + 3);
    command.dataIn = bWrite ? records::kScsiDataOut : records::kScsiDataIn;
    command.timeOutSeconds = bWrite ? kWriteTimeOut : kReadTimeOut;

    records::ScsiPassThroughWithBuffers sptwb;
    std::uint32_t dwDone = 0;
    // A command without data still goes out once.
    do {
        const std::uint32_t dwPiece = std::min(dwLength - dwDone, records::kMaxScsiLen);
        command.transferLength = dwPiece;
        const ScsiOutcome outcome =
            sendBuffered(hDev, sptwb, command,
                         bWrite ? std::span<const std::uint8_t>(pBuffer + dwDone, dwPiece)
                                : std::span<const std::uint8_t>());
        if (!outcome.succeeded()) {
            LogError(
                "%s:%d: SCSI_VEN_PASSTHROUGH_CMD: (status = FAIL) hDev:%x , ReadWrite:%x , BufLen:%x , "
                "status:%x , "
                "ScsiStatus:%x , dwErrorCode:%x  ",
                kFn, __LINE__, handleText(hDev), ucReadWrite, dwPiece, outcome.controlOk ? 1u : 0u,
                outcome.scsiStatus, outcome.errorCode);
            return -1;
        }
        // Every piece read lands at its own place in the caller's buffer.
        if (!bWrite && dwPiece) std::memcpy(pBuffer + dwDone, sptwb.ucDataBuf, dwPiece);
        dwDone += dwPiece;
    } while (dwDone < dwLength);
    return 0;
}
