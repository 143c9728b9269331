// The system's disk tools on Linux: the partitioning script carried out with libfdisk on the chosen disk
// behind USB, "format.com" by Debian's mkfs tools on the lettered partition, "label.exe" by the file
// system's label tool.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

#include "common/disktools/quiet_spawn.h"
#include "common/disktools/tool_commands.h"
#include "common/log/debug_log.h"
#include "platform/linux/linux_devices.h"
#include "platform/linux/linux_diskpart.h"
#include "platform/linux/linux_spawn.h"

namespace quib::platform {
namespace {

constexpr auto kFn = "LinuxDevices::runDiskTool";
constexpr std::size_t kLargestScript = 65536;
constexpr int kPartitionWaitMs = 10000;

std::int64_t monotonicMs() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return std::int64_t{now.tv_sec} * 1000 + now.tv_nsec / 1000000;
}

std::optional<std::string> readScript(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string text;
    text.resize(kLargestScript + 1);
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    if (text.size() > kLargestScript) return std::nullopt;
    return text;
}

}  // namespace

// The machine as the script sees it: disks by number from sysfs, letters kept by the devices port.
class LinuxDiskpartMachine final : public DiskpartMachine {
  public:
    LinuxDiskpartMachine(LinuxDevices& devices, const LinuxDeviceRoots& roots, const SysfsReader& sys,
                         std::mutex& letterLock,
                         std::map<std::pair<std::string, std::uint64_t>, char>& assigned)
        : m_devices(devices), m_roots(roots), m_sys(sys), m_letterLock(letterLock), m_assigned(assigned) {}

    std::optional<Disk> disk(std::uint32_t number) override {
        const DiskSnapshot disks = DiskSnapshot::read(m_sys);
        const BlockDisk* disk = disks.disk(number);
        if (!disk || disk->cdrom) return std::nullopt;
        return Disk{m_roots.dev + "/" + disk->name, 0, !disk->usbDevice.empty()};
    }

    bool assignLetter(std::uint32_t number, std::uint64_t startSector, char letter,
                      std::string& failure) override {
        const DiskSnapshot disks = DiskSnapshot::read(m_sys);
        const BlockDisk* disk = disks.disk(number);
        if (!disk || letter <= 'C') return failure = "no volume to assign", false;
        for (const auto& v : m_devices.letteredVolumes(disks))
            if (v.letter == letter && !(v.disk == disk->name && startOf(*disk, v.partition) == startSector))
                return failure = "the letter is in use", false;
        std::lock_guard guard(m_letterLock);
        std::erase_if(m_assigned, [&](const auto& entry) { return entry.second == letter; });
        m_assigned[{disk->path, startSector}] = letter;
        return true;
    }

    void tableWritten(const Disk& written, int fd) override {
        if (::ioctl(fd, BLKRRPART) != 0) {
            if (errno != ENOTTY && errno != EINVAL)
                LogError("%s:%d: the kernel did not read the new table of %s again: errno %d", kFn, __LINE__,
                         written.node.c_str(), errno);
            return;
        }
        // The partitions' nodes come with the kernel's new view of the table.
        const std::string name = written.node.substr(written.node.find_last_of('/') + 1);
        const std::int64_t until = monotonicMs() + kPartitionWaitMs;
        while (monotonicMs() < until) {
            const DiskSnapshot disks = DiskSnapshot::read(m_sys);
            const BlockDisk* disk = disks.byName(name);
            bool ready = disk != nullptr;
            for (const BlockPartition& p : disk ? disk->partitions : std::vector<BlockPartition>{})
                ready = ready && ::access((m_roots.dev + "/" + p.name).c_str(), F_OK) == 0;
            if (ready) return;
            const timespec pause{0, 50'000'000};
            ::nanosleep(&pause, nullptr);
        }
        LogError("%s:%d: the partitions of %s did not appear within %d ms", kFn, __LINE__,
                 written.node.c_str(), kPartitionWaitMs);
    }

  private:
    static std::uint64_t startOf(const BlockDisk& disk, const std::string& partition) {
        for (const BlockPartition& p : disk.partitions)
            if (p.name == partition) return p.startSector;
        return ~std::uint64_t{0};
    }

    LinuxDevices& m_devices;
    const LinuxDeviceRoots& m_roots;
    const SysfsReader& m_sys;
    std::mutex& m_letterLock;
    std::map<std::pair<std::string, std::uint64_t>, char>& m_assigned;
};

std::optional<std::uint32_t> LinuxDevices::runDiskTool(const std::string& program,
                                                       const std::string& arguments,
                                                       std::uint32_t timeoutMs) {
    const std::string name = disktools::programName(program);
    if (name == "diskpart.exe") {
        const auto path = disktools::diskpartScriptPath(arguments);
        const auto text = path ? readScript(*path) : std::nullopt;
        if (!text) {
            setLastError(kErrorSuccess);
            return disktools::kDiskpartNoScript;
        }
        LinuxDiskpartMachine machine(*this, m_roots, m_sys, m_letterLock, m_assignedLetters);
        const DiskpartOutcome outcome = runDiskpartScript(*text, machine);
        if (outcome.code != 0)
            LogError("%s:%d: diskpart: line %d: %s", kFn, __LINE__, outcome.line, outcome.failure.c_str());
        setLastError(kErrorSuccess);
        return outcome.code;
    }
    if (name != "format.com" && name != "label.exe") {
        setLastError(kErrorFileNotFound);
        return std::nullopt;
    }
    const disktools::FormatRequest format = disktools::parseFormatArguments(arguments);
    const std::string root = std::string(1, format.letter) + ":\\";
    const auto volume = format.letter ? volumeOfRoot(root) : std::nullopt;
    setLastError(kErrorSuccess);
    if (!volume) return disktools::kFormatBadParameters;
    if (name == "label.exe")
        return setVolumeLabel(root, disktools::parseLabelArguments(arguments).label)
                   ? 0u
                   : disktools::kFormatFatal;
    const std::string& fs = format.fileSystem;
    if (format.unknownSwitch || (fs != "exfat" && fs != "ntfs" && fs != "fat32"))
        return disktools::kFormatBadParameters;
    if (!format.confirmed) return disktools::kFormatFatal;
    const auto place = partitionOf(volume->disk, volume->partition);
    if (!place) return disktools::kFormatFatal;
    const std::string node = m_roots.dev + "/" + volume->partition;
    // Never under a mounted file system, nor one another program holds.
    const int held = ::open(node.c_str(), O_RDONLY | O_EXCL | O_CLOEXEC);
    if (held < 0) {
        LogError("%s:%d: format.com: %s is in use (errno %d)", kFn, __LINE__, node.c_str(), errno);
        return disktools::kFormatFatal;
    }
    ::close(held);
    const std::string bs = std::to_string(place->first.logicalBlockSize);
    const std::string hidden =
        std::to_string(place->second.startSector * 512 / place->first.logicalBlockSize);
    std::vector<std::string> argv;
    if (fs == "exfat")
        argv = {"mkfs.exfat", node};
    else if (fs == "ntfs")
        argv = {"mkntfs", "-Q", "-F", "-q", "-s", bs, "-p", hidden, "-H", "255", "-S", "63", node};
    else
        argv = {"mkfs.fat", "-F", "32", "-h", hidden, node};
    const auto code = runQuietly(argv, timeoutMs);
    if (!code) return std::nullopt;
    if (*code != 0) LogError("%s:%d: format.com: %s ended with %u", kFn, __LINE__, argv[0].c_str(), *code);
    return *code == 0 ? 0u : *code == disktools::kStillRunning ? *code : disktools::kFormatFatal;
}

}  // namespace quib::platform
