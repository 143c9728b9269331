// Entry points of the bridge firmware update.
#include <cstring>
#include <memory>
#include <string>

#include "common/records/exchange_records.h"
#include "devcore/exports/export_guard.h"
#include "devcore/frame/library_objects.h"
#include "fwupdate/identity_update.h"
#include "fwupdate/per_drive.h"
#include "fwupdate/relink.h"
#include "fwupdate/update_context.h"
#include "fwupdate/update_paths.h"

using namespace quib;
using namespace quib::devcore;
using namespace quib::fwupdate;

namespace {
constexpr std::size_t kMaxSamplePath = 511;
}

extern "C" {

QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_Function_BuildBinFile(const char* pFwPath,
                                                                  const SerialNumberRecord* pRecord) {
    return guardedExport("QuibUSBLib_Function_BuildBinFile", __LINE__,
                         [&]() -> int32_t { return buildBinFile(pFwPath, pRecord); });
}

QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_Function_vCustomizedCheck(uint8_t ucTargetNumber,
                                                                      ExchangeData* pExchangeData) {
    constexpr auto kFn = "QuibUSBLib_Function_vCustomizedCheck";
    return guardedExport(kFn, __LINE__, [&]() -> int32_t {
        if (deviceEntry(kFn, __LINE__, ucTargetNumber) == nullptr || pExchangeData == nullptr)
            return QUIB_INVALID_PARAMETER;
        return customizedCheck(ucTargetNumber, *pExchangeData);
    });
}

QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_Function_vUpdateFirmware(uint8_t ucTargetNumber,
                                                                     ExchangeData* pExchangeData, uint16_t) {
    constexpr auto kFn = "QuibUSBLib_Function_vUpdateFirmware";
    return guardedExport(kFn, __LINE__, [&]() -> int32_t {
        if (pExchangeData == nullptr) return QUIB_INVALID_PARAMETER;
        return updateFirmware(ucTargetNumber, *pExchangeData);
    });
}

QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_Function_vSampleFWUpg(uint8_t ucTargetNumber, const char* pSample,
                                                                  uint16_t wTag) {
    return guardedExport("QuibUSBLib_Function_vSampleFWUpg", __LINE__, [&]() -> int32_t {
        if (pSample == nullptr) return QUIB_INVALID_PARAMETER;
        auto exchange = std::make_unique<ExchangeData>();
        std::memset(exchange.get(), 0, sizeof(ExchangeData));
        // The first byte is a flag, not text: a 0 there (bank 0 only) does not end the path behind it.
        exchange->ucEnableDualImage = static_cast<uint8_t>(pSample[0]);
        records::storeText(exchange->cFwPath,
                           std::string_view(pSample + 1, strnlen(pSample + 1, kMaxSamplePath)));
        return QuibUSBLib_Function_vUpdateFirmware(ucTargetNumber, exchange.get(), wTag);
    });
}

QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_Function_vUpdateConfig(uint8_t ucTargetNumber,
                                                                   const SerialNumberRecord* pRecord) {
    constexpr auto kFn = "QuibUSBLib_Function_vUpdateConfig";
    return guardedExport(kFn, __LINE__, [&]() -> int32_t {
        if (deviceEntry(kFn, __LINE__, ucTargetNumber) == nullptr || pRecord == nullptr)
            return QUIB_INVALID_PARAMETER;
        return updateConfig(ucTargetNumber, *pRecord);
    });
}

QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_Function_CPUSpeedRelink(uint8_t ucTargetNumber, uint8_t ucSpeed) {
    constexpr auto kFn = "QuibUSBLib_Function_CPUSpeedRelink";
    return guardedExport(kFn, __LINE__, [&]() -> int32_t {
        const USBDevEntry* entry = deviceEntry(kFn, __LINE__, ucTargetNumber);
        if (entry == nullptr) return QUIB_INVALID_PARAMETER;
        return restartAndFindAgain(kFn, ucTargetNumber, resetModeOfSpeed(ucSpeed), bridgeTypeOf(*entry));
    });
}

QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_Function_SafeRemoveUSB(uint8_t ucTargetNumber) {
    constexpr auto kFn = "QuibUSBLib_Function_SafeRemoveUSB";
    return guardedExport(kFn, __LINE__, [&]() -> int32_t {
        if (deviceEntry(kFn, __LINE__, ucTargetNumber) == nullptr) return QUIB_INVALID_PARAMETER;
        return theDevice().vSafeRemoveUSB(ucTargetNumber) ? QUIB_SUCCESS : QUIB_SAFE_REMOVE_FAIL;
    });
}

QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_K610X_CPURST(uint8_t ucTargetNumber) {
    constexpr auto kFn = "QuibUSBLib_K610X_CPURST";
    return guardedExport(kFn, __LINE__, [&]() -> int32_t {
        if (deviceEntry(kFn, __LINE__, ucTargetNumber) == nullptr) return QUIB_INVALID_PARAMETER;
        return k610xCpuRst(ucTargetNumber);
    });
}

QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_Function_iGetSNfromPhyAddrNumber(uint8_t ucPhyAddrNumber,
                                                                             uint8_t* pSerialNumber) {
    return guardedExport("QuibUSBLib_Function_iGetSNfromPhyAddrNumber", __LINE__,
                         [&]() -> int32_t { return getSNfromPhyAddrNumber(ucPhyAddrNumber, pSerialNumber); });
}

QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_Function_iGetFWfromPhyAddrNumber(uint8_t ucPhyAddrNumber,
                                                                             uint8_t* pFwVersion) {
    return guardedExport("QuibUSBLib_Function_iGetFWfromPhyAddrNumber", __LINE__,
                         [&]() -> int32_t { return getFWfromPhyAddrNumber(ucPhyAddrNumber, pFwVersion); });
}

QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_Function_iCPURSTfromPhyAddrNumber(uint8_t ucPhyAddrNumber) {
    return guardedExport("QuibUSBLib_Function_iCPURSTfromPhyAddrNumber", __LINE__,
                         [&]() -> int32_t { return cpuRstFromPhyAddrNumber(ucPhyAddrNumber); });
}

QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_Function_iUpdateFWfromPhyAddrNumber(uint8_t ucPhyAddrNumber,
                                                                                const char* pFwPath,
                                                                                uint8_t ucBank,
                                                                                int32_t bVerify) {
    constexpr auto kFn = "QuibUSBLib_Function_iUpdateFWfromPhyAddrNumber";
    return guardedExport(kFn, __LINE__, [&]() -> int32_t {
        if (pFwPath == nullptr) return QUIB_INVALID_PARAMETER;
        return updateFWfromPhyAddrNumber(ucPhyAddrNumber, pFwPath, ucBank, bVerify != 0);
    });
}

QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_Function_iUpdateFWfromPhyAddrNumber2(uint8_t ucPhyAddrNumber,
                                                                                 QuibCountedString fwPath,
                                                                                 uint8_t ucBank,
                                                                                 int32_t bVerify) {
    constexpr auto kFn = "QuibUSBLib_Function_iUpdateFWfromPhyAddrNumber2";
    return guardedExport(kFn, __LINE__, [&]() -> int32_t {
        if (fwPath.pText == nullptr && fwPath.dwLength != 0) return QUIB_INVALID_PARAMETER;
        const std::string strPath =
            fwPath.pText != nullptr ? std::string(fwPath.pText, fwPath.dwLength) : std::string();
        return updateFWfromPhyAddrNumber(ucPhyAddrNumber, strPath, ucBank, bVerify != 0);
    });
}

}  // extern "C"
