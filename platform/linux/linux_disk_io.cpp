// Disk and volume contents, volume locks and partition facts on Linux: the block nodes under the device
// root, the kernel's partition table re-read (BLKRRPART), and libblkid for what the tables and the file
// systems say of themselves.
#include <blkid/blkid.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>

#include "common/log/debug_log.h"
#include "platform/linux/linux_devices.h"
#include "platform/linux/linux_sg_io.h"
#include "platform/linux/linux_spawn.h"

namespace quib::platform {
namespace {

constexpr auto kFn = "LinuxDevices";
// Writes below this offset of a whole disk may change its partition table.
constexpr std::uint64_t kTableArea = 1048576;

template <typename T>
std::optional<T> failWith(std::uint32_t error) {
    setLastError(error);
    return std::nullopt;
}
bool fail(std::uint32_t error) {
    setLastError(error);
    return false;
}
int failNode(std::uint32_t error) {  // no node to transfer on
    setLastError(error);
    return -1;
}
bool failErrno() {
    return fail(sgio::systemErrorOf(errno));
}

struct ProbeFree {
    void operator()(blkid_probe p) const { blkid_free_probe(p); }
};
using Probe = std::unique_ptr<std::remove_pointer_t<blkid_probe>, ProbeFree>;

std::string probeValue(blkid_probe probe, const char* name) {
    const char* value = nullptr;
    std::size_t length = 0;
    if (blkid_probe_lookup_value(probe, name, &value, &length) != 0 || value == nullptr) return {};
    return std::string(value, strnlen(value, length));
}

// The partition table of a disk node: its scheme, and one partition's facts when `number` is given.
struct TableFacts {
    PartitionStyle style = PartitionStyle::Raw;
    int partitions = 0;
    std::uint8_t mbrType = 0;
    bool boot = false;
    std::array<std::uint8_t, 16> gptType{};
};

// "ebd0a0a2-b9e5-4433-87c0-68b6b72699c7" as GUIDs are stored on disk (the first three fields little-endian).
std::array<std::uint8_t, 16> guidBytes(const std::string& text) {
    std::array<std::uint8_t, 16> out{};
    std::string hex;
    for (const char c : text)
        if (c != '-') hex += c;
    if (hex.size() != 32) return out;
    std::array<std::uint8_t, 16> raw{};
    for (std::size_t i = 0; i < 16; ++i)
        raw[i] = static_cast<std::uint8_t>(std::stoul(hex.substr(2 * i, 2), nullptr, 16));
    static constexpr int kOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    for (std::size_t i = 0; i < 16; ++i) out[i] = raw[static_cast<std::size_t>(kOrder[i])];
    return out;
}

std::optional<TableFacts> tableOf(const std::string& diskNode, std::uint32_t number) {
    Probe probe(blkid_new_probe_from_filename(diskNode.c_str()));
    if (!probe) return failWith<TableFacts>(sgio::systemErrorOf(errno ? errno : ENOENT));
    blkid_probe_enable_superblocks(probe.get(), 0);
    blkid_probe_enable_partitions(probe.get(), 1);
    TableFacts facts;
    blkid_partlist list = blkid_probe_get_partitions(probe.get());
    blkid_parttable table = list ? blkid_partlist_get_table(list) : nullptr;
    if (table == nullptr) return facts;
    const std::string type = blkid_parttable_get_type(table);
    facts.style = type == "gpt"   ? PartitionStyle::Gpt
                  : type == "dos" ? PartitionStyle::Mbr
                                  : PartitionStyle::Raw;
    facts.partitions = blkid_partlist_numof_partitions(list);
    if (number > 0) {
        if (blkid_partition part = blkid_partlist_get_partition_by_partno(list, static_cast<int>(number))) {
            facts.mbrType = static_cast<std::uint8_t>(blkid_partition_get_type(part));
            facts.boot = (blkid_partition_get_flags(part) & 0x80) != 0;
            if (const char* guid = blkid_partition_get_type_string(part);
                guid && facts.style == PartitionStyle::Gpt)
                facts.gptType = guidBytes(guid);
        }
    }
    return facts;
}

}  // namespace

std::vector<std::string> mountPointsOf(const std::string& node) {
    struct stat st {};
    if (::stat(node.c_str(), &st) != 0 || !S_ISBLK(st.st_mode)) return {};
    const std::string dev = std::to_string(major(st.st_rdev)) + ":" + std::to_string(minor(st.st_rdev));
    std::ifstream in("/proc/self/mountinfo");
    std::vector<std::string> out;
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string id, parent, majorMinor, root, point;
        fields >> id >> parent >> majorMinor >> root >> point;
        if (majorMinor == dev) out.push_back(point);
    }
    return out;
}

int LinuxDevices::blockNode(DeviceHandle handle, Opened& opened) {
    if (opened.blockFd >= 0) return opened.blockFd;
    if (opened.kind != Kind::Disk && opened.kind != Kind::Volume) {
        setLastError(kErrorInvalidFunction);
        return -1;
    }
    const std::string node = m_roots.dev + "/" + opened.name;
    const int mode = (opened.access & kAccessWrite) ? O_RDWR : O_RDONLY;
    const int fd = ::open(node.c_str(), mode | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == EACCES || error == EPERM) reportNoRights(node, node, false);
        setLastError(sgio::systemErrorOf(error));
        return -1;
    }
    std::lock_guard lock(m_lock);
    const auto it = m_open.find(handle);
    if (it == m_open.end()) {
        ::close(fd);
        setLastError(kErrorInvalidHandle);
        return -1;
    }
    it->second.blockFd = fd;
    opened.blockFd = fd;
    return fd;
}

std::optional<std::pair<BlockDisk, BlockPartition>> LinuxDevices::partitionOf(const std::string& diskName,
                                                                              const std::string& partName) {
    const DiskSnapshot disks = DiskSnapshot::read(m_sys);
    if (const BlockDisk* disk = disks.byName(diskName))
        for (const BlockPartition& p : disk->partitions)
            if (p.name == partName) return std::make_pair(*disk, p);
    return failWith<std::pair<BlockDisk, BlockPartition>>(kErrorDeviceNotConnected);
}

namespace {
// A transfer's size and place must be whole logical blocks, as for an unbuffered handle on Windows.
bool aligned(std::uint64_t offset, std::size_t size, std::uint32_t block) {
    return block != 0 && offset % block == 0 && size % block == 0;
}
}  // namespace

int LinuxDevices::transferNode(DeviceHandle handle, std::uint64_t offset, std::size_t size, bool write) {
    std::uint32_t error = 0;
    auto opened = find(handle, error);
    if (!opened) return failNode(error);
    if (write && !(opened->access & kAccessWrite)) return failNode(kErrorAccessDenied);
    const DiskSnapshot disks = DiskSnapshot::read(m_sys);
    const BlockDisk* disk = disks.byName(opened->kind == Kind::Volume ? opened->disk : opened->name);
    if (disk == nullptr) return failNode(kErrorDeviceNotConnected);
    if (!aligned(offset, size, disk->logicalBlockSize)) return failNode(kErrorInvalidParameter);
    return blockNode(handle, *opened);
}

std::optional<std::uint32_t> LinuxDevices::readAt(DeviceHandle handle, std::uint64_t offset,
                                                  std::span<std::uint8_t> data) {
    const int fd = transferNode(handle, offset, data.size(), false);
    if (fd < 0) return std::nullopt;
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n =
            ::pread(fd, data.data() + done, data.size() - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return failWith<std::uint32_t>(sgio::systemErrorOf(errno));
        if (n == 0) break;  // the end of the disk or volume
        done += static_cast<std::size_t>(n);
    }
    setLastError(kErrorSuccess);
    return static_cast<std::uint32_t>(done);
}

std::optional<std::uint32_t> LinuxDevices::writeAt(DeviceHandle handle, std::uint64_t offset,
                                                   std::span<const std::uint8_t> data) {
    const int fd = transferNode(handle, offset, data.size(), true);
    if (fd < 0) return std::nullopt;
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n =
            ::pwrite(fd, data.data() + done, data.size() - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return failWith<std::uint32_t>(sgio::systemErrorOf(errno));
        if (n == 0) return failWith<std::uint32_t>(kErrorSectorNotFound);
        done += static_cast<std::size_t>(n);
    }
    // Written through, as an unbuffered handle writes.
    if (::fdatasync(fd) != 0) return failWith<std::uint32_t>(sgio::systemErrorOf(errno));
    std::uint32_t ignored = 0;
    if (const auto opened = find(handle, ignored);
        opened && opened->kind == Kind::Disk && offset < kTableArea)
        tableWritten(opened->name);
    setLastError(kErrorSuccess);
    return static_cast<std::uint32_t>(done);
}

void LinuxDevices::tableWritten(const std::string& diskName) {
    {
        std::lock_guard guard(m_letterLock);
        m_tablesToReread.insert(diskName);
    }
    rereadPendingTables();
}

void LinuxDevices::rereadPendingTables() {
    std::lock_guard guard(m_letterLock);
    for (auto it = m_tablesToReread.begin(); it != m_tablesToReread.end();) {
        const int fd = ::open((m_roots.dev + "/" + *it).c_str(), O_RDONLY | O_CLOEXEC);
        const int result = fd < 0 ? -1 : ::ioctl(fd, BLKRRPART);
        const int error = errno;
        if (fd >= 0) ::close(fd);
        // Busy while a partition is held (locked or mounted): tried again when a handle closes.
        if (result != 0 && fd >= 0 && error == EBUSY) {
            ++it;
            continue;
        }
        it = m_tablesToReread.erase(it);
    }
}

bool LinuxDevices::lockVolume(DeviceHandle volume) {
    std::uint32_t error = 0;
    const auto opened = find(volume, error);
    if (!opened) return fail(error);
    if (opened->kind != Kind::Volume) return fail(kErrorInvalidFunction);
    if (opened->lockFd >= 0) return fail(kErrorAccessDenied);
    const std::string node = m_roots.dev + "/" + opened->name;
    const int fd = ::open(node.c_str(), O_RDONLY | O_EXCL | O_CLOEXEC);
    if (fd < 0) {
        const int e = errno;
        LogError("%s:%d: exclusive open of %s failed (mounted or held elsewhere?): %s", kFn, __LINE__,
                 node.c_str(), std::strerror(e));
        return fail(e == EBUSY ? kErrorAccessDenied : sgio::systemErrorOf(e));
    }
    std::lock_guard lock(m_lock);
    m_open[volume].lockFd = fd;
    setLastError(kErrorSuccess);
    return true;
}

bool LinuxDevices::unlockVolume(DeviceHandle volume) {
    std::unique_lock lock(m_lock);
    const auto it = m_open.find(volume);
    if (it == m_open.end()) return fail(kErrorInvalidHandle);
    if (it->second.lockFd < 0) return fail(kErrorNotLocked);
    ::close(it->second.lockFd);
    it->second.lockFd = -1;
    lock.unlock();
    rereadPendingTables();
    setLastError(kErrorSuccess);
    return true;
}

bool LinuxDevices::dismountVolume(DeviceHandle volume) {
    std::uint32_t error = 0;
    const auto opened = find(volume, error);
    if (!opened) return fail(error);
    if (opened->kind != Kind::Volume) return fail(kErrorInvalidFunction);
    for (const std::string& point : mountPointsOf(m_roots.dev + "/" + opened->name))
        if (::umount2(point.c_str(), 0) != 0) {
            LogError("%s:%d: unmounting %s failed: %s", kFn, __LINE__, point.c_str(), std::strerror(errno));
            return failErrno();
        }
    setLastError(kErrorSuccess);
    return true;
}

bool LinuxDevices::updateProperties(DeviceHandle diskHandle) {
    std::uint32_t error = 0;
    auto opened = find(diskHandle, error);
    if (!opened) return fail(error);
    if (opened->kind != Kind::Disk) return fail(kErrorInvalidFunction);
    const int fd = blockNode(diskHandle, *opened);
    if (fd < 0) return false;
    if (::ioctl(fd, BLKRRPART) != 0) return failErrno();
    setLastError(kErrorSuccess);
    return true;
}

std::optional<PartitionInfo> LinuxDevices::partitionInfo(DeviceHandle handle) {
    std::uint32_t error = 0;
    const auto opened = find(handle, error);
    if (!opened) return failWith<PartitionInfo>(error);
    PartitionInfo info;
    if (opened->kind == Kind::Volume) {
        const auto found = partitionOf(opened->disk, opened->name);
        if (!found) return std::nullopt;
        const auto& [disk, part] = *found;
        const auto table = tableOf(m_roots.dev + "/" + disk.name, part.number);
        if (!table) return std::nullopt;
        info.style = table->style;
        info.startingOffset = static_cast<std::int64_t>(part.startSector * 512);
        info.partitionLength = static_cast<std::int64_t>(part.sectors * 512);
        info.partitionNumber = part.number;
        info.mbrType = table->mbrType;
        info.bootIndicator = table->boot;
        info.gptType = table->gptType;
        info.hiddenSectors = static_cast<std::uint32_t>(part.startSector * 512 / disk.logicalBlockSize);
    } else if (opened->kind == Kind::Disk) {
        const DiskSnapshot disks = DiskSnapshot::read(m_sys);
        const BlockDisk* disk = disks.byName(opened->name);
        if (disk == nullptr) return failWith<PartitionInfo>(kErrorDeviceNotConnected);
        const auto table = tableOf(m_roots.dev + "/" + disk->name, 0);
        if (!table) return std::nullopt;
        info.style = table->style;
        info.partitionLength = static_cast<std::int64_t>(disk->sectors * 512);
    } else {
        return failWith<PartitionInfo>(kErrorInvalidFunction);
    }
    setLastError(kErrorSuccess);
    return info;
}

bool LinuxDevices::setPartitionType(DeviceHandle volume, std::uint8_t type) {
    std::uint32_t error = 0;
    const auto opened = find(volume, error);
    if (!opened) return fail(error);
    if (opened->kind != Kind::Volume) return fail(kErrorInvalidFunction);
    const auto found = partitionOf(opened->disk, opened->name);
    if (!found) return false;
    const auto& [disk, part] = *found;
    const auto table = tableOf(m_roots.dev + "/" + disk.name, part.number);
    if (!table) return false;
    if (table->style != PartitionStyle::Mbr || part.number < 1 || part.number > 4)
        return fail(kErrorInvalidFunction);
    // The entry in the MBR itself, as the system's partition manager writes it.
    const std::string node = m_roots.dev + "/" + disk.name;
    const int fd = ::open(node.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return failErrno();
    std::vector<std::uint8_t> mbr(disk.logicalBlockSize);
    bool ok = ::pread(fd, mbr.data(), mbr.size(), 0) == static_cast<ssize_t>(mbr.size()) &&
              mbr[510] == 0x55 && mbr[511] == 0xAA;
    if (ok) {
        mbr[446 + 16 * (part.number - 1) + 4] = type;
        ok = ::pwrite(fd, mbr.data(), mbr.size(), 0) == static_cast<ssize_t>(mbr.size()) &&
             ::fdatasync(fd) == 0;
    }
    const int e = errno;
    ::close(fd);
    if (!ok) return fail(e ? sgio::systemErrorOf(e) : kErrorInvalidFunction);
    setLastError(kErrorSuccess);
    return true;
}

std::optional<std::uint32_t> LinuxDevices::partitionCount(DeviceHandle diskHandle) {
    std::uint32_t error = 0;
    const auto opened = find(diskHandle, error);
    if (!opened) return failWith<std::uint32_t>(error);
    if (opened->kind != Kind::Disk) return failWith<std::uint32_t>(kErrorInvalidFunction);
    const auto table = tableOf(m_roots.dev + "/" + opened->name, 0);
    if (!table) return std::nullopt;
    setLastError(kErrorSuccess);
    switch (table->style) {
        case PartitionStyle::Mbr:
            return static_cast<std::uint32_t>(std::max(table->partitions, 4));  // as Windows lists an MBR
        case PartitionStyle::Gpt:
            return static_cast<std::uint32_t>(table->partitions);
        case PartitionStyle::Raw:
            break;
    }
    return 0u;
}

std::optional<LinuxDevices::LetteredVolume> LinuxDevices::volumeOfRoot(const std::string& rootPath) {
    if (rootPath.size() >= 2 && rootPath[1] == ':')
        for (const LetteredVolume& v : letteredVolumes())
            if (v.letter == std::toupper(static_cast<unsigned char>(rootPath[0]))) return v;
    return failWith<LetteredVolume>(kErrorPathNotFound);
}

std::optional<Volumes::Information> LinuxDevices::volumeInformation(const std::string& rootPath) {
    const auto volume = volumeOfRoot(rootPath);
    if (!volume) return std::nullopt;
    const std::string node = m_roots.dev + "/" + volume->partition;
    Probe probe(blkid_new_probe_from_filename(node.c_str()));
    if (!probe) return failWith<Information>(errno == EACCES ? kErrorAccessDenied : kErrorNotReady);
    blkid_probe_enable_superblocks(probe.get(), 1);
    blkid_probe_set_superblocks_flags(
        probe.get(), BLKID_SUBLKS_TYPE | BLKID_SUBLKS_LABEL | BLKID_SUBLKS_UUID | BLKID_SUBLKS_VERSION);
    if (blkid_do_safeprobe(probe.get()) != 0) return failWith<Information>(kErrorUnrecognizedVolume);
    const std::string type = probeValue(probe.get(), "TYPE");
    Information info;
    if (type == "vfat")
        info.fileSystem = probeValue(probe.get(), "VERSION") == "FAT32" ? "FAT32" : "FAT";
    else if (type == "exfat")
        info.fileSystem = "exFAT";
    else if (type == "ntfs")
        info.fileSystem = "NTFS";
    else
        return failWith<Information>(kErrorUnrecognizedVolume);
    info.label = probeValue(probe.get(), "LABEL");
    // "1A2B-3C4D" (FAT, exFAT) or sixteen hex digits (NTFS, whose low half Windows shows).
    std::string hex;
    for (const char c : probeValue(probe.get(), "UUID"))
        if (std::isxdigit(static_cast<unsigned char>(c))) hex += c;
    if (!hex.empty())
        info.serial = static_cast<std::uint32_t>(
            std::stoull(hex.substr(hex.size() > 8 ? hex.size() - 8 : 0), nullptr, 16));
    setLastError(kErrorSuccess);
    return info;
}

std::optional<std::uint64_t> LinuxDevices::freeBytes(const std::string& rootPath) {
    std::string point;
    if (rootPath.size() >= 2 && std::toupper(static_cast<unsigned char>(rootPath[0])) == 'C' &&
        rootPath[1] == ':') {
        point = "/";
    } else {
        const auto volume = volumeOfRoot(rootPath);
        if (!volume) return std::nullopt;
        const auto points = mountPointsOf(m_roots.dev + "/" + volume->partition);
        if (points.empty()) return failWith<std::uint64_t>(kErrorNotReady);  // not mounted
        point = points.front();
    }
    struct statvfs st {};
    if (::statvfs(point.c_str(), &st) != 0) return failWith<std::uint64_t>(sgio::systemErrorOf(errno));
    setLastError(kErrorSuccess);
    return std::uint64_t{st.f_bavail} * st.f_frsize;
}

bool LinuxDevices::setVolumeLabel(const std::string& rootPath, const std::string& label) {
    const auto info = volumeInformation(rootPath);
    const auto volume = info ? volumeOfRoot(rootPath) : std::nullopt;
    if (!volume) return false;
    const std::string tool = info->fileSystem == "NTFS"    ? "ntfslabel"
                             : info->fileSystem == "exFAT" ? "exfatlabel"
                                                           : "fatlabel";
    constexpr std::uint32_t kLabelWaitMs = 60000;
    const auto code = runQuietly({tool, m_roots.dev + "/" + volume->partition, label}, kLabelWaitMs);
    if (!code) return false;
    if (*code != 0) return fail(kErrorAccessDenied);
    setLastError(kErrorSuccess);
    return true;
}

}  // namespace quib::platform
