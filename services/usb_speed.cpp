#include "services/usb_speed.h"

#include "common/log/debug_log.h"
#include "devcore/device/quib_usb_dev.h"
#include "devcore/frame/library_objects.h"
#include "include/quibusb.h"
#include "services/service_device.h"

namespace quib::services {
namespace {

constexpr std::uint16_t kChipVariant = 0xE495;
constexpr std::uint8_t kVariantNotF = 0x10;
constexpr std::uint8_t kVariantBit2 = 0x04;

}  // namespace

int setUsbSpeedMode(std::uint8_t ucTargetNumber, std::uint32_t dwSpeedMode) {
    constexpr auto kFn = "QuibUSBLib_USB_SetSpeedModeByVendor";
    devcore::ScopedDevice device = openListEntry(kFn, ucTargetNumber, EntryPath::Disk);
    if (!device.valid()) return QUIB_FILE_NOT_FOUND;
    const int iResult = devcore::theDevice().nSetUSBMaxSpeedbyKRV8504VendorCmd(
        device.get(), static_cast<std::uint8_t>(dwSpeedMode & 0xFF));
    if (iResult != 0) LogError("%s:%d: nSetUSBMaxSpeedbyVendorCmd Failed", kFn, __LINE__);
    return iResult;
}

int get8504FixtureDev(std::uint8_t ucTargetNumber) {
    constexpr auto kFn = "QuibUSBLib_USB_Get8504FixtureDev";
    devcore::ScopedDevice device = openListEntry(kFn, ucTargetNumber, EntryPath::Disk);
    if (!device.valid()) return QUIB_FILE_NOT_FOUND;
    CQuibUSBDev& dev = devcore::theDevice();
    std::uint8_t variant = 0;
    if (const int iResult = dev.SCSI7120_AccessRegister(device.get(), &variant, 0, kChipVariant, 1);
        iResult != 0)
        return iResult;
    if (!(variant & kVariantNotF)) return QUIB_SUCCESS;
    if (const int iResult = dev.SCSI7120_AccessRegister(device.get(), &variant, 0, kChipVariant, 1);
        iResult != 0)
        return iResult;
    const int iChipType = !(variant & kVariantNotF) ? 5 : (variant & kVariantBit2) ? 3 : 4;
    LogError("%s:%d: GetChipType(%d), it is not F type Chip", kFn, __LINE__, iChipType);
    return QUIB_CHECK_FAILED;
}

int getUsbSpeed(std::uint8_t ucTargetNumber, std::uint8_t* pSpeed) {
    constexpr auto kFn = "QuibUSBLib_USB_GetSpeed";
    if (pSpeed == nullptr) return QUIB_INVALID_PARAMETER;
    devcore::ScopedDevice device = openListEntry(kFn, ucTargetNumber, EntryPath::Disk);
    if (!device.valid()) return QUIB_FILE_NOT_FOUND;
    // The device opened, so its entry exists.
    devcore::USBDevEntry& entry = *devcore::deviceEntry(kFn, __LINE__, ucTargetNumber);
    const int iResult = devcore::theDevice().ucGetUsbSpeed(device.get(), entry.m_ucDevType, entry.ucSpeed);
    *pSpeed = entry.ucSpeed;
    if (iResult != 0) LogError("%s:%d: ucGetUsbSpeed Failed", kFn, __LINE__);
    return iResult;
}

}  // namespace quib::services
