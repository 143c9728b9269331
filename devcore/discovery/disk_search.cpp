// Finds the disk or CD-ROM whose identity carries a USB serial number.
#include <algorithm>
#include <vector>

#include "common/log/debug_log.h"
#include "devcore/device/quib_usb_dev.h"
#include "devcore/device/text_helpers.h"
#include "devcore/discovery/register_decoding.h"
#include "devcore/transport/device_path.h"
#include "devcore/transport/scsi_request.h"

using namespace quib;
using namespace quib::devcore;

namespace {

constexpr int kDevClassDisk = 7;
constexpr int kDevClassCdrom = 2;
constexpr std::uint32_t kDeviceTypeDisk = 7;
constexpr std::uint32_t kDeviceTypeCdrom = 2;
constexpr std::uint32_t kBusTypeUsb = 7;
constexpr std::uint32_t kBusTypeScsi = 1;
constexpr std::size_t kConfiguredSerialOffset = 4;
constexpr std::size_t kConfiguredSerialLength = 20;
constexpr std::size_t kFactorySerialLength = 20;

// The text between the first and the last "#" of an interface path.
std::string instanceText(const std::string& strDevicePath) {
    const std::size_t first = strDevicePath.find('#');
    const std::size_t last = strDevicePath.rfind('#');
    if (first == std::string::npos || last <= first) return {};
    return strDevicePath.substr(first + 1, last - first - 1);
}

// Serial bytes of the configuration area; erased (0xFF) and empty (0x00) bytes read as "0".
std::string configuredSerial(const std::uint8_t* pConfig, std::size_t& replaced) {
    std::string text;
    replaced = 0;
    for (std::size_t i = 0; i < kConfiguredSerialLength; ++i) {
        const std::uint8_t c = pConfig[kConfiguredSerialOffset + i];
        if (c == 0xFF || c == 0x00) {
            text += '0';
            ++replaced;
        } else {
            text += static_cast<char>(c);
        }
    }
    return text;
}

std::optional<std::string> factorySerial(const std::uint8_t* pBlock) {
    for (std::size_t i = 0; i < kFactorySerialLength; ++i)
        if (pBlock[i] < 0x20 || pBlock[i] > 0x7A) return std::nullopt;
    return std::string(reinterpret_cast<const char*>(pBlock), kFactorySerialLength);
}

// Serial numbers are compared without regard to case: the configured serial and the instance text are
// upper-cased, and a USB serial with lower-case letters must still find its disk.
bool anyHolds(const std::vector<std::string>& texts, const std::string& strSerialNumber) {
    const std::string strWanted = toUpper(strSerialNumber);
    return std::any_of(texts.begin(), texts.end(), [&](const std::string& text) {
        return toUpper(text).find(strWanted) != std::string::npos;
    });
}

void logProperties(const platform::DeviceInterface& iface) {
    constexpr auto kFn = "CQuibUSBDev::ucGetPhysicalAddressFromSN";
    LogMessage("%s:%d: DevicePath[%s] InstanceId[%s]", kFn, __LINE__, iface.devicePath.c_str(),
               iface.instanceId.c_str());
    for (const auto& [name, value] : iface.properties)
        LogMessage("%s:%d:   %s = %s", kFn, __LINE__, name.c_str(), value.c_str());
}

}  // namespace

std::string CQuibUSBDev::strChipNumberOfBridgeType(int iBridgeType) {
    return iBridgeType == 1 ? kChipNumber8500 : kChipNumber7120;
}

std::uint8_t CQuibUSBDev::ucGetPhysicalAddressFromSN(const std::string& strSerialNumber, int iDevClass,
                                                     int iBridgeType) {
    constexpr auto kFn = "CQuibUSBDev::ucGetPhysicalAddressFromSN";
    // An empty serial number would be found in every identity text.
    if (strSerialNumber.empty()) {
        LogWarning("%s:%d: no serial number to search for", kFn, __LINE__);
        return kNumberNotFound;
    }
    const bool bCdrom = iDevClass == kDevClassCdrom;
    try {
        platform::Platform& os = platform::get();
        std::vector<platform::DeviceInterface> interfaces =
            os.devices.interfaces(platform::kGuidUsbDeviceInterface);
        const auto storage =
            os.devices.interfaces(bCdrom ? platform::kGuidCdromInterface : platform::kGuidDiskInterface);
        interfaces.insert(interfaces.end(), storage.begin(), storage.end());

        for (const auto& iface : interfaces) {
            logProperties(iface);
            std::optional<platform::StorageDeviceNumber> number;
            std::optional<platform::StorageDescriptor> descriptor;
            {
                ScopedDevice probe(iface.devicePath, platform::kAccessNone);
                if (!probe.valid()) continue;
                number = os.storage.deviceNumber(probe.get());
                if (!number ||
                    (number->deviceType != kDeviceTypeDisk && number->deviceType != kDeviceTypeCdrom))
                    continue;
                descriptor = os.storage.storageDescriptor(probe.get());
                if (!descriptor ||
                    (descriptor->busType != kBusTypeUsb && descriptor->busType != kBusTypeScsi))
                    continue;
            }
            const std::string strDriverSerial = trimText(descriptor->serial);
            LogMessage("%s:%d: Vendor[%s] Product[%s] Serial[%s] DeviceNumber[%d]", kFn, __LINE__,
                       trimText(descriptor->vendor).c_str(), trimText(descriptor->product).c_str(),
                       strDriverSerial.c_str(), static_cast<int>(number->deviceNumber));

            const std::string strPhysicalAddress =
                makeDevicePath(bCdrom, static_cast<int>(number->deviceNumber));
            ScopedDevice dev(strPhysicalAddress, platform::kAccessRead | platform::kAccessWrite);
            if (!dev.valid()) {
                LogError("%s:%d: CreateFile Failed: \t strPhysicalAddress: %s ", kFn, __LINE__,
                         strPhysicalAddress.c_str());
                LogError("%s:%d:  : Win8 78 Fail dwErrorCode : %d", kFn, __LINE__, platform::lastErrorCode());
                continue;
            }

            std::uint8_t inquiry[kInquiryLength];
            if (nInquiryTried(inquiry, dev.get()) != 0) {
                // A disk whose identity carries the serial is the bridge the USB tree showed: say why it
                // is left out rather than let it vanish from the run.
                if (anyHolds({instanceText(iface.devicePath), strDriverSerial}, strSerialNumber))
                    LogError("%s:%d: %s (USB serial [%s]) does not answer INQUIRY: not recorded", kFn,
                             __LINE__, strPhysicalAddress.c_str(), strSerialNumber.c_str());
                continue;
            }
            const std::string strChip = strChipNumber(inquiry);
            if (strChip != strChipNumberOfBridgeType(iBridgeType)) {
                if (iBridgeType == 1)
                    LogMessage("%s:%d: This Device is not QUIB 8502 Chip: \t pspdidd->DevicePath: %s ", kFn,
                               __LINE__, iface.devicePath.c_str());
                else
                    LogMessage("%s:%d: This USB is not QUIB Chip: \t pspdidd->DevicePath: %s ", kFn, __LINE__,
                               iface.devicePath.c_str());
                continue;
            }

            std::uint8_t config[kConfigBinSize] = {};
            SCSI7120_AccessConfigEEPROM(dev.get(), 0, config, 0);
            std::size_t replaced = 0;
            std::string strConfigured = configuredSerial(config, replaced);
            if (replaced == kConfiguredSerialLength && iDevClass == kDevClassDisk) {
                std::string strDiskSerial;
                if (ATAPassThrough_GetHDSerialNumber(dev.get(), strDiskSerial)) strConfigured = strDiskSerial;
            }

            std::vector<std::string> texts = {toUpper(strConfigured),
                                              toUpper(instanceText(iface.devicePath))};
            if (iBridgeType == 1 && iDevClass == kDevClassDisk) {
                std::uint8_t block[kFactoryConfigReadSize] = {};
                if (SCSI8502_FactoryConfigure_Read(dev.get(), block) == 0)
                    if (auto text = factorySerial(block)) texts.push_back(*text);
                if (!anyHolds(texts, strSerialNumber)) {
                    std::string strSsdSerial;
                    if (ATAPassThrough_GetSSDSerialNumber(dev.get(), strSsdSerial))
                        texts.push_back(strSsdSerial);
                }
            }
            if (!anyHolds(texts, strSerialNumber)) continue;

            const std::uint8_t ucNumber = static_cast<std::uint8_t>(number->deviceNumber);
            if (bNumberInList(ucNumber, bCdrom)) {
                LogMessage("%s:%d: bSameDevFound , strValidSerialNumber %s , Physical Address = %d", kFn,
                           __LINE__, strSerialNumber.c_str(), ucNumber);
                continue;
            }
            LogMessage("%s:%d: Get QUIB Device: %s Device type: %d  PhysicalAddress: %d  strDriverSerial: %s",
                       kFn, __LINE__, strSerialNumber.c_str(), static_cast<int>(number->deviceType), ucNumber,
                       strDriverSerial.c_str());
            return ucNumber;
        }
    } catch (...) {
        LogError("%s:%d: catch(...): strSerialNumber : %s , dwErrorCode %d", kFn, __LINE__,
                 strSerialNumber.c_str(), platform::lastErrorCode());
    }
    return kNumberNotFound;
}

bool CQuibUSBDev::bNumberInList(std::uint8_t ucNumber, bool bCdrom) const {
    if (m_pDevList == nullptr) return false;
    const int count = std::min(m_pDevList->nDevCount, kMaxDevList);
    for (int i = 0; i < count; ++i) {
        const USBDevEntry& entry = m_pDevList->Devs[i];
        if (bCdrom ? (entry.ucIsCdrom && entry.ucCdromNumber == ucNumber)
                   : (!entry.ucIsCdrom && entry.m_ucPhysicalAddress == ucNumber))
            return true;
    }
    return false;
}
