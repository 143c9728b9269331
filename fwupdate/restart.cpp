// A bridge restart behind its relink signature: set the signature, restart, find the bridge again under
// whatever number it returns, restore the registers that carried the signature.
#include <memory>
#include <mutex>

#include "common/log/debug_log.h"
#include "devcore/commands/inquiry_command.h"
#include "devcore/device/quib_usb_dev.h"
#include "devcore/discovery/register_decoding.h"
#include "devcore/frame/library_objects.h"
#include "devcore/transport/device_path.h"
#include "devcore/transport/scsi_request.h"
#include "fwupdate/relink.h"
#include "fwupdate/update_context.h"

using namespace quib;
using namespace quib::fwupdate;

namespace {

constexpr std::uint32_t kAfterRestartMs = 500;

}  // namespace

bool CQuibUSBDev::vSetRelinkSignature(std::uint8_t ucSignature, DeviceHandle hDev) {
    constexpr auto kFn = "CQuibUSBDev::vSetRelinkSignature";
    std::uint8_t one = 1;
    SCSI7120_AccessRegister(hDev, &one, 1, devcore::kRegRelinkFlag, 1);
    const int iResult = SCSI7120_AccessRegister(hDev, &ucSignature, 1, devcore::kRegRelinkIndex, 1);
    if (iResult != 0)
        LogError("%s:%d: vCPURST: ucSignature [%d] SCSI7120_AccessRegister Fail , iResult %d dwErrorCode %d",
                 kFn, __LINE__, ucSignature, iResult, platform::lastErrorCode());
    return iResult == 0;
}

bool CQuibUSBDev::vCPURST(std::uint8_t ucTargetNumber, std::uint8_t ucDetectCount, std::uint8_t ucResetMode,
                          int iBridgeType) {
    constexpr auto kFn = "CQuibUSBDev::vCPURST";
    devcore::USBDevEntry* entry = listEntry(*this, ucTargetNumber);
    if (entry == nullptr) {
        LogError("%s:%d: vCPURST: [%d] no device list entry", kFn, __LINE__, ucTargetNumber);
        return false;
    }
    CUSBUtility& utility = devcore::theUtility();
    LogMessage("%s:%d: ::EnterCriticalSection(&pUtility.m_ReloadFWCriticalSection)", kFn, __LINE__);
    std::unique_lock lock(utility.m_ReloadFWCriticalSection);
    try {
        std::uint8_t kept[2] = {};
        {
            devcore::ScopedDevice dev(devicePathOf(*entry), platform::kAccessRead | platform::kAccessWrite);
            if (!dev.valid()) {
                LogError("%s:%d: vCPURST: [%d] CreateFile Fail , dwErrorCode %d", kFn, __LINE__,
                         ucTargetNumber, platform::lastErrorCode());
                return false;
            }
            const int iRead =
                SCSI7120_AccessRegister(dev.get(), kept, 0, devcore::kRegRelinkFlag, sizeof kept);
            if (iRead != 0) {
                // Without the old values the bridge is not restarted. Searching for it all the same would
                // find a signature left by an earlier run and count a restart that never happened.
                LogError("%s:%d: vCPURST: [%d] SCSI7120_AccessRegister Fail , iResult %d dwErrorCode %d", kFn,
                         __LINE__, ucTargetNumber, iRead, platform::lastErrorCode());
                return false;
            } else {
                if (!vSetRelinkSignature(ucTargetNumber, dev.get())) {
                    LogError("%s:%d: vCPURST: [%d] vSetRelinkSignature Fail , iResult %d dwErrorCode %d", kFn,
                             __LINE__, ucTargetNumber, -1, platform::lastErrorCode());
                    return false;
                }
                const int iReset = SCSI7120_CPURST(dev.get(), ucResetMode);
                if (iReset != 0)
                    LogError("%s:%d: vCPURST: [%d] SCSI7120_CPURST Fail , iResult %d dwErrorCode %d", kFn,
                             __LINE__, ucTargetNumber, iReset, platform::lastErrorCode());
                // A bridge that restarts leaves the bus. One that still answers here (or is not proven gone)
                // did not restart, and finding it again by the signature it carries would prove nothing.
                platform::get().clock.sleepMs(kAfterRestartMs);
                if (devcore::stillAnswers(dev.get())) {
                    LogError("%s:%d: vCPURST: [%d] the bridge did not restart (it still answers)", kFn,
                             __LINE__, ucTargetNumber);
                    SCSI7120_AccessRegister(dev.get(), &kept[0], 1, devcore::kRegRelinkFlag, 1);
                    SCSI7120_AccessRegister(dev.get(), &kept[1], 1, devcore::kRegRelinkIndex, 1);
                    return false;
                }
            }
        }

        bool bResult = bDetectTargetUSBDevice(ucTargetNumber, ucDetectCount, iBridgeType);
        if (bResult) {
            const std::string strPath = devicePathOf(*entry);
            devcore::ScopedDevice dev(strPath, platform::kAccessRead | platform::kAccessWrite);
            if (!dev.valid()) {
                LogError("%s:%d: ucTargetNumber [%d] CreateFile Fail [%s], dwErrorCode %d", kFn, __LINE__,
                         ucTargetNumber, strPath.c_str(), platform::lastErrorCode());
                return false;
            }
            if (SCSI7120_AccessRegister(dev.get(), &kept[0], 1, devcore::kRegRelinkFlag, 1) != 0) {
                LogError("%s:%d: ucTargetNumber[%d] SCSI7120_AccessRegister Fail , dwErrorCode %d", kFn,
                         __LINE__, ucTargetNumber, platform::lastErrorCode());
                bResult = false;
            } else {
                SCSI7120_AccessRegister(dev.get(), &kept[1], 1, devcore::kRegRelinkIndex, 1);
            }
        }
        ++utility.m_nRestartCount;
        LogMessage("%s:%d: ::LeaveCriticalSection(&pUtility.m_ReloadFWCriticalSection)", kFn, __LINE__);
        return bResult;
    } catch (...) {
        LogError("%s:%d: catch(...): ucTargetNumber : %d  , dwErrorCode %d", kFn, __LINE__, ucTargetNumber,
                 platform::lastErrorCode());
        return false;
    }
}

namespace quib::fwupdate {

std::uint8_t resetModeOfSpeed(std::uint8_t ucSpeed) {
    return ucSpeed >= 1 && ucSpeed <= 5 ? static_cast<std::uint8_t>(8 - ucSpeed) : ucSpeed;
}

int restartAndFindAgain(const char* kFn, std::uint8_t ucTargetNumber, std::uint8_t ucResetMode,
                        int iBridgeType) {
    const std::uint8_t ucDiskCount = diskRegisterCount();
    if (!devcore::theDevice().vCPURST(ucTargetNumber, ucDiskCount, ucResetMode, iBridgeType)) {
        LogError("%s:%d: Reset fail !", kFn, __LINE__);
        return QUIB_RELOAD_FAIL;
    }
    return QUIB_SUCCESS;
}

bool bRelinkToRomCode(std::uint8_t ucTargetNumber, std::uint8_t ucDiskCount) {
    constexpr auto kFn = "bRelinkToRomCode";
    CQuibUSBDev& dev = devcore::theDevice();
    devcore::USBDevEntry* entry = listEntry(dev, ucTargetNumber);
    if (entry == nullptr) return false;
    // Only a block read in this run is written back: an unread block (zeros from the scan) would wipe the
    // bridge's serial number, strings and identifiers.
    if (!dev.bWrRdConfiguration(ucTargetNumber, 0, entry->ucConfigBlock.data(), 0)) {
        LogError("%s:%d: ucTargetNumber[%d] reading the configuration area failed: nothing written", kFn,
                 __LINE__, ucTargetNumber);
        return false;
    }
    if (!dev.bWrRdConfiguration(ucTargetNumber, 1, entry->ucConfigBlock.data(), 0)) return false;
    // The restart sequence itself finds the bridge again (by its signature, among the disks the system
    // counts) before it restores the signature registers; a search after the restore could match nothing.
    const bool bFound = dev.vCPURST(ucTargetNumber, ucDiskCount, kRomCodeResetMode, bridgeTypeOf(*entry));
    platform::get().clock.sleepMs(kAfterRestartMs);
    if (!bFound) {
        LogError(
            "%s:%d: ucTargetNumber[%d], bDetectTargetUSBDeviceFailed!!,ucMaxNumberOfPhysicalAddress [%d] ",
            kFn, __LINE__, ucTargetNumber, ucDiskCount);
        return false;
    }
    return true;
}

}  // namespace quib::fwupdate
