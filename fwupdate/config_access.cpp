// The 128-byte configuration area of one bank of an entry's bridge.
#include "common/log/debug_log.h"
#include "devcore/device/quib_usb_dev.h"
#include "devcore/transport/device_path.h"
#include "fwupdate/update_context.h"

using namespace quib;
using namespace quib::fwupdate;

bool CQuibUSBDev::bWrRdConfiguration(std::uint8_t ucTargetNumber, std::uint8_t ucReadWrite,
                                     std::uint8_t* pBlock, std::uint8_t ucBank) {
    constexpr auto kFn = "CQuibUSBDev::bWrRdConfiguration";
    try {
        const devcore::USBDevEntry* entry = listEntry(*this, ucTargetNumber);
        if (entry == nullptr || pBlock == nullptr) {
            LogError("%s:%d: vWrRdConfiguration: [%d] no device list entry or no block", kFn, __LINE__,
                     ucTargetNumber);
            return false;
        }
        devcore::ScopedDevice dev(devicePathOf(*entry), platform::kAccessRead | platform::kAccessWrite);
        if (!dev.valid()) {
            LogError("%s:%d: vWrRdConfiguration: [%d] CreateFile Fail , dwErrorCode %d", kFn, __LINE__,
                     ucTargetNumber, platform::lastErrorCode());
            return false;
        }
        const int iResult = SCSI7120_AccessConfigEEPROM(dev.get(), ucReadWrite, pBlock, ucBank);
        if (iResult != 0) {
            LogError(
                "%s:%d: vWrRdConfiguration: [%d] SCSI7120_AccessConfigEEPROM Fail , iResult %d dwErrorCode "
                "%d",
                kFn, __LINE__, ucTargetNumber, iResult, platform::lastErrorCode());
            return false;
        }
        return true;
    } catch (...) {
        LogError("%s:%d: catch(...): ucTargetNumber : %d , dwErrorCode %d", kFn, __LINE__, ucTargetNumber,
                 platform::lastErrorCode());
        return false;
    }
}
