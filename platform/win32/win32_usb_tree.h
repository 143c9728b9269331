// The USB tree on Windows: host controllers, hubs and their ports through the USB hub control requests.
#pragma once

#include "platform/platform.h"

namespace quib::platform {

class Win32UsbTree final : public UsbTree {
  public:
    Win32UsbTree() = default;

    std::optional<std::string> hcdDriverKeyName(DeviceHandle controller) override;
    std::optional<std::string> rootHubName(DeviceHandle controller) override;
    std::optional<std::uint32_t> hubPortCount(DeviceHandle hub) override;
    std::optional<NodeConnectionInfo> connectionInfo(DeviceHandle hub, std::uint32_t port) override;
    std::optional<std::string> connectionName(DeviceHandle hub, std::uint32_t port) override;
    std::optional<std::string> connectionDriverKeyName(DeviceHandle hub, std::uint32_t port) override;
    std::optional<std::vector<std::uint8_t>> descriptorFromConnection(DeviceHandle hub, std::uint32_t port,
                                                                      const SetupPacket& request) override;
};

}  // namespace quib::platform
