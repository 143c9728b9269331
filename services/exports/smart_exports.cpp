// Entry points of the drive's identity and SMART data.
#include <cstdint>

#include "devcore/exports/export_guard.h"
#include "services/smart_service.h"

using namespace quib;
using namespace quib::devcore;
using namespace quib::services;

extern "C" {

QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_IdentifyDevice(uint8_t ucTargetNumber, uint8_t* pBuffer) {
    return guardedExport("QuibUSBLib_IdentifyDevice", __LINE__,
                         [&]() -> int32_t { return identifyDevice(ucTargetNumber, pBuffer); });
}

QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_GetSmartAttribute(uint8_t ucTargetNumber, uint8_t* pBuffer) {
    return guardedExport("QuibUSBLib_GetSmartAttribute", __LINE__,
                         [&]() -> int32_t { return getSmartAttribute(ucTargetNumber, pBuffer); });
}

QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_ReadSmartLog(uint8_t ucTargetNumber, uint8_t* pBuffer,
                                                         uint32_t dwLogAddress) {
    return guardedExport("QuibUSBLib_ReadSmartLog", __LINE__,
                         [&]() -> int32_t { return readSmartLog(ucTargetNumber, pBuffer, dwLogAddress); });
}

QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_WriteSmartLog(uint8_t ucTargetNumber, const uint8_t* pBuffer,
                                                          uint32_t dwLogAddress) {
    return guardedExport("QuibUSBLib_WriteSmartLog", __LINE__,
                         [&]() -> int32_t { return writeSmartLog(ucTargetNumber, pBuffer, dwLogAddress); });
}

QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_vReadWriteSmartLogPage_LastSector(uint8_t ucTargetNumber,
                                                                              uint8_t ucWrite,
                                                                              uint8_t* pBuffer) {
    // 1 is success here, so a failure that throws gives 0.
    return guardedExport("QuibUSBLib_vReadWriteSmartLogPage_LastSector", __LINE__, 0,
                         [&]() -> int32_t { return readWriteLastSector(ucTargetNumber, ucWrite, pBuffer); });
}

}  // extern "C"
