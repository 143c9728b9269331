#include "services/service_device.h"

#include "common/log/debug_log.h"
#include "devcore/device/quib_usb_dev.h"
#include "devcore/frame/library_objects.h"

namespace quib::services {

devcore::ScopedDevice openListEntry(const char* kFn, std::uint8_t ucTargetNumber, EntryPath which) {
    const devcore::USBDevEntry* entry = devcore::deviceEntry(kFn, __LINE__, ucTargetNumber);
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

}  // namespace quib::services
