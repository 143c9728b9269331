// Which controller sits behind the bridge, whether a microcontroller is there, the Cypress device mode
// and the running version.
#include <cstdio>

#include "common/log/debug_log.h"
#include "devcore/transport/device_path.h"
#include "pdupdate/pd_pauses.h"
#include "pdupdate/power_delivery.h"

using namespace quib;
using namespace quib::pdupdate;

namespace {

constexpr std::size_t kControlReplySize = 16;
constexpr std::size_t kVersionReplySize = 16;
constexpr std::uint16_t kQueryParam = 0x1000;
constexpr std::uint16_t kDeviceModeParam = 0x100;
constexpr const char* kNoVersion = "NULL";
constexpr const char* kMcuVersion = "FFFF";

}  // namespace

const devcore::USBDevEntry* CPowerDelivery::entryOf(std::uint8_t ucDevIndex) const {
    if (m_pDevList == nullptr || ucDevIndex >= m_pDevList->nDevCount || ucDevIndex >= devcore::kMaxDevList)
        return nullptr;
    return &m_pDevList->Devs[ucDevIndex];
}

std::string CPowerDelivery::strPhysicalAddressOf(std::uint8_t ucDevIndex) const {
    const devcore::USBDevEntry* entry = entryOf(ucDevIndex);
    if (entry == nullptr) return {};
    char path[64];
    std::snprintf(path, sizeof path, "\\\\.\\PhysicalDrive%d", entry->m_ucPhysicalAddress);
    return path;
}

platform::DeviceHandle CPowerDelivery::hOpenDrive(const char* kFn, int iLine,
                                                  const std::string& strPhysicalAddress) const {
    platform::DeviceHandle hDev = platform::kInvalidHandle;
    if (!strPhysicalAddress.empty()) {
        hDev = devcore::openDevice(strPhysicalAddress);
    } else {
        platform::setLastError(platform::kErrorFileNotFound);
    }
    if (!platform::isValid(hDev))
        LogError("%s:%d: CreateFile Fail , strPhysicalAddress:[%s] ,  dwErrorCode %d", kFn, iLine,
                 strPhysicalAddress.c_str(), platform::lastErrorCode());
    return hDev;
}

int CPowerDelivery::nInitializedPDI2CBus(std::uint8_t ucDevIndex) {
    constexpr auto kFn = "CPowerDelivery::nInitializedPDI2CBus";
    const std::string strPhysicalAddress = strPhysicalAddressOf(ucDevIndex);
    {
        devcore::ScopedDevice dev(hOpenDrive(kFn, __LINE__, strPhysicalAddress));
        if (!dev.valid()) return -1;
        std::uint8_t zeros[2] = {};
        const int iResult = SCSI7120_PDVendorCmd(zeros, dev.get(), 1, PD_INIT_I2C_BUS, 0, 0, sizeof zeros);
        if (iResult != 0) {
            LogError(
                "%s:%d: SCSI7120_PDVendorCmd PD Initialization Fail , strPhysicalAddress:[%s] ,  dwErrorCode "
                "%d",
                kFn, __LINE__, strPhysicalAddress.c_str(), platform::lastErrorCode());
            return iResult;
        }
    }
    if (const int iResult = nGetPDChipVendor(ucDevIndex)) {
        LogError("%s:%d: nGetPDChipVendor Fail , strPhysicalAddress:[%s] ,  dwErrorCode %d", kFn, __LINE__,
                 strPhysicalAddress.c_str(), platform::lastErrorCode());
        return iResult;
    }
    if (m_nPDChipVendor == PD_VENDOR_CCG3 || m_nPDChipVendor == PD_VENDOR_CCG4) {
        if (const int iResult = nGetCCG3DeviceMode(ucDevIndex)) {
            LogError("%s:%d: nGetCCG3DeviceMode Fail , strPhysicalAddress:[%s] ,  dwErrorCode %d", kFn,
                     __LINE__, strPhysicalAddress.c_str(), platform::lastErrorCode());
            return iResult;
        }
    }
    return 0;
}

int CPowerDelivery::nGetPDChipVendor(std::uint8_t ucDevIndex) {
    constexpr auto kFn = "CPowerDelivery::nGetPDChipVendor";
    const std::string strPhysicalAddress = strPhysicalAddressOf(ucDevIndex);
    devcore::ScopedDevice dev(hOpenDrive(kFn, __LINE__, strPhysicalAddress));
    if (!dev.valid()) return -1;
    std::uint8_t reply[kControlReplySize] = {};
    tryThrice(
        [&] {
            return SCSI7120_PDVendorCmd(reply, dev.get(), 0, PD_GET_PD_CONTROL, kQueryParam, 0, sizeof reply);
        },
        [&](int nRetry) {
            LogError(
                "%s:%d: SCSI7120_PDVendorCmd PD_GET_PD_CONTROL Retry[%d] , strPhysicalAddress:[%s] ,  "
                "dwErrorCode %d",
                kFn, __LINE__, nRetry, strPhysicalAddress.c_str(), platform::lastErrorCode());
        });
    int iResult = 0;
    if (reply[0] != kControlMarker) {
        LogError("%s:%d: SCSI7120_PDVendorCmd PD_GET_PD_CONTROL  , strPhysicalAddress:[%s] ,  dwErrorCode %d",
                 kFn, __LINE__, strPhysicalAddress.c_str(), platform::lastErrorCode());
        iResult = -3;
    }
    m_nPDChipVendor = reply[1];
    m_nMCUChipVendor = reply[8] != 0 ? MCU_VENDOR_ST : 0;
    LogMessage("%s:%d: m_nPDChipVendor=[%x], m_nMCUChipVendor=[%x]", kFn, __LINE__, m_nPDChipVendor,
               m_nMCUChipVendor);
    return iResult;
}

int CPowerDelivery::nGetCCG3DeviceMode(std::uint8_t ucDevIndex) {
    constexpr auto kFn = "CPowerDelivery::nGetCCG3DeviceMode";
    const std::string strPhysicalAddress = strPhysicalAddressOf(ucDevIndex);
    devcore::ScopedDevice dev(hOpenDrive(kFn, __LINE__, strPhysicalAddress));
    if (!dev.valid()) return -1;
    std::uint8_t ucMode = 0;
    const int iResult = tryThrice(
        [&] {
            return SCSI7120_PDVendorCmd(&ucMode, dev.get(), 0, PD_GET_PD_CCG3_DeviceMode, kDeviceModeParam, 0,
                                        1);
        },
        [&](int nRetry) {
            LogError(
                "%s:%d: SCSI7120_PDVendorCmd PD_GET_PD_CCG3_DeviceMode Retry[%d] , strPhysicalAddress:[%s] , "
                " "
                "dwErrorCode %d",
                kFn, __LINE__, nRetry, strPhysicalAddress.c_str(), platform::lastErrorCode());
        });
    ucCCGDeviceMode = ucMode;
    return iResult;
}

int CPowerDelivery::nGetPDFWVersion(std::uint8_t ucDevIndex) {
    constexpr auto kFn = "CPowerDelivery::nGetPDFWVersion";
    std::string strPD = kNoVersion;
    std::string strMCU = kNoVersion;
    int iResult = 0;
    const std::string strPhysicalAddress = strPhysicalAddressOf(ucDevIndex);
    {
        devcore::ScopedDevice dev(hOpenDrive(kFn, __LINE__, strPhysicalAddress));
        // A drive that cannot be opened leaves the texts at "NULL".
        if (dev.valid()) {
            char text[40];
            if (m_nPDChipVendor == PD_VENDOR_RICHTEK) {
                std::uint8_t reply[2] = {};
                if (SCSI7120_PDVendorCmd(reply, dev.get(), 0, PD_FW_VERSION, 0, 0, sizeof reply) == 0) {
                    std::snprintf(text, sizeof text, "%02X%02X", reply[1], reply[0]);
                    strPD = text;
                } else {
                    LogError(
                        "%s:%d: SCSI7120_PDVendorCmd RichTek PD_FW_VERSION Fail , strPhysicalAddress:[%s] ,  "
                        "dwErrorCode %d",
                        kFn, __LINE__, strPhysicalAddress.c_str(), platform::lastErrorCode());
                    iResult = -1;
                }
            } else if (m_nPDChipVendor == PD_VENDOR_CYPRESS || m_nPDChipVendor == PD_VENDOR_CCG3 ||
                       m_nPDChipVendor == PD_VENDOR_CCG4) {
                std::uint8_t reply[kVersionReplySize] = {};
                int iRead = 0;
                if (m_nPDChipVendor == PD_VENDOR_CYPRESS || ucCCGDeviceMode == 1)
                    iRead = SCSI7120_PDVendorCmd(reply, dev.get(), 0, CYPRESS_PD_FW_VERSION, kQueryParam, 0,
                                                 sizeof reply);
                else if (ucCCGDeviceMode == 2)
                    iRead = SCSI7120_PDVendorCmd(reply, dev.get(), 0, CYPRESS_PD_FW2_VERSION, kQueryParam, 0,
                                                 sizeof reply);
                if (iRead == 0) {
                    std::snprintf(text, sizeof text, "%02X%02X%02X%02X%02X%02X%02X%02X", reply[8], reply[9],
                                  reply[10], reply[11], reply[12], reply[13], reply[14], reply[15]);
                    strPD = text;
                } else {
                    LogError(
                        "%s:%d: SCSI7120_PDVendorCmd CYPress PD_FW_VERSION Fail , strPhysicalAddress:[%s] ,  "
                        "dwErrorCode %d",
                        kFn, __LINE__, strPhysicalAddress.c_str(), platform::lastErrorCode());
                    iResult = -1;
                }
            }
        }
    }
    if (bUpdateMCU && m_nMCUChipVendor != 0) strMCU = kMcuVersion;
    strPDDeviceVersion = strPD;
    if (bUpdateMCU) strPDDeviceVersion = bUpdatePD ? strPD + "/" + strMCU : strMCU;
    return iResult;
}
