#include "bench/usb/topology_names.h"

#include <cstdio>
#include <set>

#include "bench/hex_text.h"

namespace bench {
namespace {

std::string driverKey(const char* classGuid, unsigned& counter) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s\\%04u", classGuid, counter++);
    return buf;
}

std::string usbInstance(std::uint16_t vid, std::uint16_t pid, const std::string& serial,
                        const std::string& fallback) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "USB\\VID_%04X&PID_%04X\\", vid, pid);
    return buf + toUpper(serial.empty() ? fallback : serial);
}

// Device paths are the instance ID with "\\" turned into "#", lower-cased, behind "\\\\?\\" and followed by
// the interface class GUID.
std::string interfacePathOf(const std::string& instanceId, const char* interfaceGuid) {
    std::string path = "\\\\?\\";
    for (char c : instanceId) path += c == '\\' ? '#' : c;
    return toLower(path + "#" + interfaceGuid);
}

std::string storIdPart(const std::string& text) {
    std::string out;
    for (char c : text) out += c == ' ' ? '_' : c;
    while (!out.empty() && out.back() == '_') out.pop_back();
    return toUpper(out);
}

}  // namespace

std::string locationText(int hub, std::uint32_t port) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "Port_#%04u.Hub_#%04u", port, static_cast<unsigned>(hub + 1));
    return buf;
}

TopologyNames nameTopology(const BenchDescription& d) {
    TopologyNames names;
    unsigned usbKeys = 0, diskKeys = 0, cdromKeys = 0;
    // Windows keeps instance IDs unique: a device whose serial repeats another's gets a location-based
    // instance instead (USB) or a distinguishing prefix (mass storage), which still holds the serial.
    std::set<std::string> used;
    auto unique = [&used](std::string preferred, const std::string& alternative) {
        if (!used.insert(toUpper(preferred)).second) {
            preferred = alternative;
            used.insert(toUpper(preferred));
        }
        return preferred;
    };

    for (std::size_t h = 0; h < d.controllers.size(); ++h) {
        NodeNames n;
        n.driverKey = driverKey(kUsbClassGuid, usbKeys);
        std::string hw = d.controllers[h].hardwareId;
        char suffix[48];
        std::snprintf(suffix, sizeof suffix, "\\3&11583659&0&%02X", static_cast<unsigned>(h * 8));
        n.instanceId = toUpper(hw) + suffix;
        n.interfacePath = interfacePathOf(n.instanceId, kHostControllerInterfaceGuid);
        names.controllers.push_back(n);
    }
    for (std::size_t k = 0; k < d.hubs.size(); ++k) {
        const auto& hub = d.hubs[k];
        NodeNames n;
        n.driverKey = driverKey(kUsbClassGuid, usbKeys);
        // The hub name is its device path without the prefix; the instance ID follows from it.
        std::string name = hub.name;
        const auto cut = name.rfind('#');
        std::string instance = name.substr(0, cut);
        for (char& c : instance)
            if (c == '#') c = '\\';
        n.instanceId = toUpper(instance);
        if (hub.parentHub >= 0) n.interfacePath = interfacePathOf(n.instanceId, kUsbDeviceInterfaceGuid);
        names.hubs.push_back(n);
    }
    for (std::size_t i = 0; i < d.systemDisks.size(); ++i) {
        const auto& s = d.systemDisks[i];
        StorageNames n;
        n.driverKey = driverKey(kDiskDriveClassGuid, diskKeys);
        char tail[48];
        std::snprintf(tail, sizeof tail, "\\4&2C5A3F1&0&0%05u", static_cast<unsigned>(i));
        n.instanceId = "SCSI\\DISK&VEN_" + storIdPart(s.vendor) + "&PROD_" + storIdPart(s.product) + tail;
        n.interfacePath = interfacePathOf(n.instanceId, kDiskInterfaceGuid);
        names.systemDisks.push_back(n);
    }
    for (std::size_t b = 0; b < d.bridges.size(); ++b) {
        const auto& br = d.bridges[b];
        NodeNames n;
        n.driverKey =
            br.diskDriverClass ? driverKey(kDiskDriveClassGuid, diskKeys) : driverKey(kUsbClassGuid, usbKeys);
        const std::string location = "6&1A2B3C&" + std::to_string(br.hub) + "&" + std::to_string(br.port);
        n.instanceId = unique(usbInstance(br.vid, br.pid, br.serial, location),
                              usbInstance(br.vid, br.pid, "", location));
        n.interfacePath = interfacePathOf(n.instanceId, kUsbDeviceInterfaceGuid);
        names.bridges.push_back(n);

        StorageNames s;
        s.driverKey =
            br.cdrom ? driverKey(kCdromClassGuid, cdromKeys) : driverKey(kDiskDriveClassGuid, diskKeys);
        const std::string storPrefix = std::string("USBSTOR\\") + (br.cdrom ? "CDROM" : "DISK") + "&VEN_" +
                                       storIdPart(br.inquiryVendor) + "&PROD_" +
                                       storIdPart(br.inquiryProduct) + "&REV_" +
                                       storIdPart(br.inquiryRevision) + "\\";
        s.instanceId =
            unique(storPrefix + toUpper(br.instanceSerial) + "&0",
                   storPrefix + "7&" + std::to_string(b) + "&" + toUpper(br.instanceSerial) + "&0");
        s.interfacePath = interfacePathOf(s.instanceId, br.cdrom ? kCdromInterfaceGuid : kDiskInterfaceGuid);
        names.bridgeStorage.push_back(s);
    }
    for (std::size_t i = 0; i < d.devices.size(); ++i) {
        const auto& dev = d.devices[i];
        NodeNames n;
        n.driverKey = dev.diskDriverClass ? driverKey(kDiskDriveClassGuid, diskKeys)
                                          : driverKey(kUsbClassGuid, usbKeys);
        const std::string location = "6&3D4E5F&" + std::to_string(dev.hub) + "&" + std::to_string(dev.port);
        n.instanceId = unique(usbInstance(dev.vid, dev.pid, dev.serial, location),
                              usbInstance(dev.vid, dev.pid, "", location));
        n.interfacePath = interfacePathOf(n.instanceId, kUsbDeviceInterfaceGuid);
        names.devices.push_back(n);
    }
    return names;
}

}  // namespace bench
