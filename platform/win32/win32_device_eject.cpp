// The eject safe removal asks for: the configuration manager is asked to eject the USB device the
// instance lies on (the instance itself, or the nearest USB device above it, as a disk lies on the
// bridge's USB device), which takes the disks behind it along.
#include <cwctype>
#include <string>

#include "common/log/debug_log.h"
#include "platform/backends.h"
#include "platform/win32/win32_device_calls.h"
#include "platform/win32/win32_devices.h"

namespace quib::platform {
namespace {

constexpr int kDeepestTree = 32;

// What a configuration manager result means as a system error.
std::uint32_t systemErrorOf(CONFIGRET result) {
    switch (result) {
        case CR_SUCCESS:
            return kErrorSuccess;
        case CR_NO_SUCH_DEVNODE:
            return kErrorFileNotFound;
        case CR_ACCESS_DENIED:
            return kErrorAccessDenied;
        case CR_INVALID_POINTER:
        case CR_INVALID_FLAG:
        case CR_INVALID_DEVNODE:
        case CR_INVALID_DEVICE_ID:
            return kErrorInvalidParameter;
        case CR_BUFFER_SMALL:
            return kErrorInsufficientBuffer;
        default:  // a veto (CR_REMOVE_VETOED) among them: the device stays
            return kErrorGenFailure;
    }
}

std::optional<std::wstring> deviceIdOf(DEVINST node) {
    wchar_t id[MAX_DEVICE_ID_LEN + 1] = {};
    if (deviceCalls().cmGetDeviceId(node, id, MAX_DEVICE_ID_LEN, 0) != CR_SUCCESS) return std::nullopt;
    id[MAX_DEVICE_ID_LEN] = L'\0';
    return std::wstring(id);
}

bool isUsbDevice(const std::wstring& id) {
    return id.size() > 4 && std::towupper(id[0]) == L'U' && std::towupper(id[1]) == L'S' &&
           std::towupper(id[2]) == L'B' && id[3] == L'\\';
}

// The node itself when it is a USB device, else the nearest USB device above it; else the node.
DEVINST ejectTargetOf(DEVINST node) {
    DEVINST at = node;
    for (int depth = 0; depth < kDeepestTree; ++depth) {
        const auto id = deviceIdOf(at);
        if (id && isUsbDevice(*id)) return at;
        DEVINST parent = 0;
        if (deviceCalls().cmGetParent(&parent, at, 0) != CR_SUCCESS) break;
        at = parent;
    }
    return node;
}

}  // namespace

bool Win32Devices::requestEject(const std::string& instanceId) {
    constexpr auto kFn = "Win32Devices::requestEject";
    std::wstring id = utf8ToWide(instanceId);
    DEVINST node = 0;
    CONFIGRET result = deviceCalls().cmLocateDevNode(&node, id.data(), CM_LOCATE_DEVNODE_NORMAL);
    if (result != CR_SUCCESS) {
        setLastError(systemErrorOf(result));
        return false;
    }
    const DEVINST target = ejectTargetOf(node);
    PNP_VETO_TYPE veto = PNP_VetoTypeUnknown;
    wchar_t vetoName[MAX_PATH + 1] = {};
    result = deviceCalls().cmRequestDeviceEject(target, &veto, vetoName, MAX_PATH, 0);
    if (result == CR_SUCCESS && veto == PNP_VetoTypeUnknown) {
        setLastError(kErrorSuccess);
        return true;
    }
    vetoName[MAX_PATH] = L'\0';
    LogError("%s:%d: %s: eject refused (result %lu, veto %d by [%s])", kFn, __LINE__, instanceId.c_str(),
             static_cast<unsigned long>(result), static_cast<int>(veto), wideToUtf8(vetoName).c_str());
    setLastError(result == CR_SUCCESS ? std::uint32_t{kErrorGenFailure} : systemErrorOf(result));
    return false;
}

}  // namespace quib::platform
