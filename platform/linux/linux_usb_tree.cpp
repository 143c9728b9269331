// The USB tree port: controllers, hubs and ports from sysfs; requests to a port's device through usbfs.
#include "common/log/debug_log.h"
#include "platform/linux/linux_devices.h"
#include "platform/linux/usbfs_control.h"
#include "platform/linux/windows_names.h"

namespace quib::platform {
namespace {

template <typename T>
std::optional<T> failWith(std::uint32_t error) {
    setLastError(error);
    return std::nullopt;
}

}  // namespace

std::optional<std::string> LinuxDevices::hcdDriverKeyName(DeviceHandle controller) {
    std::uint32_t error = 0;
    const auto opened = find(controller, error);
    if (!opened) return failWith<std::string>(error);
    if (opened->kind != Kind::Controller) return failWith<std::string>(kErrorInvalidFunction);
    const UsbSnapshot usb = UsbSnapshot::read(m_sys);
    for (const UsbController& c : usb.controllers())
        if ("usb" + std::to_string(c.bus) == opened->name) return names::controllerDriverKey(c);
    return failWith<std::string>(kErrorDeviceNotConnected);
}

std::optional<std::string> LinuxDevices::rootHubName(DeviceHandle controller) {
    std::uint32_t error = 0;
    const auto opened = find(controller, error);
    if (!opened) return failWith<std::string>(error);
    if (opened->kind != Kind::Controller) return failWith<std::string>(kErrorInvalidFunction);
    const UsbSnapshot usb = UsbSnapshot::read(m_sys);
    const UsbNode* root = usb.find(opened->name);
    if (root == nullptr) return failWith<std::string>(kErrorDeviceNotConnected);
    return names::rootHubName(*root);
}

std::optional<UsbNode> LinuxDevices::currentHub(DeviceHandle hub, UsbSnapshot& usb) {
    std::uint32_t error = 0;
    const auto opened = find(hub, error);
    if (!opened) return failWith<UsbNode>(error);
    if (opened->kind != Kind::Hub) return failWith<UsbNode>(kErrorInvalidFunction);
    usb = UsbSnapshot::read(m_sys);
    const UsbNode* node = usb.find(opened->name);
    if (node == nullptr || node->path != opened->sysPath) return failWith<UsbNode>(kErrorDeviceNotConnected);
    return *node;
}

std::optional<std::uint32_t> LinuxDevices::hubPortCount(DeviceHandle hub) {
    constexpr auto kFn = "LinuxDevices::hubPortCount";
    UsbSnapshot usb;
    const auto node = currentHub(hub, usb);
    if (!node) return std::nullopt;
    if (!node->portCount) {
        LogError("%s:%d: hub %s: its port count (%s) is missing or malformed", kFn, __LINE__,
                 node->name.c_str(), m_sys.full(node->path + "/maxchild").c_str());
        return failWith<std::uint32_t>(kErrorGenFailure);
    }
    if (*node->portCount == 0) {
        LogError("%s:%d: hub %s reports no ports", kFn, __LINE__, node->name.c_str());
        return failWith<std::uint32_t>(kErrorGenFailure);
    }
    return node->portCount;
}

std::optional<NodeConnectionInfo> LinuxDevices::connectionInfo(DeviceHandle hub, std::uint32_t port) {
    constexpr auto kFn = "LinuxDevices::connectionInfo";
    UsbSnapshot usb;
    const auto node = currentHub(hub, usb);
    if (!node) return std::nullopt;
    if (port == 0 || !node->portCount || port > *node->portCount)
        return failWith<NodeConnectionInfo>(kErrorInvalidParameter);
    NodeConnectionInfo info;
    const UsbNode* child = usb.childAt(*node, port);
    if (child == nullptr) return info;  // nothing on the port
    if (!child->described) {
        LogError("%s:%d: hub %s port %u: device %s has no readable device descriptor", kFn, __LINE__,
                 node->name.c_str(), port, child->name.c_str());
        info.status = ConnectionStatus::DeviceFailedEnumeration;
        return info;
    }
    info.status = ConnectionStatus::DeviceConnected;
    info.deviceIsHub = child->isHub();
    info.speed = child->speed;
    info.descriptor = child->descriptor;
    return info;
}

std::optional<std::string> LinuxDevices::connectionName(DeviceHandle hub, std::uint32_t port) {
    UsbSnapshot usb;
    const auto node = currentHub(hub, usb);
    if (!node) return std::nullopt;
    const UsbNode* child = usb.childAt(*node, port);
    if (child == nullptr) return failWith<std::string>(kErrorDeviceNotConnected);
    if (!child->isHub()) return failWith<std::string>(kErrorInvalidParameter);
    return names::externalHubName(*child);
}

std::optional<std::string> LinuxDevices::connectionDriverKeyName(DeviceHandle hub, std::uint32_t port) {
    UsbSnapshot usb;
    const auto node = currentHub(hub, usb);
    if (!node) return std::nullopt;
    const UsbNode* child = usb.childAt(*node, port);
    if (child == nullptr) return failWith<std::string>(kErrorDeviceNotConnected);
    return names::usbDriverKey(*child);
}

std::optional<std::vector<std::uint8_t>> LinuxDevices::descriptorFromConnection(DeviceHandle hub,
                                                                                std::uint32_t port,
                                                                                const SetupPacket& request) {
    constexpr auto kFn = "LinuxDevices::descriptorFromConnection";
    UsbSnapshot usb;
    const auto node = currentHub(hub, usb);
    if (!node) return std::nullopt;
    const UsbNode* child = usb.childAt(*node, port);
    if (child == nullptr) return failWith<std::vector<std::uint8_t>>(kErrorDeviceNotConnected);
    const std::string usbNode = usbfs::nodeOf(m_roots.dev, child->bus, child->address);
    auto answer = usbfs::request(usbNode, request);
    if (!answer) {
        const std::uint32_t error = lastError();
        if (error == kErrorAccessDenied) reportNoRights(usbNode, child->name, false);
        LogMessage("%s:%d: %s: request %02X %02X %04X %04X %u failed, error %u", kFn, __LINE__,
                   usbNode.c_str(), request.bmRequest, request.bRequest, request.wValue, request.wIndex,
                   request.wLength, error);
        setLastError(error);
    }
    return answer;
}

}  // namespace quib::platform
