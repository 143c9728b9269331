// Finding a bridge again after its power cycle: it may return under another disk number, so the bus is
// scanned anew and the bridge recognised by its USB serial number and where it is plugged in.
#include <memory>

#include "common/log/debug_log.h"
#include "devcore/device/quib_usb_dev.h"
#include "devcore/device/text_helpers.h"
#include "pdupdate/power_delivery.h"

using namespace quib;

bool CPowerDelivery::bFindAgain(std::uint8_t ucDevIndex, const devcore::USBDevEntry& before) {
    constexpr auto kFn = "CPowerDelivery::vPDFWUpdate";
    if (entryOf(ucDevIndex) == nullptr) return false;
    // The scan fills a list of its own: the library's list keeps its order, so callers' indices stay valid.
    auto scratch = std::make_unique<devcore::USBDevList>();
    CQuibUSBDev scanner;
    scanner.vBindDevList(scratch.get());
    if (scanner.Open("0", devcore::bridgeTypeOf(before)) != 0) return false;
    for (int i = 0; i < scratch->nDevCount && i < devcore::kMaxDevList; ++i) {
        const devcore::USBDevEntry& found = scratch->Devs[static_cast<std::size_t>(i)];
        if (before.strSerialNumber.empty() ||
            !devcore::equalsIgnoreCase(found.strSerialNumber, before.strSerialNumber) ||
            found.iLocation != before.iLocation)
            continue;
        devcore::USBDevEntry& entry = m_pDevList->Devs[ucDevIndex];
        const std::uint8_t ucSlot = entry.ucSlotIndex;
        entry = found;
        entry.ucSlotIndex = ucSlot;
        LogMessage("%s:%d: PD[%d] found again: strPhysicalAddress [\\\\.\\PhysicalDrive%d]", kFn, __LINE__,
                   ucDevIndex, entry.m_ucPhysicalAddress);
        return true;
    }
    return false;
}
