// The USB tree as sysfs shows it at one moment: root hubs (one per bus) with their host controller, hubs
// with their ports, and the devices on them with their device descriptor, speed and interface drivers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/sysfs_reader.h"
#include "platform/platform.h"

namespace quib::platform {

struct UsbNode {
    std::string name;  // sysfs name: "usb1" for bus 1's root hub, "1-2", "1-2.4", ...
    std::string path;  // folder under the sysfs root, links followed
    std::uint32_t bus = 0, address = 0;
    std::string parent;      // the hub's name; empty for a root hub
    std::uint32_t port = 0;  // the port on the parent hub
    // False when the device descriptor could not be read: the device failed its enumeration.
    bool described = false;
    UsbDeviceDescriptor descriptor;
    std::uint8_t speed = 0;  // 0 low, 1 full, 2 high, 3 super or faster
    // Port count of a hub ("maxchild"); nothing when the attribute is missing or malformed.
    std::optional<std::uint32_t> portCount;
    std::string manufacturer, product, serial;
    std::vector<std::string> interfaceDrivers;  // bound drivers of its interfaces, in interface order
    std::size_t interfaceCount = 0;

    bool isRootHub() const { return parent.empty(); }
    bool isHub() const { return descriptor.bDeviceClass == 9; }
};

struct UsbController {
    std::uint32_t bus = 0;
    std::string path;        // the controller's device folder (the root hub's parent)
    std::string pciSlot;     // "0000:00:04.0" for a PCI controller; else the folder's name
    std::string hardwareId;  // "PCI\VEN_1B36&DEV_000D&SUBSYS_11001AF4&REV_01"
    std::string driver;      // "xhci_hcd"
    std::string description;
};

class UsbSnapshot {
  public:
    static UsbSnapshot read(const SysfsReader& sys);

    const std::vector<UsbNode>& nodes() const { return m_nodes; }
    const std::vector<UsbController>& controllers() const { return m_controllers; }
    const UsbNode* find(const std::string& name) const;
    const UsbNode* rootHubOf(std::uint32_t bus) const;
    // The device on a hub's port, when one is there.
    const UsbNode* childAt(const UsbNode& hub, std::uint32_t port) const;

  private:
    std::vector<UsbNode> m_nodes;  // sorted by bus, then by name
    std::vector<UsbController> m_controllers;
};

// The sysfs name of the device on a hub's port ("usb1", 3 -> "1-3"; "1-3", 2 -> "1-3.2").
std::string childName(const std::string& hubName, std::uint32_t bus, std::uint32_t port);

}  // namespace quib::platform
