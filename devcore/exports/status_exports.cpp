// Entry points that read the device list of the last scan, the debug level and raw register access.
#include <cstring>

#include "devcore/device/text_helpers.h"
#include "devcore/exports/export_guard.h"
#include "devcore/frame/library_objects.h"

using namespace quib;
using namespace quib::devcore;

namespace {
constexpr std::size_t kStatusTextMax = 127;  // callers provide at least 128 bytes
constexpr std::uint32_t kErrorDeviceNotFunctioning = platform::kErrorGenFailure;
}  // namespace

extern "C" {

QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_CloseDev(void) {
    constexpr auto kFn = "QuibUSBLib_CloseDev";
    return guardedExport(kFn, __LINE__, [&]() -> int32_t {
        if (libraryObjects().releaseDevList()) LogMessage("%s:%d: g_DevList = NULL", kFn, __LINE__);
        return QUIB_SUCCESS;
    });
}

QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_Function_vSetDllDebugLevel(int32_t iLevel) {
    return guardedExport("QuibUSBLib_Function_vSetDllDebugLevel", __LINE__, [&]() -> int32_t {
        log::setLevel(iLevel);
        return QUIB_SUCCESS;
    });
}

QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_vShowUSBStatus(uint8_t ucTargetNumber, char* pStatus) {
    constexpr auto kFn = "QuibUSBLib_vShowUSBStatus";
    return guardedExport(kFn, __LINE__, [&]() -> int32_t {
        const USBDevEntry* entry = deviceEntry(kFn, __LINE__, ucTargetNumber);
        if (entry == nullptr || pStatus == nullptr) return QUIB_INVALID_PARAMETER;
        if (entry->strLinkStatus.empty()) return QUIB_FAIL;
        const std::size_t n = std::min(entry->strLinkStatus.size(), kStatusTextMax);
        std::memcpy(pStatus, entry->strLinkStatus.data(), n);
        pStatus[n] = '\0';
        return QUIB_SUCCESS;
    });
}

QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_vShowUSBProtocol(uint8_t ucTargetNumber, uint8_t* pProtocol) {
    constexpr auto kFn = "QuibUSBLib_vShowUSBProtocol";
    return guardedExport(kFn, __LINE__, [&]() -> int32_t {
        const USBDevEntry* entry = deviceEntry(kFn, __LINE__, ucTargetNumber);
        if (entry == nullptr || pProtocol == nullptr) return QUIB_INVALID_PARAMETER;
        if (entry->ucStreamMode == kStreamModeUas) {
            *pProtocol = 2;
        } else if (entry->ucStreamMode == kStreamModeBot) {
            *pProtocol = 3;
        } else {
            return QUIB_UNKNOWN_TRANSPORT;
        }
        return QUIB_SUCCESS;
    });
}

QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_vDetectCCOrientation(uint8_t ucTargetNumber,
                                                                 uint8_t* pOrientation) {
    constexpr auto kFn = "QuibUSBLib_vDetectCCOrientation";
    return guardedExport(kFn, __LINE__, [&]() -> int32_t {
        const USBDevEntry* entry = deviceEntry(kFn, __LINE__, ucTargetNumber);
        if (entry == nullptr || pOrientation == nullptr) return QUIB_INVALID_PARAMETER;
        if (entry->ucCCOrientation > 1) return QUIB_CHECK_FAILED;
        *pOrientation = static_cast<uint8_t>(entry->ucCCOrientation + 4);
        return QUIB_SUCCESS;
    });
}

QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_vIsKRV630X(uint8_t ucTargetNumber) {
    constexpr auto kFn = "QuibUSBLib_vIsKRV630X";
    return guardedExport(kFn, __LINE__, [&]() -> int32_t {
        const USBDevEntry* entry = deviceEntry(kFn, __LINE__, ucTargetNumber);
        if (entry == nullptr) return QUIB_INVALID_PARAMETER;
        return equalsIgnoreCase(entry->m_strChipType, "C") ? QUIB_SUCCESS : QUIB_CHECK_FAILED;
    });
}

QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_vIsKRVUSBDev(uint8_t ucTargetNumber, uint8_t ucType) {
    constexpr auto kFn = "QuibUSBLib_vIsKRVUSBDev";
    return guardedExport(kFn, __LINE__, [&]() -> int32_t {
        const USBDevEntry* entry = deviceEntry(kFn, __LINE__, ucTargetNumber);
        if (entry == nullptr) return QUIB_INVALID_PARAMETER;
        const char* strWanted = nullptr;
        switch (ucType) {
            case 2:
                strWanted = "C";
                break;
            case 3:
                strWanted = "D";
                break;
            case 5:
                strWanted = "E";
                break;
            case 6:
                strWanted = "850A";
                break;
            case 7:
                strWanted = "850B";
                break;
            default:
                return QUIB_CHECK_FAILED;
        }
        return equalsIgnoreCase(entry->m_strChipType, strWanted) ? QUIB_SUCCESS : QUIB_CHECK_FAILED;
    });
}

QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_K610X_AccessRegister(QUIB_HANDLE hDev, uint8_t ucReadWrite,
                                                                 uint16_t wAddress, uint8_t* pBuffer,
                                                                 uint32_t dwLength) {
    constexpr auto kFn = "QuibUSBLib_K610X_AccessRegister";
    return guardedExport(kFn, __LINE__, [&]() -> int32_t {
        const auto handle = static_cast<platform::DeviceHandle>(reinterpret_cast<std::intptr_t>(hDev));
        return theDevice().SCSI7120_AccessRegister(handle, pBuffer, ucReadWrite, wAddress, dwLength);
    });
}

QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_Function_vGetOTBStatus(uint8_t ucTargetNumber, int32_t* pStatus) {
    constexpr auto kFn = "QuibUSBLib_Function_vGetOTBStatus";
    return guardedExport(kFn, __LINE__, [&]() -> int32_t {
        if (deviceEntry(kFn, __LINE__, ucTargetNumber) == nullptr || pStatus == nullptr)
            return QUIB_INVALID_PARAMETER;
        std::uint8_t status[16] = {};
        if (!theDevice().bGetOTBStatusByStorageDescriptor(ucTargetNumber, status)) {
            const std::uint32_t dwErrorCode = platform::lastError();
            if (dwErrorCode == kErrorDeviceNotFunctioning) {
                LogError("%s:%d: Dev[%d] do not support OTB command, dwErrorCode = %d", kFn, __LINE__,
                         ucTargetNumber, static_cast<int>(dwErrorCode));
                return QUIB_INVALID_PARAMETER;
            }
            LogError("%s:%d: Dev[%d] bGetOTBStatusByStorageDescriptor fail, dwErrorCode = %d", kFn, __LINE__,
                     ucTargetNumber, static_cast<int>(dwErrorCode));
            return QUIB_FAIL;
        }
        *pStatus = (status[0] == 0xAA && status[1] == 0xAA) ? 5 : 6;
        return QUIB_SUCCESS;
    });
}

}  // extern "C"
