// The Windows-style names the system knows devices by, formed from what sysfs says of them. They are
// synthesized in the textual form the system expects (see docs/linux.md), so that discovery's serial
// matching and safe removal's instance matching work as they do on Windows.
#pragma once

#include <string>

#include "platform/linux/disk_sysfs.h"
#include "platform/linux/usb_sysfs.h"

namespace quib::platform::names {

// Host controllers: one per USB bus (an xHCI controller's two buses are two controllers here).
std::string controllerInterfacePath(const UsbController& controller);
std::string controllerInstanceId(const UsbController& controller);
std::string controllerDriverKey(const UsbController& controller);

// Hubs: a root hub's name is opened with "\\.\" before it, an external hub's with "\\?\".
std::string rootHubName(const UsbNode& rootHub);
std::string externalHubName(const UsbNode& hub);

// USB devices (and hubs) by their sysfs name.
std::string usbDriverKey(const UsbNode& node);
std::string usbInstanceId(const UsbNode& node, const UsbSnapshot& usb);
std::string usbInterfacePath(const UsbNode& node, const UsbSnapshot& usb);
std::string usbHardwareId(const UsbNode& node);
std::string usbDescription(const UsbNode& node);

// Disks and CD-ROMs.
std::string diskInstanceId(const BlockDisk& disk, const DiskSnapshot& disks);
std::string diskInterfacePath(const BlockDisk& disk, const DiskSnapshot& disks);
std::string diskDriverKey(const BlockDisk& disk);
std::string diskFriendlyName(const BlockDisk& disk);

std::string toLower(std::string text);
std::string toUpper(std::string text);
bool sameText(const std::string& a, const std::string& b);  // without regard to case

}  // namespace quib::platform::names
