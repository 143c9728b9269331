// Safe removal: flush the drive's cache, then eject the bridge's devices through the configuration manager.
#include <exception>

#include "common/log/debug_log.h"
#include "devcore/device/quib_usb_dev.h"
#include "devcore/device/text_helpers.h"
#include "devcore/transport/device_path.h"
#include "fwupdate/update_context.h"

using namespace quib;
using namespace quib::fwupdate;

namespace {
constexpr int kEjectAttempts = 3;
constexpr std::uint32_t kAfterEjectMs = 500;

// Index of `what` in `text` above 0 (the rule asks for more than a match at the very start).
bool holdsAfterStart(const std::string& text, const std::string& what) {
    const std::size_t at = text.find(what);
    return !what.empty() && at != std::string::npos && at > 0;
}
}  // namespace

bool CQuibUSBDev::vForceEjectUSB(const std::string& strInstanceId) {
    constexpr auto kFn = "CQuibUSBDev::vForceEjectUSB";
    platform::Platform& os = platform::get();
    const bool bEjected = os.devices.requestEject(strInstanceId);
    if (!bEjected)
        LogError("%s:%d: vForceEjectUSB: CM_Request_Device_Eject Fail , dwErrorCode %d", kFn, __LINE__,
                 platform::lastErrorCode());
    os.clock.sleepMs(kAfterEjectMs);
    return bEjected;
}

bool CQuibUSBDev::vSafeRemoveUSB(std::uint8_t ucTargetNumber) {
    constexpr auto kFn = "CQuibUSBDev::vSafeRemoveUSB";
    std::string strTargetVID, strTargetPID, strTargetSN;
    try {
        const devcore::USBDevEntry* entry = listEntry(*this, ucTargetNumber);
        if (entry == nullptr) {
            LogError("%s:%d: vSafeRemoveUSB: [%d] no device list entry", kFn, __LINE__, ucTargetNumber);
            return false;
        }
        strTargetVID = devcore::toUpper(entry->strVid);
        strTargetPID = devcore::toUpper(entry->strPid);
        strTargetSN = devcore::toUpper(entry->strSerialNumber);
        {
            devcore::ScopedDevice dev(devcore::makeDevicePath(false, entry->m_ucPhysicalAddress),
                                      platform::kAccessRead | platform::kAccessWrite);
            if (!dev.valid())
                LogError("%s:%d: CreateFile Target:%d Fail, () , dwErrorCode %d", kFn, __LINE__,
                         ucTargetNumber, platform::lastErrorCode());
            else if (SCSI_SyncCache10(dev.get()) != 0)
                LogError("%s:%d: Target:%d, SCSI_SyncCache10 Fail, dwErrorCode %d", kFn, __LINE__,
                         ucTargetNumber, platform::lastErrorCode());
        }

        platform::Platform& os = platform::get();
        const auto devices = os.devices.allDevices();
        bool bResult = true;
        for (const auto& device : devices) {
            if (!devcore::equalsIgnoreCase(device.classGuid, platform::kGuidUsbClass) &&
                !devcore::equalsIgnoreCase(device.classGuid, platform::kGuidDiskDriveClass))
                continue;
            for (const auto& [name, value] : device.properties)
                LogMessage("%s:%d:   %s = %s", kFn, __LINE__, name.c_str(), value.c_str());
            const std::string strInstance = devcore::toUpper(device.instanceId);
            if (!holdsAfterStart(strInstance, strTargetVID) || !holdsAfterStart(strInstance, strTargetPID))
                continue;
            // Another bridge of the same make is not ours to eject: its serial number differs.
            if (!strTargetSN.empty() && strInstance.find(strTargetSN) == std::string::npos) continue;
            bool bEjected = false;
            for (int attempt = 0; attempt < kEjectAttempts && !bEjected; ++attempt)
                bEjected = vForceEjectUSB(device.instanceId);
            bResult = bEjected;
            if (bEjected)
                LogMessage(
                    "%s:%d: vSafeRemoveUSB: vForceEjectUSB, strDeviceRegistryProperty= %s, "
                    "strTargetVID=[%s], "
                    "strTargetPID=[%s]",
                    kFn, __LINE__, device.instanceId.c_str(), strTargetVID.c_str(), strTargetPID.c_str());
        }
        return bResult;
    } catch (...) {
        LogError("%s:%d: catch(...): strTargetVID : %s , strTargetPID %s , strTargetSN : %s , dwErrorCode %d",
                 kFn, __LINE__, strTargetVID.c_str(), strTargetPID.c_str(), strTargetSN.c_str(),
                 platform::lastErrorCode());
        return false;
    }
}
