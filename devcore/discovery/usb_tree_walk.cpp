#include "devcore/discovery/usb_tree_walk.h"

#include <optional>
#include <vector>

#include "common/log/debug_log.h"
#include "devcore/device/text_helpers.h"
#include "devcore/transport/device_path.h"

namespace quib::devcore {
namespace {

constexpr std::size_t kClassGuidLength = 38;

const char* connectionStatusText(platform::ConnectionStatus status) {
    switch (status) {
        case platform::ConnectionStatus::NoDeviceConnected:
            return "NoDeviceConnected";
        case platform::ConnectionStatus::DeviceConnected:
            return "DeviceConnected";
        case platform::ConnectionStatus::DeviceFailedEnumeration:
            return "Device FAILED enumeration";
        case platform::ConnectionStatus::DeviceGeneralFailure:
            return "DeviceGeneralFailure";
        case platform::ConnectionStatus::DeviceCausedOvercurrent:
            return "DeviceCausedOvercurrent";
        case platform::ConnectionStatus::DeviceNotEnoughPower:
            return "DeviceNotEnoughPower";
        case platform::ConnectionStatus::DeviceNotEnoughBandwidth:
            return "DeviceNotEnoughBandwidth";
        case platform::ConnectionStatus::DeviceHubNestedTooDeeply:
            return "DeviceHubNestedTooDeeply";
        case platform::ConnectionStatus::DeviceInLegacyHub:
            return "DeviceInLegacyHub";
    }
    return "Unknown";
}

// Port count of a hub just opened; a hub that cannot be opened or asked is logged and skipped.
std::optional<std::uint32_t> hubPortCount(const ScopedDevice& hub, const std::string& strHubName,
                                          const char* kFn) {
    if (!hub.valid()) {
        LogError("%s:%d: EnumerateHostController: CreateFile[%s] fail , dwErrorCode : %d", kFn, __LINE__,
                 strHubName.c_str(), platform::lastErrorCode());
        return std::nullopt;
    }
    const auto portCount = platform::get().usb.hubPortCount(hub.get());
    if (!portCount)
        LogError("%s:%d: EnumerateHostController: IOCTL_USB_GET_NODE_INFORMATION fail , dwErrorCode : %d",
                 kFn, __LINE__, platform::lastErrorCode());
    return portCount;
}

}  // namespace

void UsbTreeWalker::walk() {
    constexpr auto kFn = "CQuibUSBDev::OpenDevice";
    platform::Platform& os = platform::get();
    const auto interfaces = os.devices.interfaces(platform::kGuidUsbHostController);
    if (interfaces.empty()) {
        // Where the platform cannot list USB host controllers yet, nothing can be found: say why.
        LogWarning("%s:%d: No USB host controller found, dwErrorCode = %d", kFn, __LINE__,
                   platform::lastErrorCode());
        return;
    }

    // Controllers are opened first; one that cannot be opened ends the list.
    std::vector<platform::DeviceHandle> controllers;
    for (const auto& controller : interfaces) {
        if (controllers.size() >= kMaxHostControllers) break;
        const platform::DeviceHandle hController =
            os.storage.open(controller.devicePath, platform::kAccessRead | platform::kAccessWrite);
        if (!platform::isValid(hController)) {
            LogError("%s:%d: CreateFile Fail: dwErrorCode = %d, DevicePath:%s", kFn, __LINE__,
                     platform::lastErrorCode(), controller.devicePath.c_str());
            break;
        }
        controllers.push_back(hController);
    }

    bool bStop = false;
    try {
        for (std::size_t h = 0; h < controllers.size() && !bStop; ++h)
            walkController(static_cast<int>(h), controllers[h], bStop);
    } catch (...) {
        for (auto hController : controllers) os.storage.close(hController);
        throw;
    }
    for (auto hController : controllers) os.storage.close(hController);
}

void UsbTreeWalker::walkController(int iHost, platform::DeviceHandle hController, bool& bStop) {
    constexpr auto kFn = "CQuibUSBDev::EnumerateHostController";
    platform::Platform& os = platform::get();
    m_iHost = iHost;

    const auto driverKey = os.usb.hcdDriverKeyName(hController);
    if (!driverKey) {
        LogError("%s:%d: GetHCDDriverKeyName: IOCTL_GET_HCD_DRIVERKEY_NAME Fail , dwErrorCode %d",
                 "CQuibUSBDev::GetHCDDriverKeyName", __LINE__, platform::lastErrorCode());
        return;
    }
    const std::string strDescription = os.devices.descriptionByDriverKey(*driverKey).value_or("");
    m_strHostControllerHardwareId = os.devices.hardwareIdByDriverKey(*driverKey).value_or("");
    LogMessage("%s:%d: HostController[%d] DriverKey[%s] DeviceDesc[%s] HardwareID[%s]", kFn, __LINE__, iHost,
               driverKey->c_str(), strDescription.c_str(), m_strHostControllerHardwareId.c_str());

    const auto rootHub = os.usb.rootHubName(hController);
    if (!rootHub) {
        LogError("%s:%d: EnumerateHostController: IOCTL_USB_GET_ROOT_HUB_NAME fail , dwErrorCode : %d", kFn,
                 __LINE__, platform::lastErrorCode());
        return;
    }
    const std::string strHubName = "\\\\.\\" + *rootHub;
    ScopedDevice hub(strHubName, platform::kAccessRead | platform::kAccessWrite);
    const auto portCount = hubPortCount(hub, strHubName, kFn);
    if (!portCount) return;
    // A bridge in its CD-ROM state was found: later controllers are left alone.
    if (m_stop && m_stop()) {
        bStop = true;
        return;
    }
    m_iHubTerm = 0;
    walkHub(hub.get(), strHubName, *portCount, 0);
}

void UsbTreeWalker::walkHub(platform::DeviceHandle hHub, const std::string& strHubName,
                            std::uint32_t ulPortCount, int iDepth) {
    constexpr auto kFn = "CQuibUSBDev::EnumerateHubPorts";
    platform::Platform& os = platform::get();
    for (std::uint32_t ulPort = 1; ulPort <= ulPortCount; ++ulPort) {
        const auto info = os.usb.connectionInfo(hHub, ulPort);
        if (!info) {
            LogError("%s:%d: IOCTL_USB_GET_NODE_CONNECTION_INFORMATION Fail , dwErrorCode %d", kFn, __LINE__,
                     platform::lastErrorCode());
            continue;
        }
        if (info->status != platform::ConnectionStatus::DeviceConnected) {
            LogMessage("%s:%d: iHubDepth[%d]  ulPortCount[%d] Port[%d]  = %s ,", kFn, __LINE__, iDepth,
                       static_cast<int>(ulPortCount), static_cast<int>(ulPort),
                       connectionStatusText(info->status));
            continue;
        }
        if (info->deviceIsHub) {
            walkExternalHub(hHub, ulPort, iDepth);
        } else {
            examineDevice(hHub, strHubName, ulPortCount, ulPort, *info, iDepth);
        }
    }
}

void UsbTreeWalker::walkExternalHub(platform::DeviceHandle hHub, std::uint32_t ulPort, int iDepth) {
    constexpr auto kFn = "CQuibUSBDev::EnumerateHubPorts";
    platform::Platform& os = platform::get();
    const auto name = os.usb.connectionName(hHub, ulPort);
    if (!name) {
        LogError("%s:%d:  IOCTL_USB_GET_NODE_CONNECTION_NAME Fail , dwErrorCode %d", kFn, __LINE__,
                 platform::lastErrorCode());
        return;
    }
    const std::string strHubName = "\\\\?\\" + *name;
    ScopedDevice hub(strHubName, platform::kAccessRead | platform::kAccessWrite);
    const auto portCount = hubPortCount(hub, strHubName, kFn);
    if (!portCount) return;
    m_iHubTerm = static_cast<int>(ulPort);
    walkHub(hub.get(), strHubName, *portCount, iDepth + 1);
    const int q = static_cast<int>(ulPort);
    m_iHubTerm = iDepth != 0 ? q + 1 - static_cast<int>(*portCount) * iDepth : q;
}

void UsbTreeWalker::examineDevice(platform::DeviceHandle hHub, const std::string& strHubName,
                                  std::uint32_t ulPortCount, std::uint32_t ulPort,
                                  const platform::NodeConnectionInfo& info, int iDepth) {
    constexpr auto kFn = "CQuibUSBDev::EnumerateHubPorts";
    platform::Platform& os = platform::get();
    UsbPortDevice device;
    device.hHub = hHub;
    device.strHubDeviceName = strHubName;
    device.ulPort = ulPort;
    device.ulPortCount = ulPortCount;
    device.iHubDepth = iDepth;
    device.iLocation = locationNumber(ulPort, m_iHubTerm, iDepth, m_iHost);
    device.strHostControllerHardwareId = m_strHostControllerHardwareId;

    const auto driverKey = os.usb.connectionDriverKeyName(hHub, ulPort);
    if (!driverKey) {
        LogError("%s:%d: IOCTL_USB_GET_NODE_CONNECTION_DRIVERKEY_NAME Fail , dwErrorCode %d", kFn, __LINE__,
                 platform::lastErrorCode());
        return;
    }
    device.strDriverKeyName = *driverKey;
    device.strDescription = os.devices.descriptionByDriverKey(*driverKey).value_or("");
    // Composite devices are passed over; a description that starts with the word is not one of them.
    const std::size_t composite = device.strDescription.find("Composite");
    if (composite != std::string::npos && composite > 0) {
        LogMessage("%s:%d: Port[%d] DeviceDesc[%s] passed over", kFn, __LINE__, static_cast<int>(ulPort),
                   device.strDescription.c_str());
        return;
    }

    device.identity = readUsbIdentity(hHub, ulPort, info.descriptor);
    const std::string strClassGuid = device.strDriverKeyName.substr(0, kClassGuidLength);
    if (equalsIgnoreCase(strClassGuid, platform::kGuidDiskDriveClass)) {
        LogError("%s:%d: ucPhysicalAddress [%d] Fail, strDriverKeyNaemLimit:%s", kFn, __LINE__, 255,
                 strClassGuid.c_str());
        return;
    }
    LogMessage("%s:%d: iHubDepth[%d] Port[%d] iLocation[%d] VID[%s] PID[%s] SerialNumber[%s] DeviceDesc[%s]",
               kFn, __LINE__, iDepth, static_cast<int>(ulPort), device.iLocation,
               device.identity.strVid.c_str(), device.identity.strPid.c_str(),
               device.identity.strSerialNumber.c_str(), device.strDescription.c_str());
    m_visitor(device);
}

}  // namespace quib::devcore
