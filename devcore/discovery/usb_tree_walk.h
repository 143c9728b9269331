// Walks the USB tree top-down: host controllers, root hubs, external hubs, ports.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "devcore/discovery/usb_port_device.h"
#include "platform/platform.h"

namespace quib::devcore {

inline constexpr std::size_t kMaxHostControllers = 20;

class UsbTreeWalker {
  public:
    // Called for every attached device that may be a bridge.
    using Visitor = std::function<void(const UsbPortDevice&)>;
    // Checked before each controller's root hub is walked; true stops the walk there.
    using StopCondition = std::function<bool()>;

    UsbTreeWalker(Visitor visitor, StopCondition stop)
        : m_visitor(std::move(visitor)), m_stop(std::move(stop)) {}
    void walk();

  private:
    void walkController(int iHost, platform::DeviceHandle hController, bool& bStop);
    void walkHub(platform::DeviceHandle hHub, const std::string& strHubName, std::uint32_t ulPortCount,
                 int iDepth);
    void walkExternalHub(platform::DeviceHandle hHub, std::uint32_t ulPort, int iDepth);
    void examineDevice(platform::DeviceHandle hHub, const std::string& strHubName, std::uint32_t ulPortCount,
                       std::uint32_t ulPort, const platform::NodeConnectionInfo& info, int iDepth);

    Visitor m_visitor;
    StopCondition m_stop;
    int m_iHost = 0;
    // The hub term of the location number; it changes as the walk enters and leaves external hubs.
    int m_iHubTerm = 0;
    std::string m_strHostControllerHardwareId;
};

// Location number of a device: port + 10 x hub term + 100 x depth + 1000 x host controller.
inline int locationNumber(std::uint32_t ulPort, int iHubTerm, int iDepth, int iHost) {
    return static_cast<int>(ulPort) + 10 * iHubTerm + 100 * iDepth + 1000 * iHost;
}

}  // namespace quib::devcore
