#include "services/oem_transfers.h"

#include "common/log/debug_log.h"
#include "devcore/device/quib_usb_dev.h"
#include "devcore/frame/library_objects.h"
#include "include/quibusb.h"
#include "services/service_device.h"

namespace quib::services {
namespace {

constexpr std::uint32_t kMaxEepromLength = 0x10000;
constexpr std::uint8_t kEepromAccessFlag = 0xFF;

CQuibUSBDev& dev() {
    return devcore::theDevice();
}

}  // namespace

int oemAccessEeprom(std::uint8_t ucTargetNumber, std::uint8_t ucReadWrite, std::uint8_t* pBuffer,
                    std::uint32_t dwLength) {
    constexpr auto kFn = "QuibUSBLib_K610X_OEM_AccessEEPROM";
    if (dwLength > kMaxEepromLength || pBuffer == nullptr) return QUIB_INVALID_PARAMETER;
    devcore::ScopedDevice device = openListEntry(kFn, ucTargetNumber, EntryPath::AsRecorded);
    if (!device.valid()) return QUIB_FILE_NOT_FOUND;
    if (dev().SCSI7120_AccessFirmwareEEPROM(pBuffer, device.get(), ucReadWrite, dwLength,
                                            kEepromAccessFlag) != 0) {
        const std::uint8_t* b = pBuffer;
        const bool bShown = dwLength >= 5;  // never read past the caller's bytes
        LogError(
            "%s:%d: SCSI7120_AccessFirmwareEEPROM(bWriteRead: %d): fail, value[%02x %02x %02x %02x %02x]",
            kFn, __LINE__, ucReadWrite, bShown ? b[0] : 0, bShown ? b[1] : 0, bShown ? b[2] : 0,
            bShown ? b[3] : 0, bShown ? b[4] : 0);
        return QUIB_FAIL;
    }
    return QUIB_SUCCESS;
}

int vendorCommand(std::uint8_t ucTargetNumber, std::uint8_t ucReadWrite, std::uint8_t ucCdb0,
                  std::uint8_t ucCdb1, std::uint8_t ucCdb2, const std::uint8_t* pCdbTail,
                  std::uint8_t* pBuffer, std::uint32_t dwLength) {
    constexpr auto kFn = "QuibUSBLib_VENDOR_CMD";
    devcore::ScopedDevice device = openListEntry(kFn, ucTargetNumber, EntryPath::AsRecorded);
    if (!device.valid()) return QUIB_FILE_NOT_FOUND;
    const int iResult = dev().SCSI_VEN_PASSTHROUGH_CMD(pCdbTail, device.get(), ucReadWrite == 1 ? 1 : 0,
                                                       ucCdb0, ucCdb1, ucCdb2, pBuffer, dwLength);
    if (iResult != 0) LogError("%s:%d: SCSI_VEN_PASSTHROUGH_CMD", kFn, __LINE__);
    return iResult;
}

int firmwareEepromDirect(std::uint8_t ucTargetNumber, std::uint8_t ucReadWrite, std::uint8_t* pBuffer,
                         std::uint32_t dwLength, std::uint8_t ucBank) {
    devcore::ScopedDevice device =
        openListEntry("QuibUSBLib_K610X_AccessFirmwareEEPROM", ucTargetNumber, EntryPath::AsRecorded);
    if (!device.valid()) return QUIB_FILE_NOT_FOUND;
    return dev().SCSI7120_AccessFirmwareEEPROM_Direct(dwLength, device.get(), ucReadWrite, pBuffer, ucBank);
}

int accessHardDisk(bool bCdrom, std::uint8_t ucNumber, std::uint8_t ucReadWrite, std::uint32_t dwLbaLow,
                   std::uint32_t dwLbaHigh, const std::uint8_t* pData, std::uint32_t dwSectorCount) {
    constexpr auto kFn = "QuibUSBLib_SCSI7120_AccessHardDisk";
    const std::string path = devcore::makeDevicePath(bCdrom, ucNumber);
    devcore::ScopedDevice device(devcore::openDevice(path));
    if (!device.valid()) {
        LogError("%s:%d: CreateFile failed, strPhysicalAddress(%s)", kFn, __LINE__, path.c_str());
        return QUIB_FILE_NOT_FOUND;
    }
    return dev().SCSI7120_AccessHardDisk(device.get(), ucReadWrite, dwLbaLow, dwLbaHigh, pData,
                                         dwSectorCount);
}

int pcieConfigRead(platform::DeviceHandle hDev, std::uint16_t wOffset, std::uint8_t* pBuffer,
                   std::uint16_t wLength) {
    const int iResult = dev().SCSI850X_PCIeConfiguration_ReadDword(wLength, hDev, wOffset, pBuffer);
    if (iResult != 0)
        LogError("%s:%d: QuibUSBLib_SCSI850X_PCIeConfiguration_ReadDword FAIL(%d)",
                 "QuibUSBLib_SCSI850X_PCIeConfiguration_ReadDword", __LINE__, iResult);
    return iResult;
}

int pcieConfigWrite(platform::DeviceHandle hDev, std::uint16_t wOffset, const std::uint8_t* pData,
                    std::uint16_t wLength) {
    const int iResult = dev().SCSI850X_PCIeConfiguration_WriteDword(wOffset, hDev, pData, wLength);
    if (iResult != 0)
        LogError("%s:%d: SCSI850X_PCIeConfiguration_WriteDword FAIL(%d)",
                 "QuibUSBLib_SCSI850X_PCIeConfiguration_WriteDword", __LINE__, iResult);
    return iResult;
}

int factoryConfigureWrite(std::uint8_t ucTargetNumber, const std::uint8_t* pBlock) {
    constexpr auto kFn = "QuibUSBLib_FactoryConfigure_Write";
    if (pBlock == nullptr) return QUIB_INVALID_PARAMETER;
    devcore::ScopedDevice device = openListEntry(kFn, ucTargetNumber, EntryPath::AsRecorded);
    if (!device.valid()) return QUIB_FILE_NOT_FOUND;
    return dev().SCSI8502_FactoryConfigure_Write(pBlock, device.get());
}

int factoryConfigureRead(std::uint8_t ucTargetNumber, std::uint8_t* pResult) {
    constexpr auto kFn = "QuibUSBLib_FactoryConfigure_Read";
    if (pResult == nullptr) return QUIB_INVALID_PARAMETER;
    devcore::ScopedDevice device = openListEntry(kFn, ucTargetNumber, EntryPath::AsRecorded);
    if (!device.valid()) return QUIB_FILE_NOT_FOUND;
    return dev().SCSI8502_FactoryConfigure_Read(device.get(), pResult);
}

}  // namespace quib::services
