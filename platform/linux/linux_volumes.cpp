// Drive letters and volumes: the partitions of the disks behind USB take letters from "D:" on, in
// disk-number order and partition order; "C:" stands for the root file system.
#include <cctype>
#include <cstdio>
#include <set>

#include "platform/linux/linux_devices.h"
#include "platform/linux/windows_names.h"

namespace quib::platform {
namespace {

constexpr char kFirstLetter = 'D';

// "C:\", "c:" or "C:" -> 'C'; 0 when the text names no drive.
char letterOf(const std::string& rootPath) {
    if (rootPath.size() < 2 || rootPath[1] != ':' || rootPath.size() > 3) return 0;
    if (rootPath.size() == 3 && rootPath[2] != '\\') return 0;
    const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(rootPath[0])));
    return (c >= 'A' && c <= 'Z') ? c : 0;
}

}  // namespace

std::string volumeNameOf(char letter) {
    char name[64];
    std::snprintf(name, sizeof name, "\\\\?\\Volume{4c696e75-0000-4000-8000-0000000000%02x}\\",
                  static_cast<unsigned>(letter));
    return name;
}

std::vector<LinuxDevices::LetteredVolume> LinuxDevices::letteredVolumes() {
    return letteredVolumes(DiskSnapshot::read(m_sys));
}

std::vector<LinuxDevices::LetteredVolume> LinuxDevices::letteredVolumes(const DiskSnapshot& disks) {
    std::vector<LetteredVolume> out;
    std::vector<std::optional<char>> assigned;
    std::set<char> taken;
    {
        std::lock_guard guard(m_letterLock);
        for (const BlockDisk& disk : disks.disks()) {
            if (disk.cdrom || disk.usbDevice.empty()) continue;
            for (const BlockPartition& p : disk.partitions) {
                out.push_back({0, disk.name, p.name});
                const auto it = m_assignedLetters.find({disk.path, p.startSector});
                assigned.push_back(it != m_assignedLetters.end() && taken.insert(it->second).second
                                       ? std::optional<char>(it->second)
                                       : std::nullopt);
            }
        }
    }
    char next = kFirstLetter;
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (assigned[i]) {
            out[i].letter = *assigned[i];
            continue;
        }
        while (next <= 'Z' && taken.count(next)) ++next;
        if (next > 'Z') break;
        out[i].letter = next++;
    }
    std::erase_if(out, [](const LetteredVolume& v) { return v.letter == 0; });
    return out;
}

std::optional<std::string> LinuxDevices::volumeNameForMountPoint(const std::string& mountPoint) {
    const char letter = letterOf(mountPoint);
    for (const LetteredVolume& v : letteredVolumes()) {
        if (v.letter == letter) return volumeNameOf(letter);
    }
    setLastError(kErrorFileNotFound);
    return std::nullopt;
}

std::optional<std::vector<DiskExtent>> LinuxDevices::diskExtents(DeviceHandle volume) {
    std::uint32_t error = 0;
    const auto opened = find(volume, error);
    if (!opened || opened->kind != Kind::Volume) {
        setLastError(opened ? kErrorInvalidFunction : error);
        return std::nullopt;
    }
    const DiskSnapshot disks = DiskSnapshot::read(m_sys);
    if (const BlockDisk* disk = disks.byName(opened->disk))
        for (const BlockPartition& p : disk->partitions)
            if (p.name == opened->name)
                return std::vector<DiskExtent>{{disk->number, static_cast<std::int64_t>(p.startSector * 512),
                                                static_cast<std::int64_t>(p.sectors * 512)}};
    setLastError(kErrorDeviceNotConnected);
    return std::nullopt;
}

std::uint32_t LinuxDevices::driveType(const std::string& rootPath) {
    const char letter = letterOf(rootPath);
    if (letter == 'C') return kDriveFixed;
    const DiskSnapshot disks = DiskSnapshot::read(m_sys);
    for (const LetteredVolume& v : letteredVolumes(disks))
        if (v.letter == letter) {
            const BlockDisk* disk = disks.byName(v.disk);
            return disk != nullptr && disk->removable ? kDriveRemovable : kDriveFixed;
        }
    return kDriveNoRootDir;
}

std::uint32_t LinuxDevices::processorArchitecture() {
#if defined(__x86_64__) || defined(__aarch64__)
    return 9;
#else
    return 0;
#endif
}

std::uint32_t LinuxDevices::diskCount() {
    return static_cast<std::uint32_t>(DiskSnapshot::read(m_sys).diskCount());
}

std::vector<std::string> LinuxDevices::diskInstanceIds() {
    std::vector<std::string> out;
    const DiskSnapshot disks = DiskSnapshot::read(m_sys);
    for (const BlockDisk& disk : disks.disks())
        if (!disk.cdrom) out.push_back(names::diskInstanceId(disk, disks));
    return out;
}

}  // namespace quib::platform
