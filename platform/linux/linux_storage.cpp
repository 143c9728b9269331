// Opening devices by the system's paths, and the storage queries and pass-through on an open disk.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/log/debug_log.h"
#include "platform/ata_translation.h"
#include "platform/linux/linux_devices.h"
#include "platform/linux/linux_sg_io.h"
#include "platform/linux/terminal_screen.h"
#include "platform/linux/windows_names.h"

namespace quib::platform {
namespace {

constexpr std::uint32_t kDeviceTypeDisk = 7, kDeviceTypeCdrom = 2;
constexpr std::uint32_t kTracksPerCylinder = 255, kSectorsPerTrack = 63;

template <typename T>
std::optional<T> failWith(std::uint32_t error) {
    setLastError(error);
    return std::nullopt;
}

// "\\.\PHYSICALDRIVE12" -> 12 (any letter case); nothing when the path is not of that form.
std::optional<std::uint32_t> numberAfter(const std::string& lowerPath, const std::string& prefix) {
    if (lowerPath.size() <= prefix.size() || lowerPath.compare(0, prefix.size(), prefix) != 0)
        return std::nullopt;
    std::uint32_t value = 0;
    for (std::size_t i = prefix.size(); i < lowerPath.size(); ++i) {
        const char c = lowerPath[i];
        if (c < '0' || c > '9' || value > 1'000'000) return std::nullopt;
        value = value * 10 + static_cast<std::uint32_t>(c - '0');
    }
    return value;
}

}  // namespace

LinuxDevices::Opened LinuxDevices::opening(Kind kind, std::string name, std::string sysPath,
                                           std::string disk) {
    Opened opened;
    opened.kind = kind;
    opened.name = std::move(name);
    opened.sysPath = std::move(sysPath);
    opened.disk = std::move(disk);
    return opened;
}

LinuxDevices::LinuxDevices(LinuxDeviceRoots roots) : m_roots(std::move(roots)), m_sys(m_roots.sys) {}

LinuxDevices::~LinuxDevices() {
    for (auto& [handle, opened] : m_open)
        for (const int fd : {opened.fd, opened.blockFd, opened.lockFd})
            if (fd >= 0) ::close(fd);
}

std::optional<LinuxDevices::Opened> LinuxDevices::resolvePath(const std::string& path) {
    const std::string lower = names::toLower(path);
    const DiskSnapshot disks = DiskSnapshot::read(m_sys);
    auto diskOpen = [&](const BlockDisk* disk) -> std::optional<Opened> {
        if (disk == nullptr) return std::nullopt;
        return opening(disk->cdrom ? Kind::Cdrom : Kind::Disk, disk->name, disk->path);
    };
    if (const auto n = numberAfter(lower, "\\\\.\\physicaldrive")) return diskOpen(disks.disk(*n));
    if (const auto n = numberAfter(lower, "\\\\.\\cdrom")) return diskOpen(disks.cdrom(*n));

    // Volumes: "\\.\E:" or the volume name without its trailing backslash.
    for (const LetteredVolume& v : letteredVolumes(disks)) {
        std::string volumePath = names::toLower(volumeNameOf(v.letter));
        volumePath.pop_back();
        const std::string letterPath =
            std::string("\\\\.\\") + static_cast<char>(std::tolower(v.letter)) + ":";
        if (lower == letterPath || lower == volumePath) return opening(Kind::Volume, v.partition, {}, v.disk);
    }
    for (const BlockDisk& disk : disks.disks())
        if (lower == names::diskInterfacePath(disk, disks)) return diskOpen(&disk);

    const UsbSnapshot usb = UsbSnapshot::read(m_sys);
    for (const UsbController& c : usb.controllers())
        if (lower == names::controllerInterfacePath(c))
            return opening(Kind::Controller, "usb" + std::to_string(c.bus), c.path);
    for (const UsbNode& node : usb.nodes()) {
        if (node.isRootHub() && lower == names::toLower("\\\\.\\" + names::rootHubName(node)))
            return opening(Kind::Hub, node.name, node.path);
        if (!node.isRootHub() && node.isHub() &&
            lower == names::toLower("\\\\?\\" + names::externalHubName(node)))
            return opening(Kind::Hub, node.name, node.path);
        if (!node.isRootHub() && lower == names::usbInterfacePath(node, usb))
            return opening(Kind::UsbDevice, node.name, node.path);
    }
    return std::nullopt;
}

void LinuxDevices::reportNoRights(const std::string& node, const std::string& path, bool passThrough) {
    constexpr auto kFn = "LinuxDevices::open";
    if (!m_rightsReported.insert(node + (passThrough ? "#pass" : "")).second) return;
    char text[768];
    if (passThrough)
        std::snprintf(text, sizeof text,
                      "%s (%s): the kernel refused a vendor command: it sends them only for a process with "
                      "CAP_SYS_RAWIO. Run as root, or give the program the capability: "
                      "sudo setcap cap_sys_rawio+ep <path of KRV610xFWUpg>",
                      node.c_str(), path.c_str());
    else
        std::snprintf(
            text, sizeof text,
            "%s (%s): access denied. Run as root, or install the udev rule 70-quibusb.rules "
            "(packaging/udev/, installed by cmake --install into /etc/udev/rules.d), add yourself to "
            "the group \"quibusb\", log in again and replug the device",
            node.c_str(), path.c_str());
    LogError("%s:%d: %s", kFn, __LINE__, text);
    standardScreen().printLinesTo(stderr, "KRV610xFWUpg: " + std::string(text) + "\n");
}

int LinuxDevices::openNode(const BlockDisk& disk, std::uint32_t access, const std::string& path) {
    constexpr auto kFn = "LinuxDevices::open";
    const std::string node = m_roots.dev + "/" + (disk.genericNode.empty() ? disk.name : disk.genericNode);
    const int mode = (access & kAccessWrite) ? O_RDWR : O_RDONLY;
    const int fd = ::open(node.c_str(), mode | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) return fd;
    const int error = errno;
    if (error == EACCES || error == EPERM)
        reportNoRights(node, path, false);
    else
        LogError("%s:%d: open %s (%s) failed: %s", kFn, __LINE__, node.c_str(), path.c_str(),
                 std::strerror(error));
    setLastError(sgio::systemErrorOf(error));
    return -1;
}

DeviceHandle LinuxDevices::open(const std::string& path, std::uint32_t access) {
    std::optional<Opened> opened = resolvePath(path);
    if (!opened) {
        setLastError(kErrorFileNotFound);
        return kInvalidHandle;
    }
    opened->access = access;
    if ((opened->kind == Kind::Disk || opened->kind == Kind::Cdrom) && access != kAccessNone) {
        const DiskSnapshot disks = DiskSnapshot::read(m_sys);
        const BlockDisk* disk = disks.byName(opened->name);
        if (disk == nullptr) {
            setLastError(kErrorFileNotFound);
            return kInvalidHandle;
        }
        opened->fd = openNode(*disk, access, path);
        if (opened->fd < 0) return kInvalidHandle;
    }
    std::lock_guard lock(m_lock);
    const DeviceHandle handle = m_next++;
    m_open.emplace(handle, std::move(*opened));
    setLastError(kErrorSuccess);
    return handle;
}

void LinuxDevices::close(DeviceHandle handle) {
    {
        std::lock_guard lock(m_lock);
        const auto it = m_open.find(handle);
        if (it == m_open.end()) return;
        for (const int fd : {it->second.fd, it->second.blockFd, it->second.lockFd})
            if (fd >= 0) ::close(fd);
        m_open.erase(it);
    }
    rereadPendingTables();
}

std::optional<LinuxDevices::Opened> LinuxDevices::find(DeviceHandle handle, std::uint32_t& error) {
    std::lock_guard lock(m_lock);
    const auto it = m_open.find(handle);
    if (it == m_open.end()) {
        error = kErrorInvalidHandle;
        return std::nullopt;
    }
    return it->second;
}

std::optional<BlockDisk> LinuxDevices::diskOf(DeviceHandle handle) {
    std::uint32_t error = 0;
    const auto opened = find(handle, error);
    if (!opened) return failWith<BlockDisk>(error);
    if (opened->kind != Kind::Disk && opened->kind != Kind::Cdrom)
        return failWith<BlockDisk>(kErrorInvalidFunction);
    const DiskSnapshot disks = DiskSnapshot::read(m_sys);
    const BlockDisk* disk = disks.byName(opened->name);
    if (disk == nullptr || disk->path != opened->sysPath)
        return failWith<BlockDisk>(kErrorDeviceNotConnected);
    return *disk;
}

std::optional<LinuxDevices::Opened> LinuxDevices::passThroughTarget(DeviceHandle handle) {
    std::uint32_t error = 0;
    const auto opened = find(handle, error);
    if (!opened) return failWith<Opened>(error);
    if (opened->kind != Kind::Disk && opened->kind != Kind::Cdrom)
        return failWith<Opened>(kErrorInvalidFunction);
    // The pass-through control codes ask for both read and write access.
    if ((opened->access & (kAccessRead | kAccessWrite)) != (kAccessRead | kAccessWrite) || opened->fd < 0)
        return failWith<Opened>(kErrorAccessDenied);
    return opened;
}

ScsiResult LinuxDevices::sent(const Opened& target, ScsiResult result) {
    if (!result.ok && lastError() == kErrorAccessDenied) reportNoRights(target.name, "SG_IO", true);
    return result;
}

ScsiResult LinuxDevices::scsiPassThrough(DeviceHandle handle, records::ScsiPassThroughWithBuffers& record,
                                         std::uint32_t inputSize, std::uint32_t outputSize) {
    const auto target = passThroughTarget(handle);
    if (!target) return {};
    return sent(*target, sgio::passThrough(target->fd, record, inputSize, outputSize));
}

ScsiResult LinuxDevices::scsiPassThroughDirect(DeviceHandle handle, records::ScsiPassThroughDirect& record,
                                               std::span<std::uint8_t> data) {
    const auto target = passThroughTarget(handle);
    if (!target) return {};
    return sent(*target, sgio::passThroughDirect(target->fd, record, data));
}

ScsiResult LinuxDevices::ataPassThroughDirect(DeviceHandle handle, AtaRequest& request,
                                              std::span<std::uint8_t> data) {
    return ata::carryOverSat(request, data, [&](records::ScsiPassThroughDirect& record, auto bytes) {
        return scsiPassThroughDirect(handle, record, bytes);
    });
}

std::optional<StorageDeviceNumber> LinuxDevices::deviceNumber(DeviceHandle handle) {
    std::uint32_t error = 0;
    const auto opened = find(handle, error);
    if (!opened) return failWith<StorageDeviceNumber>(error);
    if (opened->kind == Kind::Volume) {
        const DiskSnapshot disks = DiskSnapshot::read(m_sys);
        const BlockDisk* disk = disks.byName(opened->disk);
        if (disk == nullptr) return failWith<StorageDeviceNumber>(kErrorDeviceNotConnected);
        for (const BlockPartition& p : disk->partitions)
            if (p.name == opened->name) return StorageDeviceNumber{kDeviceTypeDisk, disk->number, p.number};
        return failWith<StorageDeviceNumber>(kErrorDeviceNotConnected);
    }
    const auto disk = diskOf(handle);
    if (!disk) return std::nullopt;
    return StorageDeviceNumber{disk->cdrom ? kDeviceTypeCdrom : kDeviceTypeDisk, disk->number, 0};
}

std::optional<StorageDescriptor> LinuxDevices::storageDescriptor(DeviceHandle handle) {
    const auto disk = diskOf(handle);
    if (!disk) return std::nullopt;
    return StorageDescriptor{disk->busType, disk->removable, disk->vendor,
                             disk->product, disk->revision,  disk->serial};
}

std::optional<DriveGeometry> LinuxDevices::driveGeometry(DeviceHandle handle) {
    std::uint32_t error = 0;
    const auto opened = find(handle, error);
    std::optional<BlockDisk> disk;
    if (opened && opened->kind == Kind::Volume) {
        // A volume answers the geometry of the disk it lies on, as on Windows.
        const DiskSnapshot disks = DiskSnapshot::read(m_sys);
        const BlockDisk* under = disks.byName(opened->disk);
        if (under == nullptr) return failWith<DriveGeometry>(kErrorDeviceNotConnected);
        disk = *under;
    } else {
        disk = diskOf(handle);
    }
    if (!disk) return std::nullopt;
    if (disk->sectors == 0) return failWith<DriveGeometry>(kErrorNotReady);  // no medium, or its size unknown
    DriveGeometry g;
    g.bytesPerSector = disk->logicalBlockSize;
    g.diskSize = disk->sectors * 512;
    g.tracksPerCylinder = kTracksPerCylinder;
    g.sectorsPerTrack = kSectorsPerTrack;
    g.cylinders = g.diskSize / (std::uint64_t{kTracksPerCylinder} * kSectorsPerTrack * g.bytesPerSector);
    return g;
}

}  // namespace quib::platform
