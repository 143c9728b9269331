#include <algorithm>
#include <cstdio>
#include <cstring>

#include "common/log/debug_log.h"
#include "devcore/device/quib_usb_dev.h"
#include "devcore/transport/scsi_request.h"

using namespace quib;
using namespace quib::devcore;

namespace {

constexpr int kRegisterReadRepeats = 30;
constexpr std::uint32_t kRegisterRetryPauseMs = 20;

ScsiCommand registerCommand(bool bWrite, std::uint8_t ucValue, std::uint16_t wAddress,
                            std::uint32_t dwLength) {
    ScsiCommand command;
    command.cdbLength = 6;
    command.cdb[0] = bWrite ? 0xE5 : 0xE4;
    // A read of 256 bytes carries 0 in its length byte.
    command.cdb[1] = bWrite ? ucValue : static_cast<std::uint8_t>(dwLength & 0xFF);
    command.cdb[3] = static_cast<std::uint8_t>(wAddress >> 8);
    command.cdb[4] = static_cast<std::uint8_t>(wAddress & 0xFF);
    command.dataIn = bWrite ? records::kScsiDataOut : records::kScsiDataIn;
    command.transferLength = bWrite ? 0 : dwLength;
    command.timeOutSeconds = bWrite ? kWriteTimeOut : kReadTimeOut;
    return command;
}

// A failed read leaves the start of the caller's buffer zeroed, never more than the buffer holds.
void zeroReadHead(std::uint8_t* pBuffer, std::uint32_t dwLength) {
    std::memset(pBuffer, 0, std::min<std::uint32_t>(dwLength, 4));
}

}  // namespace

int CQuibUSBDev::SCSI7120_AccessRegister(DeviceHandle hDev, std::uint8_t* pBuffer, std::uint8_t ucReadWrite,
                                         std::uint16_t wAddress, std::uint32_t dwLength) {
    constexpr auto kFn = "CQuibUSBDev::SCSI7120_AccessRegister";
    const bool bWrite = ucReadWrite == 1;
    if (!platform::isValid(hDev) || pBuffer == nullptr || dwLength == 0 || dwLength > kMaxRegisterLength) {
        LogError(
            "%s:%d: (hDev == NULL) or (dwTotalLen != CONFIG_BIN_SIZE)  hDev:%x , ReadWrite:%x , BufLen:%x , "
            "dwErrorCode:%x  ",
            kFn, __LINE__, handleText(hDev), ucReadWrite, dwLength, platform::lastError());
        return -10;
    }

    try {
        const ScsiCommand command = registerCommand(bWrite, pBuffer[0], wAddress, dwLength);
        records::ScsiPassThroughWithBuffers sptwb;
        ScsiOutcome outcome = sendBuffered(hDev, sptwb, command);

        if (bWrite) {
            if (!outcome.succeeded()) {
                LogError(
                    "%s:%d: (status = Fail) hDev:%x , ReadWrite:%x , dwTotalLen:%x , status:%x , "
                    "ScsiStatus:%x , "
                    "dwErrorCode:%x  ",
                    kFn, __LINE__, handleText(hDev), ucReadWrite, dwLength, outcome.controlOk ? 1u : 0u,
                    outcome.scsiStatus, outcome.errorCode);
                return -1;
            }
            return 0;
        }

        // A read whose control operation fails is repeated; the device status is then judged as usual.
        for (int repeat = 1; !outcome.controlOk && repeat <= kRegisterReadRepeats; ++repeat) {
            platform::get().clock.sleepMs(kRegisterRetryPauseMs);
            outcome = sendBuffered(hDev, sptwb, command);
            if (outcome.controlOk) {
                char line[64];
                std::snprintf(line, sizeof line, "\n::DeviceIoControl success after retry: %d\n", repeat);
                platform::get().ui.debugOutput(line);
            }
        }
        if (!outcome.succeeded()) {
            LogError(
                "%s:%d: SCSI7120_AccessRegister: (status = Fail) hDev:%x , ReadWrite:%x , BufLen:%x , "
                "status:%x , "
                "ScsiStatus:%x , dwErrorCode:%x  ",
                kFn, __LINE__, handleText(hDev), ucReadWrite, dwLength, outcome.controlOk ? 1u : 0u,
                outcome.scsiStatus, outcome.errorCode);
            zeroReadHead(pBuffer, dwLength);
            return -1;
        }
        std::memcpy(pBuffer, sptwb.ucDataBuf, dwLength);
        return 0;
    } catch (...) {
        LogError("%s:%d: catch(...): %d", kFn, __LINE__, platform::lastErrorCode());
        if (!bWrite) zeroReadHead(pBuffer, dwLength);
        return -1;
    }
}
