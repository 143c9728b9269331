#include "services/service_device.h"

#include "common/log/debug_log.h"
#include "devcore/device/quib_usb_dev.h"
#include "devcore/frame/library_objects.h"

namespace quib::services {
namespace {

const devcore::USBDevEntry* entryOf(std::uint8_t ucTargetNumber) {
    devcore::USBDevList* list = devcore::libraryObjects().devList();
    if (list == nullptr || ucTargetNumber >= devcore::kMaxDevList) return nullptr;
    return &list->Devs[ucTargetNumber];
}

}  // namespace

devcore::ScopedDevice openListEntry(const char* kFn, std::uint8_t ucTargetNumber, EntryPath which) {
    const devcore::USBDevEntry* entry = entryOf(ucTargetNumber);
    std::string path;
    if (entry != nullptr)
        path = which == EntryPath::Disk ? devcore::makeDevicePath(false, entry->m_ucPhysicalAddress)
                                        : CQuibUSBDev::strDevicePathOf(*entry);
    devcore::ScopedDevice device;
    if (!path.empty()) device = devcore::ScopedDevice(devcore::openDevice(path));
    if (!device.valid())
        LogError("%s:%d: CreateFile failed, strPhysicalAddress(%s)", kFn, __LINE__, path.c_str());
    return device;
}

std::uint8_t recordedDevType(std::uint8_t ucTargetNumber) {
    const devcore::USBDevEntry* entry = entryOf(ucTargetNumber);
    return entry == nullptr ? 0xFF : entry->m_ucDevType;
}

}  // namespace quib::services
