#include "devcore/transport/device_path.h"

#include <cstdio>

namespace quib::devcore {

std::string makeDevicePath(const char* kind, int number) {
    char path[64];
    std::snprintf(path, sizeof path, "\\\\.\\%s%d", kind, number);
    return path;
}

std::string makeDevicePath(bool cdrom, int number) {
    return makeDevicePath(cdrom ? kCdrom : kPhysicalDrive, number);
}

platform::DeviceHandle openDevice(const std::string& path) {
    return platform::get().storage.open(path, platform::kAccessRead | platform::kAccessWrite);
}

ScopedDevice::ScopedDevice(const std::string& path, std::uint32_t access)
    : m_hDev(platform::get().storage.open(path, access)) {}

void ScopedDevice::close() {
    if (platform::isValid(m_hDev)) platform::get().storage.close(m_hDev);
    m_hDev = platform::kInvalidHandle;
}

}  // namespace quib::devcore
