// The device installation services: interfaces, the installation set, properties by driver key, and the
// eject that safe removal asks for.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/log/debug_log.h"
#include "platform/linux/linux_devices.h"
#include "platform/linux/linux_sg_io.h"
#include "platform/linux/windows_names.h"

namespace quib::platform {
namespace {

constexpr const char* kGuidCdromClass = "{4D36E965-E325-11CE-BFC1-08002BE10318}";

std::map<std::string, std::string> controllerProperties(const UsbController& c) {
    return {{"DeviceDesc", c.description},
            {"HardwareID", c.hardwareId},
            {"Driver", names::controllerDriverKey(c)},
            {"Class", "USB"},
            {"Service", c.driver}};
}

std::map<std::string, std::string> usbProperties(const UsbNode& node) {
    std::map<std::string, std::string> p = {{"DeviceDesc", names::usbDescription(node)},
                                            {"HardwareID", names::usbHardwareId(node)},
                                            {"Driver", names::usbDriverKey(node)},
                                            {"Class", "USB"}};
    if (!node.isRootHub()) {
        char location[48];
        std::snprintf(location, sizeof location, "Port_#%04u.Hub_#%s", node.port, node.parent.c_str());
        p["LocationInformation"] = location;
    }
    if (!node.interfaceDrivers.empty()) p["Service"] = node.interfaceDrivers.front();
    return p;
}

std::map<std::string, std::string> diskProperties(const BlockDisk& disk) {
    return {{"DeviceDesc", disk.cdrom ? "CD-ROM Drive" : "Disk drive"},
            {"FriendlyName", names::diskFriendlyName(disk)},
            {"HardwareID", std::string(disk.usbDevice.empty() ? "SCSI\\" : "USBSTOR\\") +
                               (disk.cdrom ? "CdRom" : "Disk") + disk.vendor + disk.product},
            {"Driver", names::diskDriverKey(disk)},
            {"Class", disk.cdrom ? "CDROM" : "DiskDrive"},
            {"Service", disk.cdrom ? "sr" : "sd"}};
}

}  // namespace

std::vector<DeviceInterface> LinuxDevices::interfaces(const std::string& interfaceGuid) {
    std::vector<DeviceInterface> out;
    if (names::sameText(interfaceGuid, kGuidUsbHostController)) {
        const UsbSnapshot usb = UsbSnapshot::read(m_sys);
        for (const UsbController& c : usb.controllers())
            out.push_back(
                {names::controllerInterfacePath(c), names::controllerInstanceId(c), controllerProperties(c)});
    } else if (names::sameText(interfaceGuid, kGuidUsbDeviceInterface)) {
        const UsbSnapshot usb = UsbSnapshot::read(m_sys);
        for (const UsbNode& node : usb.nodes())
            if (!node.isRootHub() && node.described)
                out.push_back({names::usbInterfacePath(node, usb), names::usbInstanceId(node, usb),
                               usbProperties(node)});
    } else if (names::sameText(interfaceGuid, kGuidDiskInterface) ||
               names::sameText(interfaceGuid, kGuidCdromInterface)) {
        const bool cdrom = names::sameText(interfaceGuid, kGuidCdromInterface);
        const DiskSnapshot disks = DiskSnapshot::read(m_sys);
        for (const BlockDisk& disk : disks.disks())
            if (disk.cdrom == cdrom)
                out.push_back({names::diskInterfacePath(disk, disks), names::diskInstanceId(disk, disks),
                               diskProperties(disk)});
    }
    if (out.empty()) setLastError(kErrorNoMoreItems);
    return out;
}

std::vector<DeviceNode> LinuxDevices::allDevices() {
    std::vector<DeviceNode> out;
    const UsbSnapshot usb = UsbSnapshot::read(m_sys);
    for (const UsbController& c : usb.controllers())
        out.push_back({names::controllerInstanceId(c), kGuidUsbClass, controllerProperties(c)});
    for (const UsbNode& node : usb.nodes())
        if (node.described)
            out.push_back({names::usbInstanceId(node, usb), kGuidUsbClass, usbProperties(node)});
    const DiskSnapshot disks = DiskSnapshot::read(m_sys);
    for (const BlockDisk& disk : disks.disks())
        out.push_back({names::diskInstanceId(disk, disks), disk.cdrom ? kGuidCdromClass : kGuidDiskDriveClass,
                       diskProperties(disk)});
    return out;
}

// A registry property of the controller or USB device a driver key belongs to.
std::optional<std::string> LinuxDevices::propertyByDriverKey(const std::string& driverKeyName,
                                                             const std::string& property) {
    const UsbSnapshot usb = UsbSnapshot::read(m_sys);
    for (const UsbController& c : usb.controllers())
        if (names::sameText(driverKeyName, names::controllerDriverKey(c)))
            return controllerProperties(c).at(property);
    for (const UsbNode& node : usb.nodes())
        if (names::sameText(driverKeyName, names::usbDriverKey(node)))
            return usbProperties(node).at(property);
    setLastError(kErrorFileNotFound);
    return std::nullopt;
}

std::optional<std::string> LinuxDevices::descriptionByDriverKey(const std::string& driverKeyName) {
    return propertyByDriverKey(driverKeyName, "DeviceDesc");
}

std::optional<std::string> LinuxDevices::hardwareIdByDriverKey(const std::string& driverKeyName) {
    return propertyByDriverKey(driverKeyName, "HardwareID");
}

bool LinuxDevices::ejectUsbDevice(const UsbNode& node, const DiskSnapshot& disks) {
    constexpr auto kFn = "LinuxDevices::requestEject";
    // As a desktop's "power off" does: flush each disk behind the device, delete its SCSI device, then
    // remove the USB device from the bus.
    for (const BlockDisk& disk : disks.disks()) {
        if (disk.usbDevice != node.name) continue;
        const std::string blockNode = m_roots.dev + "/" + disk.name;
        if (const int fd = ::open(blockNode.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC); fd >= 0) {
            ::fsync(fd);
            ::ioctl(fd, BLKFLSBUF, 0);
            ::close(fd);
        }
        if (!m_sys.write(disk.path + "/device/delete", "1")) {
            const int error = errno;
            LogError("%s:%d: %s: deleting the SCSI device failed: %s", kFn, __LINE__, disk.name.c_str(),
                     std::strerror(error));
            if (error == EACCES) reportNoRights(m_sys.full(disk.path + "/device/delete"), disk.name, false);
            setLastError(sgio::systemErrorOf(error));
            return false;
        }
    }
    if (!m_sys.write(node.path + "/remove", "1")) {
        const int error = errno;
        LogError("%s:%d: %s: removing the USB device failed: %s", kFn, __LINE__, node.name.c_str(),
                 std::strerror(error));
        if (error == EACCES) reportNoRights(m_sys.full(node.path + "/remove"), node.name, false);
        setLastError(sgio::systemErrorOf(error));
        return false;
    }
    LogMessage("%s:%d: %s removed from the bus", kFn, __LINE__, node.name.c_str());
    return true;
}

bool LinuxDevices::requestEject(const std::string& instanceId) {
    const UsbSnapshot usb = UsbSnapshot::read(m_sys);
    const DiskSnapshot disks = DiskSnapshot::read(m_sys);
    for (const UsbNode& node : usb.nodes())
        if (!node.isRootHub() && names::sameText(instanceId, names::usbInstanceId(node, usb)))
            return ejectUsbDevice(node, disks);
    for (const BlockDisk& disk : disks.disks()) {
        if (!names::sameText(instanceId, names::diskInstanceId(disk, disks))) continue;
        const UsbNode* node = usb.find(disk.usbDevice);
        if (node == nullptr) break;  // only a disk behind USB can be taken off its bus
        return ejectUsbDevice(*node, disks);
    }
    setLastError(kErrorFileNotFound);
    return false;
}

}  // namespace quib::platform
