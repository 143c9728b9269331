#include "services/oem_pins.h"

#include <bit>

#include "common/log/debug_log.h"
#include "devcore/device/quib_usb_dev.h"
#include "devcore/frame/library_objects.h"
#include "include/quibusb.h"
#include "services/service_device.h"

namespace quib::services {
namespace {

constexpr std::uint16_t kGpioFunctionBase = 0xCA20;  // one register per pin
constexpr std::uint16_t kGpioOutputEnable = 0xCA30;
constexpr std::uint16_t kGpioOutputLevel = 0xCA32;
constexpr std::uint16_t kGpioInputLevel = 0xCA34;
constexpr std::uint16_t kUartPinFunction = 0xCA3A;
constexpr std::uint16_t kUartRxDirection = 0xCA88;
constexpr std::uint16_t kUartRxLevel = 0xCA8A;
constexpr std::uint8_t kUartRxBit = 0x08;
constexpr std::uint16_t kPowerControlEnable = 0xCA8C;
constexpr std::uint16_t kPowerControlSelect = 0xCA84;
constexpr std::uint16_t kPowerControlLevel = 0xCA85;

constexpr std::uint8_t kRead = 0;
constexpr std::uint8_t kWrite = 1;

// Register steps of one export on one open device; the first failure ends the sequence with its code.
class RegisterSequence {
  public:
    RegisterSequence(const char* kFn, platform::DeviceHandle hDev) : m_kFn(kFn), m_hDev(hDev) {}

    int read(std::uint16_t wAddress, std::uint8_t& value, std::uint32_t dwLength = 1) {
        std::uint8_t buffer[2] = {};
        const int iResult =
            devcore::theDevice().SCSI7120_AccessRegister(m_hDev, buffer, kRead, wAddress, dwLength);
        value = buffer[0];
        if (iResult != 0) logFailure(kRead, wAddress, value);
        return iResult;
    }
    int write(std::uint16_t wAddress, std::uint8_t value) {
        const int iResult = devcore::theDevice().SCSI7120_AccessRegister(m_hDev, &value, kWrite, wAddress, 1);
        if (iResult != 0) logFailure(kWrite, wAddress, value);
        return iResult;
    }
    // Reads a register, changes it and writes it back.
    template <typename Change>
    int update(std::uint16_t wAddress, Change change, std::uint32_t dwReadLength = 1) {
        std::uint8_t value = 0;
        if (const int iResult = read(wAddress, value, dwReadLength); iResult != 0) return iResult;
        return write(wAddress, change(value));
    }

  private:
    void logFailure(std::uint8_t ucReadWrite, std::uint16_t wAddress, std::uint8_t value) {
        LogError("%s:%d: : AccessReg(_WRITE?)%d: [0x%4x], value[%2x]", m_kFn, __LINE__, ucReadWrite, wAddress,
                 value);
    }

    const char* m_kFn;
    platform::DeviceHandle m_hDev;
};

std::uint8_t withBit(std::uint8_t value, std::uint8_t bit, bool set) {
    return static_cast<std::uint8_t>(set ? value | bit : value & ~bit);
}

}  // namespace

int controlGpio(std::uint8_t ucTargetNumber, std::uint8_t ucDirection, std::uint8_t ucPinMask,
                std::uint8_t* pValue) {
    constexpr auto kFn = "QuibUSBLib_K610X_ControlGPIO";
    // Only a single pin has a function register; several at once would leave the others half set up.
    if (pValue == nullptr || !std::has_single_bit(ucPinMask)) {
        LogError("%s:%d: invalid pin mask[0x%02x] or value", kFn, __LINE__, ucPinMask);
        return QUIB_INVALID_PARAMETER;
    }
    devcore::ScopedDevice device = openListEntry(kFn, ucTargetNumber, EntryPath::AsRecorded);
    if (!device.valid()) return QUIB_FAIL;
    RegisterSequence regs(kFn, device.get());

    const auto wFunction = static_cast<std::uint16_t>(kGpioFunctionBase + std::countr_zero(ucPinMask));
    std::uint8_t zero = 0;
    if (const int iResult =
            devcore::theDevice().SCSI7120_AccessRegister(device.get(), &zero, kWrite, wFunction, 1);
        iResult != 0) {
        LogError("%s:%d: : Set GPIO_AS (wAddr=0x%x): [0x%4x], value[%2x]", kFn, __LINE__, wFunction,
                 wFunction, 0);
        return iResult;
    }
    const bool bOutput = ucDirection == 1;
    if (const int iResult = regs.update(
            kGpioOutputEnable, [&](std::uint8_t v) { return withBit(v, ucPinMask, bOutput); }, 2);
        iResult != 0)
        return iResult;
    if (bOutput)
        return regs.update(kGpioOutputLevel,
                           [&](std::uint8_t v) { return withBit(v, ucPinMask, *pValue == 1); });

    std::uint8_t levels = 0;
    if (const int iResult = regs.read(kGpioInputLevel, levels); iResult != 0) return iResult;
    *pValue = static_cast<std::uint8_t>((levels & ucPinMask) >> std::countr_zero(ucPinMask));
    return QUIB_SUCCESS;
}

int oemControlGpio(std::uint8_t ucTargetNumber, std::uint8_t* pValue) {
    constexpr auto kFn = "QuibUSBLib_K610X_OEM_ControlGPIO";
    if (pValue == nullptr) return QUIB_SUCCESS;
    devcore::ScopedDevice device = openListEntry(kFn, ucTargetNumber, EntryPath::AsRecorded);
    if (!device.valid()) return QUIB_SUCCESS;
    CQuibUSBDev& dev = devcore::theDevice();
    std::uint8_t enable = *pValue;
    if (dev.SCSI7120_AccessRegister(device.get(), &enable, kWrite, kGpioOutputEnable, 1) != 0) {
        LogError("%s:%d: Set Reg for GPI fail", kFn, __LINE__);
        return QUIB_SUCCESS;
    }
    std::uint8_t levels = 0;
    if (dev.SCSI7120_AccessRegister(device.get(), &levels, kRead, kGpioInputLevel, 1) != 0) {
        LogError("%s:%d: Read value for GPI fail, value[%2x]", kFn, __LINE__, levels);
        return QUIB_SUCCESS;
    }
    LogMessage("%s:%d: Read value for GPI, value[%2x]", kFn, __LINE__, levels);
    *pValue = levels;
    return QUIB_SUCCESS;
}

int oemGetUartRx(std::uint8_t ucTargetNumber, std::uint8_t* pValue) {
    constexpr auto kFn = "QuibUSBLib_K610X_OEM_GetUartRX";
    if (pValue == nullptr) return QUIB_INVALID_PARAMETER;
    devcore::ScopedDevice device = openListEntry(kFn, ucTargetNumber, EntryPath::AsRecorded);
    if (!device.valid()) return QUIB_FILE_NOT_FOUND;
    RegisterSequence regs(kFn, device.get());
    if (const int iResult =
            regs.update(kUartPinFunction, [](std::uint8_t v) { return std::uint8_t(v & 0x0F); });
        iResult != 0)
        return iResult;
    if (const int iResult =
            regs.update(kUartRxDirection, [](std::uint8_t v) { return withBit(v, kUartRxBit, false); });
        iResult != 0)
        return iResult;
    std::uint8_t level = 0;
    if (const int iResult = regs.read(kUartRxLevel, level); iResult != 0) return iResult;
    *pValue = (level & kUartRxBit) ? 1 : 0;
    return QUIB_SUCCESS;
}

int oemSetHddPowerControl(std::uint8_t ucTargetNumber, const std::uint8_t* pValue) {
    constexpr auto kFn = "QuibUSBLib_K610X_OEM_SetHDDPC";
    if (pValue == nullptr) return QUIB_INVALID_PARAMETER;
    devcore::ScopedDevice device = openListEntry(kFn, ucTargetNumber, EntryPath::AsRecorded);
    if (!device.valid()) return QUIB_FILE_NOT_FOUND;
    RegisterSequence regs(kFn, device.get());
    if (const int iResult = regs.write(kPowerControlEnable, 0); iResult != 0) return iResult;
    if (const int iResult =
            regs.update(kPowerControlSelect, [](std::uint8_t v) { return withBit(v, 0x01, true); });
        iResult != 0)
        return iResult;
    return regs.update(kPowerControlLevel, [&](std::uint8_t v) { return withBit(v, 0x01, *pValue == 1); });
}

}  // namespace quib::services
