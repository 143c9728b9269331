#include "fwupdate/update_context.h"

#include "devcore/frame/library_objects.h"
#include "devcore/transport/device_path.h"

namespace quib::fwupdate {
namespace {
constexpr const char* kDiskEnumKey = "System\\CurrentControlSet\\Services\\Disk\\Enum";
constexpr const char* kDiskEnumCount = "Count";
}  // namespace

devcore::USBDevEntry* listEntry(CQuibUSBDev& dev, std::uint8_t ucTargetNumber) {
    devcore::USBDevList* list = dev.pDevList();
    if (list == nullptr || ucTargetNumber >= devcore::kMaxDevList) return nullptr;
    return &list->Devs[ucTargetNumber];
}

std::string devicePathOf(const devcore::USBDevEntry& entry) {
    return CQuibUSBDev::strDevicePathOf(entry);
}

std::string& fwType() {
    static std::string strFwType;
    return strFwType;
}

std::uint8_t diskRegisterCount() {
    return devcore::theUtility().GetDiskRegisterCount(kDiskEnumKey, kDiskEnumCount);
}

}  // namespace quib::fwupdate
