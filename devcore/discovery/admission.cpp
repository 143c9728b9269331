// Scan of the USB tree for one bridge type: every device proven with INQUIRY and recorded in the list.
#include <optional>

#include "common/log/debug_log.h"
#include "devcore/device/quib_usb_dev.h"
#include "devcore/discovery/register_decoding.h"
#include "devcore/discovery/usb_port_device.h"
#include "devcore/discovery/usb_tree_walk.h"
#include "devcore/transport/device_path.h"

using namespace quib;
using namespace quib::devcore;

namespace {

// A read that failed is tried again as a whole (the transport itself repeats only failed control
// operations of a register read).
constexpr int kIdentityReadTries = 3;
constexpr std::uint32_t kIdentityRetryPauseMs = 20;

template <typename Read>
auto readTried(Read read) -> decltype(read()) {
    auto value = read();
    for (int attempt = 1; attempt < kIdentityReadTries && !value; ++attempt) {
        platform::get().clock.sleepMs(kIdentityRetryPauseMs);
        value = read();
    }
    return value;
}

}  // namespace

std::string CQuibUSBDev::strDevicePathOf(const USBDevEntry& entry) {
    return entry.ucIsCdrom ? makeDevicePath(true, entry.ucCdromNumber)
                           : makeDevicePath(false, entry.m_ucPhysicalAddress);
}

int CQuibUSBDev::Open(const std::string& strTargetChipType, int iBridgeType) {
    constexpr auto kFn = "CQuibUSBDev::Open";
    try {
        if (m_pDevList == nullptr) return QUIB_DEVICE_NOT_FOUND;
        m_strTargetChipType = strTargetChipType;
        m_iBridgeType = iBridgeType;
        m_bFullScan = true;
        m_pDevList->resetEntries();
        Enum();
        return m_pDevList->nDevCount > 0 ? QUIB_SUCCESS : QUIB_DEVICE_NOT_FOUND;
    } catch (...) {
        LogError("%s:%d: catch(...) Open:  Error:%d", kFn, __LINE__, platform::lastErrorCode());
        return (m_pDevList && m_pDevList->nDevCount > 0) ? QUIB_SUCCESS : QUIB_DEVICE_NOT_FOUND;
    }
}

void CQuibUSBDev::Enum() {
    constexpr auto kFn = "CQuibUSBDev::Enum";
    try {
        UsbTreeWalker walker([this](const UsbPortDevice& device) { vExaminePortDevice(device); },
                             [this] { return m_pDevList != nullptr && m_pDevList->ucCdromFound != 0; });
        walker.walk();
    } catch (...) {
        LogError("%s:%d: catch(...) Enum: dwErrorCode : %d", kFn, __LINE__, platform::lastErrorCode());
    }
}

void CQuibUSBDev::vExaminePortDevice(const UsbPortDevice& device) {
    constexpr auto kFn = "CQuibUSBDev::EnumerateHubPorts";
    if (m_pDevList == nullptr) return;
    const std::string& strSerialNumber = device.identity.strSerialNumber;

    std::uint8_t ucNumber = kNumberNotFound;
    bool bCdrom = false;
    if (m_bFullScan) {
        ucNumber = ucGetPhysicalAddressFromSN(strSerialNumber, 7, m_iBridgeType);
        if (ucNumber == kNumberNotFound && m_iBridgeType != 1) {
            LogMessage("%s:%d: Get ucPhysicalAddress[%d] failed, Try CD-ROM iBridgeType[%d]", kFn, __LINE__,
                       ucNumber, m_iBridgeType);
            ucNumber = ucGetPhysicalAddressFromSN(strSerialNumber, 2, m_iBridgeType);
            if (ucNumber != kNumberNotFound) {
                bCdrom = true;
                m_pDevList->ucCdromFound = 1;
                LogMessage("%s:%d: this  ucPhysicalAddress[%d] is CDROM", kFn, __LINE__, ucNumber);
            }
        }
    } else if (m_pDevList->nDevCount < kMaxDevList) {
        const USBDevEntry& entry = m_pDevList->Devs[m_pDevList->nDevCount];
        bCdrom = entry.ucIsCdrom != 0;
        ucNumber = bCdrom ? entry.ucCdromNumber : entry.m_ucPhysicalAddress;
    }
    if (ucNumber == kNumberNotFound) {
        LogError("%s:%d: Invalid  ucPhysicalAddress:%d, usLanguageID=%d, strSerialNumber:%s", kFn, __LINE__,
                 ucNumber, device.identity.usLanguageID, strSerialNumber.c_str());
        return;
    }
    vTestHandleFromPhysicalAddress(device, ucNumber, bCdrom);
}

bool CQuibUSBDev::bChipAccepted(DeviceHandle hDev, const std::string& strChip) {
    constexpr auto kFn = "CQuibUSBDev::vTestHandleFromPhysicalAddress";
    if (strChip != strChipNumberOfBridgeType(m_iBridgeType)) {
        LogMessage("%s:%d: chip number [%s] is not of bridge type [%d]", kFn, __LINE__, strChip.c_str(),
                   m_iBridgeType);
        return false;
    }
    if (m_strTargetChipType == "0") return true;
    const std::string strDevChipType = strGetChipType(hDev);
    if (strDevChipType != m_strTargetChipType) {
        LogError("%s:%d: ChipType not match: strTargetChipType[%s], strDevChipType[%s]", kFn, __LINE__,
                 m_strTargetChipType.c_str(), strDevChipType.c_str());
        return false;
    }
    return true;
}

bool CQuibUSBDev::vTestHandleFromPhysicalAddress(const UsbPortDevice& device, std::uint8_t ucNumber,
                                                 bool bCdrom) {
    constexpr auto kFn = "CQuibUSBDev::vTestHandleFromPhysicalAddress";
    const std::string strPhysicalAddress = makeDevicePath(bCdrom, ucNumber);
    ScopedDevice dev(strPhysicalAddress, platform::kAccessRead | platform::kAccessWrite);
    if (!dev.valid()) {
        LogError("%s:%d: vTestHandleFromPhysicalAddress: CreateFile[%s] Fail , dwErrorCode %d", kFn, __LINE__,
                 strPhysicalAddress.c_str(), platform::lastErrorCode());
        return false;
    }
    std::uint8_t inquiry[kInquiryLength];
    if (nInquiryTried(inquiry, dev.get()) != 0) {
        LogError("%s:%d: %s USB serial [%s] does not answer INQUIRY: not recorded", kFn, __LINE__,
                 strPhysicalAddress.c_str(), device.identity.strSerialNumber.c_str());
        return false;
    }
    const std::string strChip = strChipNumber(inquiry);
    if (!bChipAccepted(dev.get(), strChip)) return false;

    const auto number = platform::get().storage.deviceNumber(dev.get());
    if (!number || number->deviceNumber != ucNumber) {
        LogError(
            "%s:%d: vTestHandleFromPhysicalAddress: strPhysicalAddress[%s] != StoDevNum.DeviceNumber[%d] ",
            kFn, __LINE__, strPhysicalAddress.c_str(), number ? static_cast<int>(number->deviceNumber) : -1);
        return false;
    }
    // The list has room for 16 bridges; one more is reported and left out.
    if (m_pDevList->nDevCount >= kMaxDevList) {
        LogError("%s:%d: device list full (%d entries): strPhysicalAddress[%s] strSerialNumber[%s] left out",
                 kFn, __LINE__, kMaxDevList, strPhysicalAddress.c_str(),
                 device.identity.strSerialNumber.c_str());
        return false;
    }

    const int index = m_pDevList->nDevCount;
    USBDevEntry& entry = m_pDevList->Devs[index];
    entry.ucSlotIndex = static_cast<std::uint8_t>(index);
    entry.ucIsCdrom = bCdrom ? 1 : 0;
    if (bCdrom)
        entry.ucCdromNumber = ucNumber;
    else
        entry.m_ucPhysicalAddress = ucNumber;
    vFillEntry(entry, dev.get(), device, strChip);
    ++m_pDevList->nDevCount;
    LogMessage("%s:%d: Dev[%d] %s recorded: FW[%s] ChipType[%s] Link[%s]", kFn, __LINE__, index,
               strPhysicalAddress.c_str(), entry.strFwVersion.c_str(), entry.m_strChipType.c_str(),
               entry.strLinkStatus.c_str());
    return true;
}

void CQuibUSBDev::vFillEntry(USBDevEntry& entry, DeviceHandle hDev, const UsbPortDevice& device,
                             const std::string& strChip) {
    constexpr auto kFn = "CQuibUSBDev::vTestHandleFromPhysicalAddress";
    entry.iLocation = device.iLocation;
    entry.strVid = device.identity.strVid;
    entry.strPid = device.identity.strPid;
    entry.strSerialNumber = device.identity.strSerialNumber;
    entry.strManufacturer = device.identity.strManufacturer;
    entry.strProduct = device.identity.strProduct;
    entry.strDeviceRelease = device.identity.strDeviceRelease;
    entry.iPortNumber = static_cast<std::int32_t>(device.ulPort);
    entry.iPortCount = static_cast<std::int32_t>(device.ulPortCount);
    entry.strHubDeviceName = device.strHubDeviceName;
    entry.strHostControllerHardwareId = device.strHostControllerHardwareId;
    entry.dwFlag = 0;
    entry.nWorkingValue1 = -1;
    entry.nWorkingValue2 = -1;

    const auto version = readTried([&]() -> std::optional<std::string> {
        std::string text = strGetFirmwareVersion(hDev);
        return text.empty() ? std::nullopt : std::optional<std::string>(text);
    });
    entry.strFwVersion = version.value_or(std::string());

    // One read of the chip-type register serves the device type, both chip-type texts and the selector.
    const auto chipTypeReg = readTried([&] { return readRegisterByte(hDev, kRegChipType); });
    entry.bIdentityUnread = !version || !chipTypeReg;
    if (entry.bIdentityUnread)
        LogError("%s:%d: %s USB serial [%s]: the %s could not be read: it cannot be updated", kFn, __LINE__,
                 strDevicePathOf(entry).c_str(), entry.strSerialNumber.c_str(),
                 !version ? "firmware version" : "chip type");
    const auto packageReg = readRegisterByte(hDev, kRegChipPackage);
    entry.m_ucChipPackage = packageReg.value_or(kUnknownByte);
    entry.m_ucDevType = chipTypeReg ? decodeDeviceType(strChip, *chipTypeReg, packageReg) : DEV_UNKNOW;
    entry.m_strChipType = chipTypeText(entry.m_ucDevType);
    entry.strMSignature = chipTypeReg ? mSignatureText(*chipTypeReg) : std::string();
    entry.strChipTypeSelector = chipTypeSelector(chipTypeReg, packageReg);
    m_strDevChipType = entry.strChipTypeSelector;
    LogMessage("%s:%d: -****- DeviceType:[%d]", kFn, __LINE__, entry.m_ucDevType);
    LogMessage("%s:%d: -****- ChipType:[%s]", kFn, __LINE__, entry.strChipTypeSelector.c_str());
    LogMessage("%s:%d: -****- m_strChipType:[%s] MSignature:[%s]", kFn, __LINE__, entry.m_strChipType.c_str(),
               entry.strMSignature.c_str());

    entry.ucGeneration = decodeGeneration(
        entry.m_ucDevType, entry.m_ucDevType == 7 ? readRegisterByte(hDev, kRegGeneration) : std::nullopt);
    entry.ucStreamMode = ucGetUSBMode(hDev, entry.m_ucDevType);
    entry.ucCCOrientation = static_cast<std::uint8_t>(nGetCCOrientation(hDev, entry.m_ucDevType));
    vGetUsbConnectionStatus(hDev, entry);
}
