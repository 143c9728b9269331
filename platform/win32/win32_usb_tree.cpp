#include "platform/win32/win32_usb_tree.h"

#include <cstring>
#include <vector>

#include "platform/win32/win32_control.h"

namespace quib::platform {
namespace {

using win32::failWith;
using win32::ioControl;

// Where a name answer keeps its parts: {[ConnectionIndex,] ActualLength, name}. ActualLength is the
// size of the whole answer the name needs.
struct NameLayout {
    std::size_t lengthAt;
    std::size_t nameAt;
};
constexpr NameLayout kHcdDriverKey{offsetof(USB_HCD_DRIVERKEY_NAME, ActualLength),
                                   offsetof(USB_HCD_DRIVERKEY_NAME, DriverKeyName)};
constexpr NameLayout kRootHubName{offsetof(USB_ROOT_HUB_NAME, ActualLength),
                                  offsetof(USB_ROOT_HUB_NAME, RootHubName)};
constexpr NameLayout kConnectionName{offsetof(USB_NODE_CONNECTION_NAME, ActualLength),
                                     offsetof(USB_NODE_CONNECTION_NAME, NodeName)};
constexpr NameLayout kConnectionDriverKey{offsetof(USB_NODE_CONNECTION_DRIVERKEY_NAME, ActualLength),
                                          offsetof(USB_NODE_CONNECTION_DRIVERKEY_NAME, DriverKeyName)};
constexpr DWORD kConnectionInfoFixedPart = offsetof(USB_NODE_CONNECTION_INFORMATION_EX, PipeList);
constexpr DWORD kPortCountEnd =
    offsetof(USB_NODE_INFORMATION, u.HubInformation.HubDescriptor.bNumberOfPorts) + 1;
constexpr std::size_t kPipeRoom = 32;  // open pipes the answer may list after the fixed part

std::uint32_t readUlong(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    std::uint32_t value = 0;
    std::memcpy(&value, bytes.data() + at, sizeof value);
    return value;
}

// A name request: asked with the smallest answer first, then with the room ActualLength asks for, and
// read no further than the answer was filled. Requests about a port name it first.
std::optional<std::string> askName(DeviceHandle device, DWORD code, const NameLayout& layout,
                                   std::optional<std::uint32_t> port) {
    std::size_t size = layout.nameAt + sizeof(WCHAR);
    for (int attempt = 0; attempt < win32::kGrowthAttempts; ++attempt) {
        std::vector<std::uint8_t> answer(size, 0);
        if (port) std::memcpy(answer.data(), &*port, sizeof *port);  // ConnectionIndex
        DWORD returned = 0;
        const bool ok = ioControl(device, code, answer.data(), static_cast<DWORD>(answer.size()),
                                  answer.data(), static_cast<DWORD>(answer.size()), returned);
        const std::size_t filled = std::min<std::size_t>(returned, answer.size());
        if (!ok && !win32::wantsMoreRoom(lastError())) return std::nullopt;
        if (filled < layout.lengthAt + sizeof(ULONG)) {
            if (!ok) return std::nullopt;
            return failWith<std::string>(kErrorGenFailure);
        }
        const std::uint32_t actual = readUlong(answer, layout.lengthAt);
        if (actual > answer.size()) {
            if (actual > win32::kLargestAnswer) return failWith<std::string>(kErrorGenFailure);
            size = actual;
            continue;
        }
        if (!ok) return std::nullopt;
        const std::size_t end = std::min<std::size_t>(filled, actual);
        if (end <= layout.nameAt) return std::string();
        return win32::wideText(
            std::span<const std::uint8_t>(answer).subspan(layout.nameAt, end - layout.nameAt));
    }
    return failWith<std::string>(kErrorInsufficientBuffer);
}

NodeConnectionInfo infoOf(const std::uint8_t* fixedPart, bool extended) {
    NodeConnectionInfo info;
    USB_NODE_CONNECTION_INFORMATION_EX ex;
    std::memcpy(&ex, fixedPart, kConnectionInfoFixedPart);
    static_assert(offsetof(USB_NODE_CONNECTION_INFORMATION_EX, ConnectionStatus) ==
                  offsetof(USB_NODE_CONNECTION_INFORMATION, ConnectionStatus));
    static_assert(offsetof(USB_NODE_CONNECTION_INFORMATION_EX, Speed) ==
                  offsetof(USB_NODE_CONNECTION_INFORMATION, LowSpeed));
    info.status = static_cast<ConnectionStatus>(ex.ConnectionStatus);
    info.deviceIsHub = ex.DeviceIsHub != 0;
    // The plain form keeps LowSpeed where the extended one keeps Speed, and tells only that.
    info.speed = extended ? ex.Speed : (ex.Speed != 0 ? 0 : 1);
    const USB_DEVICE_DESCRIPTOR& d = ex.DeviceDescriptor;
    UsbDeviceDescriptor& out = info.descriptor;
    out.bLength = d.bLength;
    out.bDescriptorType = d.bDescriptorType;
    out.bcdUSB = d.bcdUSB;
    out.bDeviceClass = d.bDeviceClass;
    out.bDeviceSubClass = d.bDeviceSubClass;
    out.bDeviceProtocol = d.bDeviceProtocol;
    out.bMaxPacketSize0 = d.bMaxPacketSize0;
    out.idVendor = d.idVendor;
    out.idProduct = d.idProduct;
    out.bcdDevice = d.bcdDevice;
    out.iManufacturer = d.iManufacturer;
    out.iProduct = d.iProduct;
    out.iSerialNumber = d.iSerialNumber;
    out.bNumConfigurations = d.bNumConfigurations;
    return info;
}

}  // namespace

std::optional<std::string> Win32UsbTree::hcdDriverKeyName(DeviceHandle controller) {
    return askName(controller, IOCTL_GET_HCD_DRIVERKEY_NAME, kHcdDriverKey, std::nullopt);
}

std::optional<std::string> Win32UsbTree::rootHubName(DeviceHandle controller) {
    return askName(controller, IOCTL_USB_GET_ROOT_HUB_NAME, kRootHubName, std::nullopt);
}

std::optional<std::uint32_t> Win32UsbTree::hubPortCount(DeviceHandle hub) {
    USB_NODE_INFORMATION node{};
    DWORD returned = 0;
    if (!ioControl(hub, IOCTL_USB_GET_NODE_INFORMATION, &node, sizeof node, &node, sizeof node, returned))
        return std::nullopt;
    if (returned < kPortCountEnd) return failWith<std::uint32_t>(kErrorGenFailure);
    return std::uint32_t{node.u.HubInformation.HubDescriptor.bNumberOfPorts};
}

std::optional<NodeConnectionInfo> Win32UsbTree::connectionInfo(DeviceHandle hub, std::uint32_t port) {
    std::vector<std::uint8_t> answer(sizeof(USB_NODE_CONNECTION_INFORMATION_EX) +
                                     kPipeRoom * sizeof(USB_PIPE_INFO));
    for (const bool extended : {true, false}) {
        std::fill(answer.begin(), answer.end(), 0);
        std::memcpy(answer.data(), &port, sizeof port);  // ConnectionIndex leads
        const DWORD code = extended ? IOCTL_USB_GET_NODE_CONNECTION_INFORMATION_EX
                                    : IOCTL_USB_GET_NODE_CONNECTION_INFORMATION;
        DWORD returned = 0;
        if (ioControl(hub, code, answer.data(), static_cast<DWORD>(answer.size()), answer.data(),
                      static_cast<DWORD>(answer.size()), returned)) {
            if (returned < kConnectionInfoFixedPart) return failWith<NodeConnectionInfo>(kErrorGenFailure);
            return infoOf(answer.data(), extended);
        }
        const std::uint32_t error = lastError();
        if (!extended || (error != ERROR_INVALID_FUNCTION && error != ERROR_NOT_SUPPORTED)) break;
    }
    return std::nullopt;
}

std::optional<std::string> Win32UsbTree::connectionName(DeviceHandle hub, std::uint32_t port) {
    return askName(hub, IOCTL_USB_GET_NODE_CONNECTION_NAME, kConnectionName, port);
}

std::optional<std::string> Win32UsbTree::connectionDriverKeyName(DeviceHandle hub, std::uint32_t port) {
    return askName(hub, IOCTL_USB_GET_NODE_CONNECTION_DRIVERKEY_NAME, kConnectionDriverKey, port);
}

std::optional<std::vector<std::uint8_t>> Win32UsbTree::descriptorFromConnection(DeviceHandle hub,
                                                                                std::uint32_t port,
                                                                                const SetupPacket& request) {
    constexpr std::size_t kHeader = offsetof(USB_DESCRIPTOR_REQUEST, Data);
    std::vector<std::uint8_t> buffer(kHeader + request.wLength, 0);
    USB_DESCRIPTOR_REQUEST head{};
    head.ConnectionIndex = port;
    head.SetupPacket.bmRequest = request.bmRequest;
    head.SetupPacket.bRequest = request.bRequest;
    head.SetupPacket.wValue = request.wValue;
    head.SetupPacket.wIndex = request.wIndex;
    head.SetupPacket.wLength = request.wLength;
    std::memcpy(buffer.data(), &head, kHeader);
    DWORD returned = 0;
    if (!ioControl(hub, IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION, buffer.data(),
                   static_cast<DWORD>(buffer.size()), buffer.data(), static_cast<DWORD>(buffer.size()),
                   returned))
        return std::nullopt;
    // The answer echoes the request, then the bytes the device sent: no more than it filled.
    const std::size_t filled = std::min<std::size_t>(returned, buffer.size());
    if (filled < kHeader) return failWith<std::vector<std::uint8_t>>(kErrorGenFailure);
    return std::vector<std::uint8_t>(buffer.begin() + kHeader,
                                     buffer.begin() + static_cast<std::ptrdiff_t>(filled));
}

}  // namespace quib::platform
