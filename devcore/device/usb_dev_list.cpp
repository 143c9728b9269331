#include "devcore/device/usb_dev_list.h"

namespace quib::devcore {

void USBDevList::resetEntries() {
    for (auto& entry : Devs) entry = USBDevEntry{};
    nDevCount = 0;
}

}  // namespace quib::devcore
