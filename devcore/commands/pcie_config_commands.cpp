// PCIe configuration space of the link behind an 850x bridge.
#include <cstring>

#include "common/log/debug_log.h"
#include "devcore/device/quib_usb_dev.h"
#include "devcore/transport/scsi_request.h"

using namespace quib;
using namespace quib::devcore;

namespace {

constexpr int kConfigReadAttempts = 9;
constexpr std::uint32_t kConfigRetryPauseMs = 20;
constexpr std::uint16_t kMaxConfigRead = 4096;

void warnMisaligned(const char* kFn, int iLine, std::uint16_t wOffset, std::uint16_t wBufLen) {
    LogWarning("%s:%d: Invalid parameter, wOffset: 0x%x, wBufLen: 0x%x, dwErrorCode: %d", kFn, iLine, wOffset,
               wBufLen, platform::lastErrorCode());
    LogWarning(
        "%s:%d: 850x Vendor KRV93xx Configuration Read/Write Command: Offset/Length must be Multiple of 4 ",
        kFn, iLine);
}

}  // namespace

int CQuibUSBDev::SCSI850X_PCIeConfiguration_ReadDword(std::uint16_t wBufLen, DeviceHandle hDev,
                                                      std::uint16_t wOffset, std::uint8_t* pBuffer) {
    constexpr auto kFn = "CQuibUSBDev::SCSI850X_PCIeConfiguration_ReadDword";
    if (!platform::isValid(hDev)) {
        LogError("%s:%d: Invalid handle 0x%08x, dwErrorCode: %d", kFn, __LINE__, handleText(hDev),
                 platform::lastErrorCode());
        return -10;
    }
    if (pBuffer == nullptr || wOffset % 4 != 0 || wBufLen % 4 != 0 || wBufLen < 4 ||
        wBufLen > kMaxConfigRead) {
        warnMisaligned(kFn, __LINE__, wOffset, wBufLen);
        return -10;
    }

    ScsiCommand command;
    command.cdbLength = 6;
    command.cdb[0] = 0xEE;
    command.cdb[1] = static_cast<std::uint8_t>(wBufLen >> 8);
    command.cdb[2] = static_cast<std::uint8_t>(wBufLen);
    command.cdb[3] = static_cast<std::uint8_t>(wOffset >> 8);
    command.cdb[4] = static_cast<std::uint8_t>(wOffset);
    command.cdb[5] = wBufLen > 4 ? 1 : 0;
    command.dataIn = records::kScsiDataIn;
    command.transferLength = wBufLen;
    command.timeOutSeconds = kReadTimeOut;

    records::ScsiPassThroughWithBuffers sptwb;
    ScsiOutcome outcome = sendBuffered(hDev, sptwb, command);
    // Only a failing control operation is tried again; a device status ends the attempts.
    for (int attempt = 2; !outcome.controlOk && attempt <= kConfigReadAttempts; ++attempt) {
        platform::get().clock.sleepMs(kConfigRetryPauseMs);
        outcome = sendBuffered(hDev, sptwb, command);
    }
    if (!outcome.succeeded()) {
        LogError(
            "%s:%d: IOCTL_SCSI_PASS_THROUGH Fail. hDev:%x, wBufLen:0x%x, status:0x%x, ScsiStatus:0x%x, "
            "dwErrorCode:%d",
            kFn, __LINE__, handleText(hDev), wBufLen, outcome.controlOk ? 1u : 0u, outcome.scsiStatus,
            static_cast<int>(outcome.errorCode));
        std::memset(pBuffer, 0, wBufLen);
        return -1;
    }
    std::memcpy(pBuffer, sptwb.ucDataBuf, wBufLen);
    return 0;
}

int CQuibUSBDev::SCSI850X_PCIeConfiguration_WriteDword(std::uint16_t wOffset, DeviceHandle hDev,
                                                       const std::uint8_t* pData, std::uint16_t wBufLen) {
    constexpr auto kFn = "CQuibUSBDev::SCSI850X_PCIeConfiguration_WriteDword";
    if (!platform::isValid(hDev)) {
        LogError("%s:%d: Invalid handle 0x%08x, dwErrorCode: %d", kFn, __LINE__, handleText(hDev),
                 platform::lastErrorCode());
        return -10;
    }
    if (pData == nullptr || wOffset % 4 != 0 || wBufLen != 4) {
        warnMisaligned(kFn, __LINE__, wOffset, wBufLen);
        return -10;
    }

    ScsiCommand command;
    command.cdbLength = 10;
    command.cdb[0] = 0xEF;
    command.cdb[3] = static_cast<std::uint8_t>(wOffset >> 8);
    command.cdb[4] = static_cast<std::uint8_t>(wOffset);
    std::memcpy(&command.cdb[6], pData, 4);
    command.dataIn = records::kScsiDataOut;
    command.transferLength = 0;
    command.timeOutSeconds = kWriteTimeOut;
    records::ScsiPassThroughWithBuffers sptwb;
    const ScsiOutcome outcome = sendBuffered(hDev, sptwb, command);
    if (!outcome.succeeded()) {
        LogError(
            "%s:%d: IOCTL_SCSI_PASS_THROUGH Fail. hDev:%x, wBufLen:0x%x, status:0x%x, ScsiStatus:0x%x, "
            "dwErrorCode:%d",
            kFn, __LINE__, handleText(hDev), wBufLen, outcome.controlOk ? 1u : 0u, outcome.scsiStatus,
            static_cast<int>(outcome.errorCode));
        return -1;
    }
    return 0;
}
