#include "platform/win32/win32_devices.h"

#include <algorithm>
#include <cctype>

#include "platform/win32/win32_control.h"
#include "platform/win32/win32_setup_di.h"

namespace quib::platform {
namespace {

using win32::DeviceInfoSet;

bool sameText(const std::string& a, const std::string& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

// Calls `visit` on each present device of every class until it returns true.
template <class Visit>
void forEachDevice(Visit&& visit) {
    DeviceInfoSet set(nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
    if (!set.valid()) return;
    for (DWORD index = 0; index < win32::kMostSetMembers; ++index) {
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof device;
        if (!deviceCalls().setupDiEnumDeviceInfo(set.get(), index, &device)) {
            if (deviceCalls().getLastError() != ERROR_NO_MORE_ITEMS) win32::carryLastError();
            return;
        }
        if (visit(set.get(), device)) return;
    }
}

}  // namespace

std::vector<DeviceInterface> Win32Devices::interfaces(const std::string& interfaceGuid) {
    std::vector<DeviceInterface> out;
    const auto guid = win32::guidOf(interfaceGuid);
    if (!guid) {
        setLastError(kErrorInvalidParameter);
        return out;
    }
    DeviceInfoSet set(&*guid, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (!set.valid()) return out;
    for (DWORD index = 0; index < win32::kMostSetMembers; ++index) {
        SP_DEVICE_INTERFACE_DATA data{};
        data.cbSize = sizeof data;
        if (!deviceCalls().setupDiEnumDeviceInterfaces(set.get(), nullptr, &*guid, index, &data)) {
            if (deviceCalls().getLastError() != ERROR_NO_MORE_ITEMS) win32::carryLastError();
            break;
        }
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof device;
        auto path = win32::interfacePath(set.get(), data, device);
        if (!path) continue;
        auto instanceId = win32::instanceIdOf(set.get(), device);
        if (!instanceId) continue;
        out.push_back({std::move(*path), std::move(*instanceId), win32::propertiesOf(set.get(), device)});
    }
    if (out.empty()) setLastError(kErrorNoMoreItems);
    return out;
}

std::vector<DeviceNode> Win32Devices::allDevices() {
    std::vector<DeviceNode> out;
    forEachDevice([&](HDEVINFO set, SP_DEVINFO_DATA& device) {
        if (auto instanceId = win32::instanceIdOf(set, device))
            out.push_back(
                {std::move(*instanceId), win32::textOf(device.ClassGuid), win32::propertiesOf(set, device)});
        return false;
    });
    return out;
}

std::optional<std::string> Win32Devices::propertyByDriverKey(const std::string& driverKeyName,
                                                             std::uint32_t property) {
    std::optional<std::string> found;
    forEachDevice([&](HDEVINFO set, SP_DEVINFO_DATA& device) {
        const auto driver = win32::propertyOf(set, device, SPDRP_DRIVER);
        if (!driver || !sameText(*driver, driverKeyName)) return false;
        found = win32::propertyOf(set, device, property);
        return true;
    });
    if (!found) setLastError(kErrorFileNotFound);  // no such device, or it lacks the property
    return found;
}

std::optional<std::string> Win32Devices::descriptionByDriverKey(const std::string& driverKeyName) {
    return propertyByDriverKey(driverKeyName, SPDRP_DEVICEDESC);
}

std::optional<std::string> Win32Devices::hardwareIdByDriverKey(const std::string& driverKeyName) {
    return propertyByDriverKey(driverKeyName, SPDRP_HARDWAREID);
}

}  // namespace quib::platform
