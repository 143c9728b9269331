// Re-finds a bridge after a restart by the relink signature it carries, and rewrites its list entry.
#include <vector>

#include "common/log/debug_log.h"
#include "devcore/device/quib_usb_dev.h"
#include "devcore/discovery/register_decoding.h"
#include "devcore/discovery/usb_port_device.h"
#include "devcore/frame/library_objects.h"
#include "devcore/transport/device_path.h"

using namespace quib;
using namespace quib::devcore;

namespace {

constexpr std::uint64_t kRelinkTimeOutMs = 60'000;
constexpr std::uint64_t kCdromRelinkTimeOutMs = 300'000;
constexpr std::uint32_t kOpenFailPauseMs = 200;
constexpr std::uint32_t kSignatureFailPauseMs = 500;
constexpr std::uint32_t kSettleMs = 500;
constexpr std::uint32_t kCdromSettleMs = 1500;
constexpr std::uint32_t kPassPauseMs = 1000;

// The USB identity of the device on the entry's hub port, after it came back.
void refreshUsbIdentity(USBDevEntry& entry) {
    constexpr auto kFn = "CQuibUSBDev::bDetectTargetUSBDevice";
    platform::Platform& os = platform::get();
    ScopedDevice hub(entry.strHubDeviceName, platform::kAccessRead | platform::kAccessWrite);
    if (!hub.valid()) {
        LogWarning("%s:%d: CreateFile[%s] fail , dwErrorCode : %d", kFn, __LINE__,
                   entry.strHubDeviceName.c_str(), platform::lastErrorCode());
        return;
    }
    const auto port = static_cast<std::uint32_t>(entry.iPortNumber);
    const auto info = os.usb.connectionInfo(hub.get(), port);
    if (!info || info->status != platform::ConnectionStatus::DeviceConnected) return;
    const UsbIdentity identity = readUsbIdentity(hub.get(), port, info->descriptor);
    entry.strVid = identity.strVid;
    entry.strPid = identity.strPid;
    entry.strDeviceRelease = identity.strDeviceRelease;
    entry.strManufacturer = identity.strManufacturer;
    entry.strProduct = identity.strProduct;
    entry.strSerialNumber = identity.strSerialNumber;
}

}  // namespace

bool CQuibUSBDev::bDetectTargetUSBDevice(std::uint8_t ucTargetNumber,
                                         std::uint8_t ucMaxNumberOfPhysicalAddress, int iBridgeType) {
    constexpr auto kFn = "CQuibUSBDev::bDetectTargetUSBDevice";
    if (m_pDevList == nullptr || ucTargetNumber >= kMaxDevList) {
        LogError("%s:%d:  [%d] no device list entry", kFn, __LINE__, ucTargetNumber);
        return false;
    }
    USBDevEntry& entry = m_pDevList->Devs[ucTargetNumber];
    const bool bCdrom = entry.ucIsCdrom != 0;
    const std::uint64_t limitMs = bCdrom ? kCdromRelinkTimeOutMs : kRelinkTimeOutMs;
    const int iRestarted = theUtility().m_nRestartCount.load();
    LogMessage("%s:%d:  [%d] ucValidTotalThread =[%d], Entry...", kFn, __LINE__, ucTargetNumber, iRestarted);

    platform::Platform& os = platform::get();
    const std::uint64_t start = os.clock.tickMs();
    const std::string strChipWanted = strChipNumberOfBridgeType(iBridgeType);
    for (int pass = 0;; ++pass) {
        std::vector<int> numbers;
        if (bCdrom) {
            // A CD-ROM bridge comes back either under its old number or one above the restarted ones.
            numbers.push_back(pass % 2 == 0 ? entry.ucCdromNumber : iRestarted + 1);
        } else {
            for (int n = 1; n <= ucMaxNumberOfPhysicalAddress + 1; ++n) numbers.push_back(n);
        }

        for (const int number : numbers) {
            const std::string strPhysicalAddress = makeDevicePath(bCdrom, number);
            ScopedDevice dev(strPhysicalAddress, platform::kAccessRead | platform::kAccessWrite);
            if (!dev.valid()) {
                LogMessage("%s:%d:  ucTargetNum[%d] createfile strPhysicalAddress[%s] failed", kFn, __LINE__,
                           ucTargetNumber, strPhysicalAddress.c_str());
                os.clock.sleepMs(kOpenFailPauseMs);
                continue;
            }
            std::uint8_t signature[2] = {};
            if (SCSI7120_AccessRegister(dev.get(), signature, 0, kRegRelinkFlag, sizeof signature) != 0) {
                os.clock.sleepMs(kSignatureFailPauseMs);
                continue;
            }
            if (signature[0] != 1 || signature[1] != ucTargetNumber) continue;

            os.clock.sleepMs(bCdrom ? kCdromSettleMs : kSettleMs);
            std::uint8_t inquiry[kInquiryLength];
            if (SCSI7120_Inquiry(inquiry, dev.get()) != 0 || strChipNumber(inquiry) != strChipWanted)
                continue;

            if (bCdrom)
                entry.ucCdromNumber = static_cast<std::uint8_t>(number);
            else
                entry.m_ucPhysicalAddress = static_cast<std::uint8_t>(number);
            LogMessage("%s:%d:  ucTargetNum[%d] assign new  PhysicalAddress [%d]", kFn, __LINE__,
                       ucTargetNumber, number);
            if (!bCdrom) {
                const char cLetter = vGetLogicalAddressFromPhysicalAddress(static_cast<std::uint8_t>(number));
                if (cLetter != static_cast<char>(kNoNumber)) entry.m_cDriveLetter = cLetter;
            }
            entry.strFwVersion = strGetFirmwareVersion(dev.get());
            refreshUsbIdentity(entry);
            if (const auto geometry = os.storage.driveGeometry(dev.get())) {
                entry.dwBytesPerSector = geometry->bytesPerSector;
                LogMessage(
                    "%s:%d:  ucTargetNum[%d] IOCTL_DISK_GET_DRIVE_GEOMETRY_EX "
                    "diskGeometryEx.Geometry.BytesPerSector=0x%x",
                    kFn, __LINE__, ucTargetNumber, entry.dwBytesPerSector);
            }
            LogMessage("%s:%d: ucTargetNum [%d] Found device!!!", kFn, __LINE__, ucTargetNumber);
            return true;
        }

        if (os.clock.tickMs() - start >= limitMs) {
            LogError("%s:%d:  [%d] *** Timeout *** iRelinkTimeOut[%d]", kFn, __LINE__, ucTargetNumber,
                     static_cast<int>(limitMs / 1000));
            return false;
        }
        os.clock.sleepMs(kPassPauseMs);
    }
}
