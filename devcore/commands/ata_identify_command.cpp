// ATA IDENTIFY DEVICE through ATA PASS-THROUGH(12), for the serial number of the drive behind a bridge.
#include <cstring>

#include "common/log/debug_log.h"
#include "devcore/device/quib_usb_dev.h"
#include "devcore/device/text_helpers.h"
#include "devcore/transport/ata_pass_through_12.h"

using namespace quib;
using namespace quib::devcore;

namespace {

constexpr std::size_t kSerialWordFirst = 10;
constexpr std::size_t kSerialWords = 10;

// ATA strings hold two characters per word, the first in the high byte.
std::string serialFromIdentify(const std::uint8_t* pIdentify) {
    std::string text;
    for (std::size_t w = kSerialWordFirst; w < kSerialWordFirst + kSerialWords; ++w) {
        text += static_cast<char>(pIdentify[2 * w + 1]);
        text += static_cast<char>(pIdentify[2 * w]);
    }
    return trimText(text);
}

}  // namespace

bool CQuibUSBDev::ATAPassThrough_Identify(DeviceHandle hDev, std::uint8_t* pIdentify) {
    constexpr auto kFn = "CQuibUSBDev::ATAPassThrough_Identify";
    if (!platform::isValid(hDev) || pIdentify == nullptr) {
        LogError("%s:%d: INVALID_PARAM! hDev:%x , dwErrorCode:%d  ", kFn, __LINE__, handleText(hDev),
                 platform::lastErrorCode());
        return false;
    }
    std::memset(pIdentify, 0, 4);

    // One sector of IDENTIFY DEVICE by PIO data-in.
    const ScsiCommand command = ataPioDataIn12({.sectorCount = 1, .command = 0xEC});
    records::ScsiPassThroughWithBuffers sptwb;
    const ScsiOutcome outcome = sendBuffered(hDev, sptwb, command);
    if (!outcome.succeeded()) {
        LogError("%s:%d: IOCTL_SCSI_PASS_THROUGH Fail hDev:%x , ScsiStatus:%x , dwErrorCode %d", kFn,
                 __LINE__, handleText(hDev), outcome.scsiStatus, static_cast<int>(outcome.errorCode));
        return false;
    }
    std::memcpy(pIdentify, sptwb.ucDataBuf, kAtaSectorSize);
    return true;
}

bool CQuibUSBDev::ATAPassThrough_GetHDSerialNumber(DeviceHandle hDev, std::string& strSerialNumber) {
    std::uint8_t identify[kAtaSectorSize];
    strSerialNumber.clear();
    if (!ATAPassThrough_Identify(hDev, identify)) return false;
    strSerialNumber = serialFromIdentify(identify);
    LogMessage("%s:%d: strSerialNumber[%s]", "CQuibUSBDev::ATAPassThrough_GetHDSerialNumber", __LINE__,
               strSerialNumber.c_str());
    return true;
}

bool CQuibUSBDev::ATAPassThrough_GetSSDSerialNumber(DeviceHandle hDev, std::string& strSerialNumber) {
    // The PCIe bridge answers IDENTIFY with its NVMe drive's identity.
    std::uint8_t identify[kAtaSectorSize];
    strSerialNumber.clear();
    if (!ATAPassThrough_Identify(hDev, identify)) return false;
    strSerialNumber = serialFromIdentify(identify);
    LogMessage("%s:%d: strSerialNumber[%s]", "CQuibUSBDev::ATAPassThrough_GetSSDSerialNumber", __LINE__,
               strSerialNumber.c_str());
    return true;
}
