// The 124-byte factory configuration block of the 8502 bridges.
#include <cstring>

#include "common/log/debug_log.h"
#include "devcore/device/quib_usb_dev.h"
#include "devcore/transport/scsi_request.h"

using namespace quib;
using namespace quib::devcore;

int CQuibUSBDev::SCSI8502_FactoryConfigure_Write(const std::uint8_t* pBlock, DeviceHandle hDev) {
    constexpr auto kFn = "CQuibUSBDev::SCSI8502_FactoryConfigure_Write";
    if (!platform::isValid(hDev) || pBlock == nullptr) {
        LogError("%s:%d: SCSI8502_FactoryConfigure: (hDev == NULL) hDev:%x , dwErrorCode:%x  ", kFn, __LINE__,
                 handleText(hDev), platform::lastError());
        return -10;
    }
    ScsiCommand command;
    command.cdbLength = 11;
    command.cdb = {0xC3, 0x30, 0x0C, 0, 0, 0, 0, 0, 0, kFactoryConfigBlockSize, 0};
    command.dataIn = records::kScsiDataOut;
    command.transferLength = kFactoryConfigBlockSize;
    command.timeOutSeconds = kWriteTimeOut;
    records::ScsiPassThroughWithBuffers sptwb;
    const ScsiOutcome outcome =
        sendBuffered(hDev, sptwb, command, std::span<const std::uint8_t>(pBlock, kFactoryConfigBlockSize));
    if (!outcome.succeeded()) {
        LogError(
            "%s:%d: SCSI8502_FactoryConfigure: (status = FAIL) hDev:%x , status:%x , ScsiStatus:%x , "
            "dwErrorCode:%x  ",
            kFn, __LINE__, handleText(hDev), outcome.controlOk ? 1u : 0u, outcome.scsiStatus,
            outcome.errorCode);
        return -1;
    }
    return 0;
}

int CQuibUSBDev::SCSI8502_FactoryConfigure_Read(DeviceHandle hDev, std::uint8_t* pResult) {
    constexpr auto kFn = "CQuibUSBDev::SCSI8502_FactoryConfigure_Read";
    if (!platform::isValid(hDev) || pResult == nullptr) {
        LogError("%s:%d: SCSI8502_FactoryConfigure_Read: (hDev == NULL) hDev:%x , dwErrorCode:%x  ", kFn,
                 __LINE__, handleText(hDev), platform::lastError());
        return -10;
    }
    // INQUIRY of vital product data page 0xC8.
    ScsiCommand command;
    command.cdbLength = 6;
    command.cdb = {0x12, 0x01, 0xC8, 0, 0x81, 0};
    command.dataIn = records::kScsiDataIn;
    command.transferLength = kFactoryConfigReadSize;
    command.timeOutSeconds = kWriteTimeOut;
    records::ScsiPassThroughWithBuffers sptwb;
    const ScsiOutcome outcome = sendBuffered(hDev, sptwb, command);
    if (!outcome.succeeded()) {
        LogError(
            "%s:%d: SCSI8502_FactoryConfigure_Read: (status = FAIL) hDev:%x , status:%x , ScsiStatus:%x , "
            "dwErrorCode:%x  ",
            kFn, __LINE__, handleText(hDev), outcome.controlOk ? 1u : 0u, outcome.scsiStatus,
            outcome.errorCode);
        return -1;
    }
    std::memcpy(pResult, sptwb.ucDataBuf, kFactoryConfigReadSize);
    return 0;
}
