#include "services/volume/bridge_volume.h"

#include <algorithm>
#include <cctype>

#include "common/log/debug_log.h"
#include "devcore/device/quib_usb_dev.h"
#include "devcore/frame/library_objects.h"

namespace quib::services {

std::string volumePath(char cDriveLetter) {
    return std::string("\\\\.\\") + cDriveLetter + ":";
}

bool volumeOnListedBridge(const char* kFn, char cDriveLetter) {
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(cDriveLetter)));
    if (letter < 'D' || letter > 'Z') {
        LogError("%s:%d: drive letter %d is not a bridge's volume, refused", kFn, __LINE__, cDriveLetter);
        return false;
    }
    const devcore::USBDevList* list = devcore::libraryObjects().devList();
    const int count = list ? std::clamp(list->nDevCount, 0, devcore::kMaxDevList) : 0;
    for (int k = 0; k < count; ++k) {
        const devcore::USBDevEntry& entry = list->Devs[static_cast<std::size_t>(k)];
        const std::uint8_t number = entry.m_ucPhysicalAddress;
        if (entry.ucIsCdrom || number == devcore::kNoNumber) continue;
        if (devcore::theDevice().vGetLogicalAddressFromPhysicalAddress(number) == letter) return true;
    }
    LogError("%s:%d: drive %c: lies on no bridge of the device list, refused", kFn, __LINE__, letter);
    return false;
}

}  // namespace quib::services
