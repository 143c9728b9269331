#include "platform/linux/windows_names.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace quib::platform::names {
namespace {

constexpr const char* kHubInterface = "{f18a0e88-c30c-11d0-8815-00a0c906bed8}";
constexpr const char* kUsbClassKey = "{36FC9E60-C465-11CF-8056-444553540000}\\";
constexpr const char* kDiskClassKey = "{4D36E967-E325-11CE-BFC1-08002BE10318}\\";
constexpr const char* kCdromClassKey = "{4D36E965-E325-11CE-BFC1-08002BE10318}\\";

std::string hex4(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", value & 0xFFFF);
    return text;
}

// Instance-ID texts keep printable characters other than spaces, commas and backslashes.
std::string idText(const std::string& text) {
    std::string out;
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        out += (u <= 0x20 || u >= 0x7F || c == ',' || c == '\\' || c == '#') ? '_' : c;
    }
    return out;
}

// The instance part of a USB device: its serial number when it has one that no other device of the same
// make carries, else where it sits.
std::string usbInstancePart(const UsbNode& node, const UsbSnapshot& usb) {
    if (node.serial.empty()) return node.name;
    for (const UsbNode& other : usb.nodes())
        if (&other != &node && other.serial == node.serial &&
            other.descriptor.idVendor == node.descriptor.idVendor &&
            other.descriptor.idProduct == node.descriptor.idProduct)
            return node.name + "&" + idText(node.serial);
    return idText(node.serial);
}

bool isSuperSpeedBus(const UsbNode& rootHub) {
    return rootHub.speed >= 3;
}

std::string diskInstancePart(const BlockDisk& disk, const DiskSnapshot& disks) {
    if (disk.usbDevice.empty()) return disk.name;
    const std::string serial = disk.serial.empty() ? disk.usbDevice : idText(disk.serial);
    for (const BlockDisk& other : disks.disks())
        if (&other != &disk && !other.usbDevice.empty() && other.serial == disk.serial &&
            other.name < disk.name)
            return "7&" + disk.name + "&" + serial + "&0";
    return serial + "&0";
}

std::string diskHardwarePart(const BlockDisk& disk) {
    std::string text = std::string(disk.cdrom ? "CDROM" : "DISK") + "&VEN_" + idText(disk.vendor) + "&PROD_" +
                       idText(disk.product);
    if (!disk.usbDevice.empty()) text += "&REV_" + idText(disk.revision);
    return text;
}

}  // namespace

std::string toLower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string toUpper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

bool sameText(const std::string& a, const std::string& b) {
    return toLower(a) == toLower(b);
}

std::string controllerInterfacePath(const UsbController& c) {
    return toLower("\\\\?\\" + controllerInstanceId(c)) + "#" + "{3abf6f2d-71c4-462a-8a92-1e6861e6af27}";
}

std::string controllerInstanceId(const UsbController& c) {
    std::string hardware = c.hardwareId;
    std::replace(hardware.begin(), hardware.end(), '\\', '#');
    return hardware + "#" + idText(c.pciSlot) + "&" + std::to_string(c.bus);
}

std::string controllerDriverKey(const UsbController& c) {
    return std::string(kUsbClassKey) + "hcd" + std::to_string(c.bus);
}

std::string rootHubName(const UsbNode& rootHub) {
    return std::string("USB#") + (isSuperSpeedBus(rootHub) ? "ROOT_HUB30" : "ROOT_HUB20") + "#" +
           rootHub.name + "#" + kHubInterface;
}

std::string externalHubName(const UsbNode& hub) {
    return "USB#VID_" + hex4(hub.descriptor.idVendor) + "&PID_" + hex4(hub.descriptor.idProduct) + "#" +
           hub.name + "#" + kHubInterface;
}

std::string usbDriverKey(const UsbNode& node) {
    return kUsbClassKey + node.name;
}

std::string usbInstanceId(const UsbNode& node, const UsbSnapshot& usb) {
    if (node.isRootHub())
        return std::string("USB\\") + (isSuperSpeedBus(node) ? "ROOT_HUB30" : "ROOT_HUB20") + "\\" +
               node.name;
    return toUpper("USB\\VID_" + hex4(node.descriptor.idVendor) + "&PID_" + hex4(node.descriptor.idProduct) +
                   "\\" + usbInstancePart(node, usb));
}

std::string usbInterfacePath(const UsbNode& node, const UsbSnapshot& usb) {
    std::string id = usbInstanceId(node, usb);
    std::replace(id.begin(), id.end(), '\\', '#');
    return toLower("\\\\?\\" + id) + "#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
}

std::string usbHardwareId(const UsbNode& node) {
    if (node.isRootHub())
        return std::string("USB\\") + (isSuperSpeedBus(node) ? "ROOT_HUB30" : "ROOT_HUB20") + "&VID" +
               hex4(node.descriptor.idVendor) + "&PID" + hex4(node.descriptor.idProduct);
    return "USB\\VID_" + hex4(node.descriptor.idVendor) + "&PID_" + hex4(node.descriptor.idProduct) +
           "&REV_" + hex4(node.descriptor.bcdDevice);
}

std::string usbDescription(const UsbNode& node) {
    if (node.isRootHub()) return isSuperSpeedBus(node) ? "USB Root Hub (USB 3.0)" : "USB Root Hub";
    if (node.isHub()) return node.speed >= 3 ? "Generic SuperSpeed USB Hub" : "Generic USB Hub";
    if (node.interfaceCount > 1) return "USB Composite Device";
    const std::string driver = node.interfaceDrivers.empty() ? "" : node.interfaceDrivers.front();
    if (driver == "usb-storage") return "USB Mass Storage Device";
    if (driver == "uas") return "USB Attached SCSI (UAS) Mass Storage Device";
    return node.product.empty() ? "USB Device" : node.product;
}

std::string diskInstanceId(const BlockDisk& disk, const DiskSnapshot& disks) {
    // Windows keeps device instance IDs in upper case.
    return toUpper(std::string(disk.usbDevice.empty() ? "SCSI\\" : "USBSTOR\\") + diskHardwarePart(disk) +
                   "\\" + diskInstancePart(disk, disks));
}

std::string diskInterfacePath(const BlockDisk& disk, const DiskSnapshot& disks) {
    std::string id = diskInstanceId(disk, disks);
    std::replace(id.begin(), id.end(), '\\', '#');
    return toLower("\\\\?\\" + id) + (disk.cdrom ? "#{53f56308-b6bf-11d0-94f2-00a0c91efb8b}"
                                                 : "#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}");
}

std::string diskDriverKey(const BlockDisk& disk) {
    return (disk.cdrom ? kCdromClassKey : kDiskClassKey) + disk.name;
}

std::string diskFriendlyName(const BlockDisk& disk) {
    std::string name = disk.vendor.empty() ? disk.product : disk.vendor + " " + disk.product;
    return disk.usbDevice.empty() ? name : name + " USB Device";
}

}  // namespace quib::platform::names
