// The 0xEC tunnel: one vendor command carries one operation on the PD controller or the microcontroller.
#include <algorithm>
#include <cstring>
#include <memory>

#include "common/log/debug_log.h"
#include "devcore/transport/scsi_request.h"
#include "pdupdate/power_delivery.h"

using namespace quib;
using namespace quib::pdupdate;

namespace {

// The write sub-commands whose buffer is transferred; the others carry it in the request only.
bool writeTransfersBuffer(std::uint8_t ucSubCmd) {
    return ucSubCmd == CYPRESS_PD_WRITE_DATA || ucSubCmd == CYPRESS_PD_CCG3_WRITE_DATA ||
           ucSubCmd == ST_MCU_WRITE_DATA;
}

devcore::ScsiCommand tunnelCommand(bool bWrite, std::uint8_t ucSubCmd, std::uint16_t wParam1,
                                   std::uint16_t wParam2, const std::uint8_t* pBuf, std::uint32_t BufLen) {
    devcore::ScsiCommand command;
    command.cdbLength = 8;
    command.cdb[0] = kPdVendorOpcode;
    command.cdb[1] = ucSubCmd;
    command.cdb[2] = static_cast<std::uint8_t>(wParam1 >> 8);
    command.cdb[3] = static_cast<std::uint8_t>(wParam1 & 0xFF);
    const auto lengthByte = static_cast<std::uint8_t>(BufLen & 0xFF);
    if (bWrite && ucSubCmd == PD_WRITE_DATA) {
        // The word travels in the CDB itself.
        for (std::size_t i = 0; i < 4 && i < BufLen; ++i) command.cdb[4 + i] = pBuf[i];
    } else {
        command.cdb[4] = static_cast<std::uint8_t>(wParam2 >> 8);
        command.cdb[5] = static_cast<std::uint8_t>(wParam2 & 0xFF);
        if (bWrite) {
            command.cdb[6] = ucSubCmd == ST_MCU_WRITE_DATA ? lengthByte : 0;
        } else {
            command.cdb[6] = ucSubCmd == ST_MCU_READ_DATA ? lengthByte : 0;
            command.cdb[7] = ucSubCmd == PD_READ_DATA ? lengthByte : 0;
        }
    }
    command.dataIn = bWrite ? records::kScsiDataOut : records::kScsiDataIn;
    if (bWrite)
        command.transferLength = writeTransfersBuffer(ucSubCmd) ? BufLen : 0;
    else
        command.transferLength = ucSubCmd == PD_FW_VERSION ? 2 : BufLen;
    command.timeOutSeconds = bWrite ? devcore::kWriteTimeOut : devcore::kReadTimeOut;
    return command;
}

}  // namespace

int CPowerDelivery::SCSI7120_PDVendorCmd(std::uint8_t* pBuf, DeviceHandle hDev, std::uint8_t ReadWrite,
                                         std::uint8_t ucSubCmd, std::uint16_t wParam1, std::uint16_t wParam2,
                                         std::uint32_t BufLen) {
    constexpr auto kFn = "CPowerDelivery::SCSI7120_PDVendorCmd";
    if (!platform::isValid(hDev) || BufLen > kMaxPdTransfer || (pBuf == nullptr && BufLen != 0)) {
        LogError(
            "%s:%d: (hDev == NULL) or (dwTotalLen != CONFIG_BIN_SIZE)  hDev:%x , ReadWrite:%x , BufLen:%x , "
            "dwErrorCode:%x  ",
            kFn, __LINE__, devcore::handleText(hDev), ReadWrite, BufLen, platform::lastError());
        return -10;
    }
    const bool bWrite = ReadWrite == 1;
    if (!bWrite) {
        if (BufLen != 0) std::memset(pBuf, 0, BufLen);
        if (BufLen == 0) return 0;
    }
    const devcore::ScsiCommand command = tunnelCommand(bWrite, ucSubCmd, wParam1, wParam2, pBuf, BufLen);
    auto sptwb = std::make_unique<records::ScsiPassThroughWithBuffers>();
    devcore::prepareRecord(*sptwb, command);
    const std::uint32_t dataSize = records::kSptHeaderAndSense + command.transferLength;

    if (bWrite) {
        if (BufLen != 0) std::memcpy(sptwb->ucDataBuf, pBuf, BufLen);
        const devcore::ScsiOutcome outcome =
            devcore::sendRecord(hDev, *sptwb, records::kSptWholeRecord, dataSize);
        if (!outcome.succeeded()) {
            LogError(
                "%s:%d: SCSI7120_AccessRegister: (status = Fail) hDev:%x , ReadWrite:%x , dwTotalLen:%x , "
                "status:%x , ScsiStatus:%x , dwErrorCode:%d  ",
                kFn, __LINE__, devcore::handleText(hDev), 1u, BufLen, outcome.controlOk ? 1u : 0u,
                outcome.scsiStatus, static_cast<int>(outcome.errorCode));
            return -1;
        }
        return 0;
    }

    const devcore::ScsiOutcome outcome =
        devcore::sendRecord(hDev, *sptwb, dataSize, records::kSptWholeRecord);
    if (!outcome.succeeded()) {
        std::memset(pBuf, 0, BufLen);
        LogError(
            "%s:%d: (status = Fail) hDev:%x , ReadWrite:%x , BufLen:%x , status:%x , ScsiStatus:%x , "
            "dwErrorCode:%x  ",
            kFn, __LINE__, devcore::handleText(hDev), ReadWrite, BufLen, outcome.controlOk ? 1u : 0u,
            outcome.scsiStatus, outcome.errorCode);
        return -1;
    }
    // A version read moves 2 bytes; the rest of the caller's buffer stays zero.
    std::memcpy(pBuf, sptwb->ucDataBuf, std::min(BufLen, command.transferLength));
    return 0;
}
