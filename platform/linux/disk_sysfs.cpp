#include "platform/linux/disk_sysfs.h"

#include <algorithm>
#include <cctype>

#include "common/log/debug_log.h"

namespace quib::platform {
namespace {

constexpr auto kFn = "DiskSnapshot::read";
constexpr std::uint32_t kBusScsi = 1, kBusUsb = 7, kBusSata = 11, kBusVirtual = 14, kBusNvme = 17,
                        kBusSd = 12;

// Block devices that are not disks of their own: loops, RAM disks, device-mapper and RAID sets.
bool isDiskName(const std::string& name) {
    for (const char* prefix : {"loop", "ram", "zram", "dm-", "md", "fd", "nbd"})
        if (name.rfind(prefix, 0) == 0) return false;
    return true;
}

std::optional<std::uint32_t> cdromIndex(const std::string& name) {
    if (name.size() < 3 || name.compare(0, 2, "sr") != 0) return std::nullopt;
    std::uint32_t value = 0;
    for (std::size_t i = 2; i < name.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i])) || value > 100000) return std::nullopt;
        value = value * 10 + static_cast<std::uint32_t>(name[i] - '0');
    }
    return value;
}

std::string trimmed(std::string text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
    std::size_t first = 0;
    while (first < text.size() && std::isspace(static_cast<unsigned char>(text[first]))) ++first;
    return text.substr(first);
}

// The folder of the USB device a disk lies under: the nearest folder above it that carries a USB device
// number; empty when the disk is not behind USB.
std::string usbFolderAbove(const SysfsReader& sys, const std::string& path) {
    for (std::string folder = parentOf(path); !folder.empty(); folder = parentOf(folder))
        if (sys.exists(folder + "/busnum") && sys.exists(folder + "/idVendor")) return folder;
    return {};
}

std::uint32_t busTypeOf(const std::string& path, bool behindUsb) {
    if (behindUsb) return kBusUsb;
    if (path.find("/ata") != std::string::npos) return kBusSata;
    if (path.find("/nvme") != std::string::npos) return kBusNvme;
    if (path.find("/virtio") != std::string::npos) return kBusVirtual;
    if (path.find("/mmc") != std::string::npos) return kBusSd;
    return kBusScsi;
}

std::vector<BlockPartition> partitionsOf(const SysfsReader& sys, const BlockDisk& disk) {
    std::vector<BlockPartition> out;
    for (const std::string& entry : sys.entries(disk.path)) {
        if (entry.rfind(disk.name, 0) != 0 || entry == disk.name) continue;
        const std::string folder = disk.path + "/" + entry;
        const auto number = sys.number(folder + "/partition");
        const auto start = sys.number(folder + "/start");
        const auto size = sys.number(folder + "/size");
        if (!number || !start || !size) {
            LogWarning("%s:%d: partition %s: missing or malformed partition, start or size", kFn, __LINE__,
                       entry.c_str());
            continue;
        }
        out.push_back({entry, static_cast<std::uint32_t>(*number), *start, *size});
    }
    std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.number < b.number; });
    return out;
}

}  // namespace

std::optional<std::uint32_t> scsiDiskIndex(const std::string& name) {
    if (name.size() < 3 || name.compare(0, 2, "sd") != 0 || name.size() > 6) return std::nullopt;
    std::uint32_t index = 0;
    for (std::size_t i = 2; i < name.size(); ++i) {
        if (name[i] < 'a' || name[i] > 'z') return std::nullopt;
        index = index * 26 + static_cast<std::uint32_t>(name[i] - 'a' + 1);
    }
    return index - 1;
}

DiskSnapshot DiskSnapshot::read(const SysfsReader& sys) {
    DiskSnapshot snapshot;
    std::vector<std::string> others;
    for (const std::string& name : sys.entries("block")) {
        if (!isDiskName(name)) continue;
        const auto path = sys.resolve("block/" + name);
        if (!path) {
            LogWarning("%s:%d: block device %s: its sysfs folder does not resolve, passed over", kFn,
                       __LINE__, name.c_str());
            continue;
        }
        BlockDisk disk;
        disk.name = name;
        disk.path = *path;
        if (const auto cd = cdromIndex(name)) {
            disk.cdrom = true;
            disk.number = *cd;
        } else if (const auto sd = scsiDiskIndex(name)) {
            disk.number = *sd;  // the count of other disks is added below
        } else {
            others.push_back(name);
        }
        const std::string usbFolder = usbFolderAbove(sys, disk.path);
        if (!usbFolder.empty()) disk.usbDevice = baseName(usbFolder);
        disk.busType = busTypeOf(disk.path, !disk.usbDevice.empty());
        const std::string device = disk.path + "/device";
        disk.vendor = trimmed(sys.text(device + "/vendor").value_or(""));
        disk.product = trimmed(sys.text(device + "/model").value_or(""));
        disk.revision =
            trimmed(sys.text(device + "/rev").value_or(sys.text(device + "/firmware_rev").value_or("")));
        // Behind USB the serial is the USB device's, as Windows' USB storage driver reports it.
        disk.serial = trimmed(sys.text((usbFolder.empty() ? device : usbFolder) + "/serial").value_or(""));
        disk.removable = sys.number(disk.path + "/removable").value_or(0) != 0;
        const auto sectors = sys.number(disk.path + "/size");
        if (!sectors) LogWarning("%s:%d: disk %s: missing or malformed size", kFn, __LINE__, name.c_str());
        disk.sectors = sectors.value_or(0);
        disk.logicalBlockSize =
            static_cast<std::uint32_t>(sys.number(disk.path + "/queue/logical_block_size").value_or(512));
        if (const auto generic = sys.entries(device + "/scsi_generic"); !generic.empty())
            disk.genericNode = generic.front();
        disk.partitions = partitionsOf(sys, disk);
        snapshot.m_disks.push_back(std::move(disk));
    }
    std::sort(others.begin(), others.end());
    for (BlockDisk& disk : snapshot.m_disks) {
        if (disk.cdrom) continue;
        if (const auto at = std::find(others.begin(), others.end(), disk.name); at != others.end())
            disk.number = static_cast<std::uint32_t>(at - others.begin());
        else
            disk.number += static_cast<std::uint32_t>(others.size());
    }
    std::sort(snapshot.m_disks.begin(), snapshot.m_disks.end(), [](const BlockDisk& a, const BlockDisk& b) {
        if (a.cdrom != b.cdrom) return !a.cdrom;
        return a.number < b.number;
    });
    return snapshot;
}

const BlockDisk* DiskSnapshot::disk(std::uint32_t number) const {
    for (const BlockDisk& d : m_disks)
        if (!d.cdrom && d.number == number) return &d;
    return nullptr;
}

const BlockDisk* DiskSnapshot::cdrom(std::uint32_t number) const {
    for (const BlockDisk& d : m_disks)
        if (d.cdrom && d.number == number) return &d;
    return nullptr;
}

const BlockDisk* DiskSnapshot::byName(const std::string& name) const {
    for (const BlockDisk& d : m_disks)
        if (d.name == name) return &d;
    return nullptr;
}

std::size_t DiskSnapshot::diskCount() const {
    return static_cast<std::size_t>(
        std::count_if(m_disks.begin(), m_disks.end(), [](const auto& d) { return !d.cdrom; }));
}

}  // namespace quib::platform
