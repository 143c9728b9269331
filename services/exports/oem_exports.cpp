// Entry points of the OEM services: pins, EEPROM, vendor commands, sectors, PCIe configuration, factory
// configuration and the USB link.
#include <cstdint>

#include "devcore/exports/export_guard.h"
#include "services/oem_pins.h"
#include "services/oem_transfers.h"
#include "services/usb_speed.h"

using namespace quib;
using namespace quib::devcore;
using namespace quib::services;

namespace {

platform::DeviceHandle handleOf(QUIB_HANDLE hDev) {
    return static_cast<platform::DeviceHandle>(reinterpret_cast<std::intptr_t>(hDev));
}

}  // namespace

extern "C" {

QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_K610X_ControlGPIO(uint8_t ucTargetNumber, uint8_t ucDirection,
                                                              uint8_t ucPinMask, uint8_t* pValue) {
    return guardedExport("QuibUSBLib_K610X_ControlGPIO", __LINE__, [&]() -> int32_t {
        return controlGpio(ucTargetNumber, ucDirection, ucPinMask, pValue);
    });
}

QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_K610X_OEM_ControlGPIO(uint8_t ucTargetNumber, uint8_t* pValue) {
    return guardedExport("QuibUSBLib_K610X_OEM_ControlGPIO", __LINE__,
                         [&]() -> int32_t { return oemControlGpio(ucTargetNumber, pValue); });
}

QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_K610X_OEM_GetUartRX(uint8_t ucTargetNumber, uint8_t* pValue) {
    return guardedExport("QuibUSBLib_K610X_OEM_GetUartRX", __LINE__,
                         [&]() -> int32_t { return oemGetUartRx(ucTargetNumber, pValue); });
}

QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_K610X_OEM_SetHDDPC(uint8_t ucTargetNumber, uint8_t* pValue) {
    return guardedExport("QuibUSBLib_K610X_OEM_SetHDDPC", __LINE__,
                         [&]() -> int32_t { return oemSetHddPowerControl(ucTargetNumber, pValue); });
}

QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_K610X_OEM_AccessEEPROM(uint8_t ucTargetNumber,
                                                                   uint8_t ucReadWrite, uint8_t* pBuffer,
                                                                   uint32_t dwLength, uint8_t) {
    return guardedExport("QuibUSBLib_K610X_OEM_AccessEEPROM", __LINE__, [&]() -> int32_t {
        return oemAccessEeprom(ucTargetNumber, ucReadWrite, pBuffer, dwLength);
    });
}

QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_K610X_AccessFirmwareEEPROM(uint8_t ucTargetNumber,
                                                                       uint8_t ucReadWrite, uint8_t* pBuffer,
                                                                       uint32_t dwLength, uint8_t ucBank) {
    return guardedExport("QuibUSBLib_K610X_AccessFirmwareEEPROM", __LINE__, [&]() -> int32_t {
        return firmwareEepromDirect(ucTargetNumber, ucReadWrite, pBuffer, dwLength, ucBank);
    });
}

QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_VENDOR_CMD(uint8_t ucTargetNumber, uint8_t ucReadWrite,
                                                       uint8_t ucCdb0, uint8_t ucCdb1, uint8_t ucCdb2,
                                                       const uint8_t* pCdbTail, uint8_t* pBuffer,
                                                       uint32_t dwLength) {
    return guardedExport("QuibUSBLib_VENDOR_CMD", __LINE__, [&]() -> int32_t {
        return vendorCommand(ucTargetNumber, ucReadWrite, ucCdb0, ucCdb1, ucCdb2, pCdbTail, pBuffer,
                             dwLength);
    });
}

QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_SCSI7120_AccessHardDisk(uint8_t ucCdrom, uint8_t ucNumber,
                                                                    uint8_t ucReadWrite, uint32_t dwLbaLow,
                                                                    uint32_t dwLbaHigh, const uint8_t* pData,
                                                                    uint32_t dwSectorCount) {
    return guardedExport("QuibUSBLib_SCSI7120_AccessHardDisk", __LINE__, [&]() -> int32_t {
        return accessHardDisk(ucCdrom != 0, ucNumber, ucReadWrite, dwLbaLow, dwLbaHigh, pData, dwSectorCount);
    });
}

QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_SCSI850X_PCIeConfiguration_ReadDword(QUIB_HANDLE hDev,
                                                                                 uint16_t wOffset,
                                                                                 uint8_t* pBuffer,
                                                                                 uint16_t wLength) {
    return guardedExport("QuibUSBLib_SCSI850X_PCIeConfiguration_ReadDword", __LINE__, [&]() -> int32_t {
        return pcieConfigRead(handleOf(hDev), wOffset, pBuffer, wLength);
    });
}

QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_SCSI850X_PCIeConfiguration_WriteDword(QUIB_HANDLE hDev,
                                                                                  uint16_t wOffset,
                                                                                  const uint8_t* pData,
                                                                                  uint16_t wLength) {
    return guardedExport("QuibUSBLib_SCSI850X_PCIeConfiguration_WriteDword", __LINE__, [&]() -> int32_t {
        return pcieConfigWrite(handleOf(hDev), wOffset, pData, wLength);
    });
}

QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_FactoryConfigure_Write(uint8_t ucTargetNumber,
                                                                   const uint8_t* pBlock) {
    return guardedExport("QuibUSBLib_FactoryConfigure_Write", __LINE__,
                         [&]() -> int32_t { return factoryConfigureWrite(ucTargetNumber, pBlock); });
}

QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_FactoryConfigure_Read(uint8_t ucTargetNumber, uint8_t* pResult) {
    return guardedExport("QuibUSBLib_FactoryConfigure_Read", __LINE__,
                         [&]() -> int32_t { return factoryConfigureRead(ucTargetNumber, pResult); });
}

QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_USB_SetSpeedModeByVendor(uint8_t ucTargetNumber,
                                                                     uint32_t dwSpeedMode) {
    return guardedExport("QuibUSBLib_USB_SetSpeedModeByVendor", __LINE__,
                         [&]() -> int32_t { return setUsbSpeedMode(ucTargetNumber, dwSpeedMode); });
}

QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_USB_Get8504FixtureDev(uint8_t ucTargetNumber) {
    return guardedExport("QuibUSBLib_USB_Get8504FixtureDev", __LINE__,
                         [&]() -> int32_t { return get8504FixtureDev(ucTargetNumber); });
}

QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_USB_GetSpeed(uint8_t ucTargetNumber, uint8_t* pSpeed) {
    return guardedExport("QuibUSBLib_USB_GetSpeed", __LINE__,
                         [&]() -> int32_t { return getUsbSpeed(ucTargetNumber, pSpeed); });
}

}  // extern "C"
