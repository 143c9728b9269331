// The PD/MCU entry points.
#include <algorithm>
#include <cstring>
#include <string>

#include "devcore/exports/export_guard.h"
#include "pdupdate/pd_object.h"

using namespace quib;
using namespace quib::pdupdate;

namespace {

// A NUL-terminated path of the exchange record, never read past its field.
template <std::size_t N>
std::string fieldText(const char (&field)[N]) {
    return std::string(field, strnlen(field, N));
}

// The exchange record is there and the index has result entries.
bool argumentsServed(const char* kFn, int iLine, std::uint8_t ucTargetNumber,
                     const ExchangeData* pExchangeData) {
    if (pExchangeData == nullptr) {
        LogError("%s:%d: pExchangeData is NULL", kFn, iLine);
        return false;
    }
    if (ucTargetNumber <= kMaxPdDeviceIndex) return true;
    LogError("%s:%d: device index [%d] out of range (0..3)", kFn, iLine, ucTargetNumber);
    return false;
}

}  // namespace

extern "C" {

QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_Function_vInitialPD(QuibPowerDelivery* pPD) {
    constexpr auto kFn = "QuibUSBLib_Function_vInitialPD";
    return devcore::guardedExport(kFn, __LINE__, [&]() -> int32_t {
        if (pPD != QUIB_LIBRARY_PD) {
            if (pPD != nullptr) LogError("%s:%d: pPD is not the library's PD object", kFn, __LINE__);
            return QUIB_INVALID_PARAMETER;
        }
        powerDelivery().vReset();
        return QUIB_SUCCESS;
    });
}

QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_Function_vShowPDVersion(uint8_t ucTargetNumber,
                                                                    ExchangeData* pExchangeData) {
    constexpr auto kFn = "QuibUSBLib_Function_vShowPDVersion";
    return devcore::guardedExport(kFn, __LINE__, [&]() -> int32_t {
        if (!argumentsServed(kFn, __LINE__, ucTargetNumber, pExchangeData)) return QUIB_INVALID_PARAMETER;
        CPowerDelivery& pd = powerDelivery();
        pd.bUpdatePD = pExchangeData->ucUpdatePD != 0;
        pd.bUpdateMCU = pExchangeData->ucUpdateMCU != 0;
        pd.strPDFwPath = fieldText(pExchangeData->cPDFwPath);
        pd.strMCUFwPath = fieldText(pExchangeData->cMCUFwPath);
        if (pd.bUpdatePD) pd.strPDFileVersion = pd.strGetPDFWVersionFromFile(pd.strPDFwPath);
        if (pd.bUpdateMCU) pd.strGetPDFWVersionFromFile(pd.strMCUFwPath);

        if (const int iResult = pd.nInitializedPDI2CBus(ucTargetNumber)) {
            LogError("%s:%d: PD[%d] I2C Initialized I2C Bus Failed", kFn, __LINE__, ucTargetNumber);
            return iResult;
        }
        std::memset(pExchangeData->cPDFwVersion, 0, sizeof pExchangeData->cPDFwVersion);
        if (const int iResult = pd.nGetPDFWVersion(ucTargetNumber)) return iResult;
        const std::size_t n = std::min(pd.strPDDeviceVersion.size(), sizeof pExchangeData->cPDFwVersion - 1);
        std::memcpy(pExchangeData->cPDFwVersion, pd.strPDDeviceVersion.data(), n);
        LogMessage("%s:%d: PD[%d] FW version = [%s] ", kFn, __LINE__, ucTargetNumber,
                   pExchangeData->cPDFwVersion);
        return QUIB_SUCCESS;
    });
}

QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_Function_vUpdatePDFirmware(uint8_t ucTargetNumber,
                                                                       ExchangeData* pExchangeData) {
    constexpr auto kFn = "QuibUSBLib_Function_vUpdatePDFirmware";
    return devcore::guardedExport(kFn, __LINE__, [&]() -> int32_t {
        if (!argumentsServed(kFn, __LINE__, ucTargetNumber, pExchangeData)) return QUIB_INVALID_PARAMETER;
        CPowerDelivery& pd = powerDelivery();
        if (pExchangeData->ucUpdatePD == 1) pd.bUpdatePD = true;
        if (pExchangeData->ucUpdateMCU == 1) pd.bUpdateMCU = true;
        if (!pd.bUpdatePD && !pd.bUpdateMCU) {
            LogError("%s:%d: neither a PD nor an MCU update is asked for", kFn, __LINE__);
            return QUIB_INVALID_PARAMETER;
        }

        if (pd.bUpdatePD) {
            pd.strPDFwPath = fieldText(pExchangeData->cPDFwPath);
            platform::FileSystem& files = platform::get().files;
            if (!devcore::theUtility().vCheckFilePathExists(pd.strPDFwPath) ||
                files.isDirectory(pd.strPDFwPath)) {
                LogError("%s:%d: vCheck PD FW path failed[%s].", kFn, __LINE__, pd.strPDFwPath.c_str());
                return QUIB_FILE_NOT_FOUND;
            }
            pd.strPDFileVersion = pd.strGetPDFWVersionFromFile(pd.strPDFwPath);
            if (pd.m_nPDChipVendor == 0) {
                LogError("%s:%d: The PD device is Unknow or Failed detection...[%s]", kFn, __LINE__,
                         pd.strPDFwPath.c_str());
                return QUIB_CHECK_FAILED;
            }
            // Nothing is programmed from an image that did not parse whole.
            if (const int iResult = pd.nCreatePDSPIROMBuffer(pd.strPDFwPath)) {
                LogError("%s:%d: nCreatePDSPIROMBuffer failed...[%s]!!!", kFn, __LINE__,
                         pd.strPDFwPath.c_str());
                return iResult;
            }
            if (const int iResult = pd.nPDFWVerify()) {
                LogError("%s:%d: nPDFWVerify failed...[%s]!!!", kFn, __LINE__, pd.strPDFwPath.c_str());
                return iResult;
            }
        }
        if (pd.bUpdateMCU) {
            if (const int iResult = pd.nCreatePDSPIROMBuffer(pd.strMCUFwPath)) {
                LogError("%s:%d: nCreatePDSPIROMBuffer failed...[%s]!!!", kFn, __LINE__,
                         pd.strMCUFwPath.c_str());
                return iResult;
            }
        }

        pd.vPDFWUpdate(ucTargetNumber);

        bool bSuccess = true;
        if (pd.bUpdatePD && pd.ucPDResult[ucTargetNumber] == 0) {
            LogError("%s:%d: Update PD FW Fail , [%d] ", kFn, __LINE__, ucTargetNumber);
            bSuccess = false;
        } else if (pd.bUpdateMCU && pd.ucMCUResult[ucTargetNumber] == 0) {
            LogError("%s:%d: Update MCU FW Fail , [%d] ", kFn, __LINE__, ucTargetNumber);
            bSuccess = false;
        }
        if (devcore::USBDevList* list = devcore::libraryObjects().devList();
            list != nullptr && ucTargetNumber < list->nDevCount)
            list->Devs[ucTargetNumber].nWorkingValue1 = bSuccess ? 1 : 0;
        return bSuccess ? QUIB_SUCCESS : QUIB_FAIL;
    });
}

QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_Function_vClosePD(void) {
    constexpr auto kFn = "QuibUSBLib_Function_vClosePD";
    return devcore::guardedExport(kFn, __LINE__, [&]() -> int32_t {
        closePowerDelivery();
        return QUIB_SUCCESS;
    });
}

}  // extern "C"
