#include "platform/linux/usb_sysfs.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "common/log/debug_log.h"

namespace quib::platform {
namespace {

constexpr auto kFn = "UsbSnapshot::read";
constexpr std::size_t kDeviceDescriptorLength = 18;

bool isDeviceName(const std::string& name) {
    return name.find(':') == std::string::npos;
}

// "usb3" -> 3; "3-1.2" -> 3.
std::optional<std::uint32_t> busOfName(const std::string& name) {
    const char* digits = name.c_str() + (name.rfind("usb", 0) == 0 ? 3 : 0);
    unsigned bus = 0;
    int used = 0;
    if (std::sscanf(digits, "%u%n", &bus, &used) != 1 || used == 0) return std::nullopt;
    return bus;
}

// The parent hub's name and the port, from the name: "1-2.4" is on port 4 of "1-2"; "1-2" on port 2 of
// "usb1".
bool placeOf(const std::string& name, std::uint32_t bus, std::string& parent, std::uint32_t& port) {
    const std::size_t cut = name.find_last_of("-.");
    if (cut == std::string::npos || cut + 1 >= name.size()) return false;
    unsigned value = 0;
    int used = 0;
    if (std::sscanf(name.c_str() + cut + 1, "%u%n", &value, &used) != 1 ||
        static_cast<std::size_t>(used) != name.size() - cut - 1 || value == 0)
        return false;
    port = value;
    parent = name[cut] == '-' ? "usb" + std::to_string(bus) : name.substr(0, cut);
    return true;
}

std::uint8_t speedOf(const std::optional<std::string>& mbps) {
    if (!mbps) return 1;
    if (*mbps == "1.5") return 0;
    if (*mbps == "12") return 1;
    if (*mbps == "480") return 2;
    return 3;  // 5000, 10000, 20000
}

// The device descriptor: the first 18 bytes of "descriptors" (as the device sent them), else the
// attributes the kernel keeps of it.
bool readDescriptor(const SysfsReader& sys, const std::string& path, UsbDeviceDescriptor& out) {
    if (const auto raw = sys.bytes(path + "/descriptors"); raw && raw->size() >= kDeviceDescriptorLength &&
                                                           (*raw)[0] == kDeviceDescriptorLength &&
                                                           (*raw)[1] == 1) {
        std::memcpy(&out, raw->data(), kDeviceDescriptorLength);
        return true;
    }
    const auto vid = sys.number(path + "/idVendor", 16);
    const auto pid = sys.number(path + "/idProduct", 16);
    const auto release = sys.number(path + "/bcdDevice", 16);
    if (!vid || !pid || !release || *vid > 0xFFFF || *pid > 0xFFFF || *release > 0xFFFF) return false;
    out.idVendor = static_cast<std::uint16_t>(*vid);
    out.idProduct = static_cast<std::uint16_t>(*pid);
    out.bcdDevice = static_cast<std::uint16_t>(*release);
    out.bDeviceClass = static_cast<std::uint8_t>(sys.number(path + "/bDeviceClass", 16).value_or(0));
    out.bMaxPacketSize0 = static_cast<std::uint8_t>(sys.number(path + "/bMaxPacketSize0").value_or(64));
    out.bNumConfigurations = static_cast<std::uint8_t>(sys.number(path + "/bNumConfigurations").value_or(1));
    unsigned major = 0, minor = 0;
    if (const auto version = sys.text(path + "/version");
        version && std::sscanf(version->c_str(), " %u.%u", &major, &minor) == 2)
        out.bcdUSB = static_cast<std::uint16_t>(((major / 10) << 12) | ((major % 10) << 8) |
                                                ((minor / 10) << 4) | (minor % 10));
    return true;
}

std::string controllerDescription(const std::string& driver) {
    if (driver == "xhci_hcd" || driver == "xhci-pci" || driver == "xhci-hcd")
        return "USB xHCI Compliant Host Controller";
    if (driver == "ehci-pci" || driver == "ehci_hcd") return "Standard Enhanced PCI to USB Host Controller";
    if (driver == "uhci_hcd") return "Standard Universal PCI to USB Host Controller";
    if (driver == "ohci-pci" || driver == "ohci_hcd") return "Standard OpenHCD USB Host Controller";
    return "USB Host Controller";
}

UsbController readController(const SysfsReader& sys, const UsbNode& rootHub) {
    UsbController c;
    c.bus = rootHub.bus;
    c.path = parentOf(rootHub.path);
    c.pciSlot = baseName(c.path);
    c.driver = sys.linkName(c.path + "/driver").value_or("");
    c.description = controllerDescription(c.driver);
    const auto vendor = sys.number(c.path + "/vendor", 16);
    const auto device = sys.number(c.path + "/device", 16);
    if (vendor && device) {
        char id[96];
        std::snprintf(id, sizeof id, "PCI\\VEN_%04X&DEV_%04X&SUBSYS_%04X%04X&REV_%02X",
                      static_cast<unsigned>(*vendor), static_cast<unsigned>(*device),
                      static_cast<unsigned>(sys.number(c.path + "/subsystem_device", 16).value_or(0)),
                      static_cast<unsigned>(sys.number(c.path + "/subsystem_vendor", 16).value_or(0)),
                      static_cast<unsigned>(sys.number(c.path + "/revision", 16).value_or(0)));
        c.hardwareId = id;
    } else {
        c.hardwareId = "ROOT\\" + c.pciSlot;
    }
    return c;
}

}  // namespace

std::string childName(const std::string& hubName, std::uint32_t bus, std::uint32_t port) {
    if (hubName.rfind("usb", 0) == 0) return std::to_string(bus) + "-" + std::to_string(port);
    return hubName + "." + std::to_string(port);
}

UsbSnapshot UsbSnapshot::read(const SysfsReader& sys) {
    UsbSnapshot snapshot;
    for (const std::string& name : sys.entries("bus/usb/devices")) {
        if (!isDeviceName(name)) continue;
        UsbNode node;
        node.name = name;
        const auto path = sys.resolve("bus/usb/devices/" + name);
        const auto bus = busOfName(name);
        if (!path || !bus) {
            LogWarning("%s:%d: USB device %s: its sysfs folder does not resolve, passed over", kFn, __LINE__,
                       name.c_str());
            continue;
        }
        node.path = *path;
        node.bus = *bus;
        node.address = static_cast<std::uint32_t>(sys.number(node.path + "/devnum").value_or(0));
        if (name.rfind("usb", 0) != 0 && !placeOf(name, node.bus, node.parent, node.port)) {
            LogWarning("%s:%d: USB device %s: not a port path, passed over", kFn, __LINE__, name.c_str());
            continue;
        }
        node.described = readDescriptor(sys, node.path, node.descriptor);
        if (!node.described)
            LogWarning("%s:%d: USB device %s: no readable device descriptor in %s", kFn, __LINE__,
                       name.c_str(), sys.full(node.path).c_str());
        node.speed = speedOf(sys.text(node.path + "/speed"));
        if (const auto ports = sys.number(node.path + "/maxchild"); ports && *ports <= 255)
            node.portCount = static_cast<std::uint32_t>(*ports);
        node.manufacturer = sys.text(node.path + "/manufacturer").value_or("");
        node.product = sys.text(node.path + "/product").value_or("");
        node.serial = sys.text(node.path + "/serial").value_or("");
        const std::string interfacePrefix = name + ":";
        for (const std::string& entry : sys.entries(node.path)) {
            if (entry.rfind(interfacePrefix, 0) != 0) continue;
            ++node.interfaceCount;
            node.interfaceDrivers.push_back(sys.linkName(node.path + "/" + entry + "/driver").value_or(""));
        }
        snapshot.m_nodes.push_back(std::move(node));
    }
    std::stable_sort(snapshot.m_nodes.begin(), snapshot.m_nodes.end(),
                     [](const UsbNode& a, const UsbNode& b) {
                         if (a.bus != b.bus) return a.bus < b.bus;
                         if (a.isRootHub() != b.isRootHub()) return a.isRootHub();
                         return a.name < b.name;
                     });
    for (const UsbNode& node : snapshot.m_nodes)
        if (node.isRootHub()) snapshot.m_controllers.push_back(readController(sys, node));
    return snapshot;
}

const UsbNode* UsbSnapshot::find(const std::string& name) const {
    for (const UsbNode& node : m_nodes)
        if (node.name == name) return &node;
    return nullptr;
}

const UsbNode* UsbSnapshot::rootHubOf(std::uint32_t bus) const {
    return find("usb" + std::to_string(bus));
}

const UsbNode* UsbSnapshot::childAt(const UsbNode& hub, std::uint32_t port) const {
    return find(childName(hub.name, hub.bus, port));
}

}  // namespace quib::platform
