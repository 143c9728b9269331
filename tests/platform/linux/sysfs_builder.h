// Builds a sysfs tree in a test folder, laid out as the kernel lays it out: device folders under
// devices/, and the links bus/usb/devices/*, block/* and class/scsi_generic/* pointing into them.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

class SysfsBuilder {
  public:
    explicit SysfsBuilder(std::string root) : m_root(std::move(root)) {}
    const std::string& root() const { return m_root; }

    void attribute(const std::string& relative, const std::string& text) {
        const std::filesystem::path file = std::filesystem::path(m_root) / relative;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << text;
    }
    void link(const std::string& relative, const std::string& target) {
        const std::filesystem::path file = std::filesystem::path(m_root) / relative;
        std::filesystem::create_directories(file.parent_path());
        std::filesystem::create_symlink(target, file);
    }
    void remove(const std::string& relative) {
        std::filesystem::remove_all(std::filesystem::path(m_root) / relative);
    }

    // A PCI xHCI controller with its USB 2 bus; returns the bus's root hub folder.
    std::string controller(const std::string& slot, int bus, int ports) {
        const std::string pci = "devices/pci0000:00/" + slot;
        attribute(pci + "/vendor", "0x1b36\n");
        attribute(pci + "/device", "0x000d\n");
        attribute(pci + "/subsystem_vendor", "0x1af4\n");
        attribute(pci + "/subsystem_device", "0x1100\n");
        attribute(pci + "/revision", "0x01\n");
        link(pci + "/driver", "../../../bus/pci/drivers/xhci_hcd");
        const std::string name = "usb" + std::to_string(bus);
        const std::string hub = pci + "/" + name;
        usbAttributes(hub, bus, 1, 0x1d6b, 0x0002, 0x0601, 9, "480", ports, "");
        link("bus/usb/devices/" + name, "../../../" + hub);
        return hub;
    }
    // A USB device below `parentFolder`; returns its folder.
    std::string usbDevice(const std::string& parentFolder, const std::string& name, int bus, int address,
                          unsigned vid, unsigned pid, unsigned release, int deviceClass,
                          const std::string& speed, int ports, const std::string& serial) {
        const std::string folder = parentFolder + "/" + name;
        usbAttributes(folder, bus, address, vid, pid, release, deviceClass, speed, ports, serial);
        link("bus/usb/devices/" + name, "../../../" + folder);
        return folder;
    }
    // A mass-storage interface bound to usb-storage with one SCSI disk; returns the disk's block folder.
    std::string usbDisk(const std::string& deviceFolder, const std::string& disk, const std::string& generic,
                        int host, const std::string& vendor, const std::string& model,
                        std::uint64_t sectors) {
        const std::string name = std::filesystem::path(deviceFolder).filename().string();
        const std::string interface = deviceFolder + "/" + name + ":1.0";
        attribute(interface + "/bInterfaceClass", "08\n");
        link(interface + "/driver", "../../../../../../bus/usb/drivers/usb-storage");
        const std::string scsi = interface + "/host" + std::to_string(host) + "/target" +
                                 std::to_string(host) + ":0:0/" + std::to_string(host) + ":0:0:0";
        return scsiDisk(scsi, disk, generic, vendor, model, sectors);
    }
    // A SCSI device folder with its disk (and SCSI generic node); returns the block folder.
    std::string scsiDisk(const std::string& scsi, const std::string& disk, const std::string& generic,
                         const std::string& vendor, const std::string& model, std::uint64_t sectors) {
        attribute(scsi + "/vendor", vendor + "\n");
        attribute(scsi + "/model", model + "\n");
        attribute(scsi + "/rev", "0100\n");
        attribute(scsi + "/type", "0\n");
        const std::string block = scsi + "/block/" + disk;
        attribute(block + "/size", std::to_string(sectors) + "\n");
        attribute(block + "/removable", "0\n");
        attribute(block + "/queue/logical_block_size", "512\n");
        link(block + "/device", "../..");
        link("block/" + disk, "../" + block);
        if (!generic.empty()) {
            attribute(scsi + "/scsi_generic/" + generic + "/dev", "21:0\n");
            link("class/scsi_generic/" + generic, "../../" + scsi + "/scsi_generic/" + generic);
        }
        return block;
    }
    void partition(const std::string& blockFolder, const std::string& name, int number, std::uint64_t start,
                   std::uint64_t sectors) {
        attribute(blockFolder + "/" + name + "/partition", std::to_string(number) + "\n");
        attribute(blockFolder + "/" + name + "/start", std::to_string(start) + "\n");
        attribute(blockFolder + "/" + name + "/size", std::to_string(sectors) + "\n");
    }

  private:
    void usbAttributes(const std::string& folder, int bus, int address, unsigned vid, unsigned pid,
                       unsigned release, int deviceClass, const std::string& speed, int ports,
                       const std::string& serial) {
        char hex[8];
        attribute(folder + "/busnum", std::to_string(bus) + "\n");
        attribute(folder + "/devnum", std::to_string(address) + "\n");
        std::snprintf(hex, sizeof hex, "%04x\n", vid);
        attribute(folder + "/idVendor", hex);
        std::snprintf(hex, sizeof hex, "%04x\n", pid);
        attribute(folder + "/idProduct", hex);
        std::snprintf(hex, sizeof hex, "%04x\n", release);
        attribute(folder + "/bcdDevice", hex);
        std::snprintf(hex, sizeof hex, "%02x\n", deviceClass);
        attribute(folder + "/bDeviceClass", hex);
        attribute(folder + "/speed", speed + "\n");
        attribute(folder + "/version", " 2.00\n");
        attribute(folder + "/maxchild", std::to_string(ports) + "\n");
        if (!serial.empty()) attribute(folder + "/serial", serial + "\n");
    }

    std::string m_root;
};
