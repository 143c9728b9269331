#include "devcore/commands/inquiry_command.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "common/log/debug_log.h"
#include "devcore/device/quib_usb_dev.h"
#include "devcore/transport/scsi_request.h"

using namespace quib;
using namespace quib::devcore;

ScsiCommand quib::devcore::inquiryCommand() {
    ScsiCommand command;
    command.cdbLength = 12;
    command.cdb[0] = 0x12;
    command.cdb[4] = CQuibUSBDev::kInquiryLength;
    command.dataIn = records::kScsiDataIn;
    command.transferLength = CQuibUSBDev::kInquiryLength;
    command.timeOutSeconds = kReadTimeOut;
    return command;
}

namespace {
constexpr int kPresenceProbes = 3;
constexpr std::uint32_t kPresenceProbePauseMs = 500;
}  // namespace

bool quib::devcore::isDeviceGoneError(std::uint32_t errorCode) {
    switch (errorCode) {
        case platform::kErrorFileNotFound:
        case platform::kErrorDevNotExist:
        case platform::kErrorNoSuchDevice:
        case platform::kErrorDeviceNotConnected:
        case platform::kErrorDeviceRemoved:
            return true;
        default:
            return false;
    }
}

bool quib::devcore::stillAnswers(platform::DeviceHandle hDev) {
    constexpr auto kFn = "CQuibUSBDev::stillAnswers";
    auto sptwb = std::make_unique<records::ScsiPassThroughWithBuffers>();
    for (int probe = 0; probe < kPresenceProbes; ++probe) {
        if (probe > 0) platform::get().clock.sleepMs(kPresenceProbePauseMs);
        const ScsiOutcome outcome = sendBuffered(hDev, *sptwb, inquiryCommand());
        if (outcome.controlOk) return true;
        if (isDeviceGoneError(outcome.errorCode)) return false;
        LogWarning("%s:%d: INQUIRY on hDev:%x failed, dwErrorCode %d: the device is not proven gone", kFn,
                   __LINE__, handleText(hDev), static_cast<int>(outcome.errorCode));
    }
    return true;
}

int CQuibUSBDev::SCSI7120_Inquiry(std::uint8_t* pInquiry, DeviceHandle hDev) {
    constexpr auto kFn = "CQuibUSBDev::SCSI7120_Inquiry";
    if (pInquiry == nullptr || !platform::isValid(hDev)) {
        LogError("%s:%d: SCSI_Inquiry: invalid parameter hDev:%x , dwErrorCode %d", kFn, __LINE__,
                 handleText(hDev), platform::lastErrorCode());
        return -10;
    }
    std::memset(pInquiry, 0, kInquiryLength);

    records::ScsiPassThroughWithBuffers sptwb;
    const ScsiOutcome outcome = sendBuffered(hDev, sptwb, inquiryCommand());
    if (!outcome.succeeded()) {
        LogError(
            "%s:%d: SCSI_Inquiry: IOCTL_SCSI_PASS_THROUGH Fail , sptwb.spt.ScsiStatus=%d,  dwErrorCode %d",
            kFn, __LINE__, outcome.scsiStatus, static_cast<int>(outcome.errorCode));
        return -1;
    }
    std::memcpy(pInquiry, sptwb.ucDataBuf, kInquiryLength);
    return 0;
}

int CQuibUSBDev::nInquiryTried(std::uint8_t* pInquiry, DeviceHandle hDev) {
    constexpr int kTries = 3;
    constexpr std::uint32_t kPauseMs = 20;
    int iResult = SCSI7120_Inquiry(pInquiry, hDev);
    for (int attempt = 1; attempt < kTries && iResult == -1; ++attempt) {
        platform::get().clock.sleepMs(kPauseMs);
        iResult = SCSI7120_Inquiry(pInquiry, hDev);
    }
    return iResult;
}

std::string CQuibUSBDev::strChipNumber(const std::uint8_t* pInquiry) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X%02X", pInquiry[37], pInquiry[36]);
    return text;
}
