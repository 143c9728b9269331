// Storage, USB tree, device and volume ports of the native Linux backend, over sysfs, the SCSI generic
// (or block) nodes with SG_IO, and usbfs. Every query reads sysfs afresh, so devices that come and go
// (a bridge restarting) are seen as they are now. The mapping of names and numbers is in docs/linux.md.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "platform/linux/disk_sysfs.h"
#include "platform/linux/usb_sysfs.h"
#include "platform/platform.h"

namespace quib::platform {

struct LinuxDeviceRoots {
    std::string sys = "/sys";
    std::string dev = "/dev";
};

// The volume name of a drive letter ("\\?\Volume{...}\").
std::string volumeNameOf(char letter);

// Where the block node `node` is mounted, from the mount table; empty when nowhere.
std::vector<std::string> mountPointsOf(const std::string& node);

class LinuxDevices final : public Storage, public UsbTree, public Devices, public Volumes {
  public:
    explicit LinuxDevices(LinuxDeviceRoots roots = {});
    ~LinuxDevices() override;

    DeviceHandle open(const std::string& path, std::uint32_t access) override;
    void close(DeviceHandle handle) override;
    ScsiResult scsiPassThrough(DeviceHandle handle, records::ScsiPassThroughWithBuffers& record,
                               std::uint32_t inputSize, std::uint32_t outputSize) override;
    ScsiResult scsiPassThroughDirect(DeviceHandle handle, records::ScsiPassThroughDirect& record,
                                     std::span<std::uint8_t> data) override;
    std::optional<StorageDeviceNumber> deviceNumber(DeviceHandle handle) override;
    std::optional<StorageDescriptor> storageDescriptor(DeviceHandle handle) override;
    std::optional<DriveGeometry> driveGeometry(DeviceHandle handle) override;
    // The kernel has no ATA pass-through for a USB disk: the command goes to the bridge as SAT.
    ScsiResult ataPassThroughDirect(DeviceHandle handle, AtaRequest& request,
                                    std::span<std::uint8_t> data) override;
    // Disk and volume contents through the block nodes (linux_disk_io.cpp). A lock is an exclusive open
    // of the partition's node, which the kernel refuses while the volume is mounted or held so.
    std::optional<std::uint32_t> readAt(DeviceHandle handle, std::uint64_t offset,
                                        std::span<std::uint8_t> data) override;
    std::optional<std::uint32_t> writeAt(DeviceHandle handle, std::uint64_t offset,
                                         std::span<const std::uint8_t> data) override;
    bool lockVolume(DeviceHandle volume) override;
    bool dismountVolume(DeviceHandle volume) override;
    bool unlockVolume(DeviceHandle volume) override;
    bool updateProperties(DeviceHandle disk) override;
    std::optional<PartitionInfo> partitionInfo(DeviceHandle handle) override;
    bool setPartitionType(DeviceHandle volume, std::uint8_t type) override;
    std::optional<std::uint32_t> partitionCount(DeviceHandle disk) override;

    std::optional<std::string> hcdDriverKeyName(DeviceHandle controller) override;
    std::optional<std::string> rootHubName(DeviceHandle controller) override;
    std::optional<std::uint32_t> hubPortCount(DeviceHandle hub) override;
    std::optional<NodeConnectionInfo> connectionInfo(DeviceHandle hub, std::uint32_t port) override;
    std::optional<std::string> connectionName(DeviceHandle hub, std::uint32_t port) override;
    std::optional<std::string> connectionDriverKeyName(DeviceHandle hub, std::uint32_t port) override;
    std::optional<std::vector<std::uint8_t>> descriptorFromConnection(DeviceHandle hub, std::uint32_t port,
                                                                      const SetupPacket& request) override;

    std::vector<DeviceInterface> interfaces(const std::string& interfaceGuid) override;
    std::vector<DeviceNode> allDevices() override;
    std::optional<std::string> descriptionByDriverKey(const std::string& driverKeyName) override;
    std::optional<std::string> hardwareIdByDriverKey(const std::string& driverKeyName) override;
    bool requestEject(const std::string& instanceId) override;

    std::optional<std::string> volumeNameForMountPoint(const std::string& mountPoint) override;
    std::optional<std::vector<DiskExtent>> diskExtents(DeviceHandle volume) override;
    std::uint32_t driveType(const std::string& rootPath) override;
    std::uint32_t processorArchitecture() override;
    // From the file system's superblock (libblkid); free space of a mounted volume.
    std::optional<Information> volumeInformation(const std::string& rootPath) override;
    std::optional<std::uint64_t> freeBytes(const std::string& rootPath) override;
    // By the file system's own tool (fatlabel, exfatlabel, ntfslabel) on the partition's node.
    bool setVolumeLabel(const std::string& rootPath, const std::string& label) override;

    // The number of disks present (the registry's disk count).
    std::uint32_t diskCount();
    // Instance IDs of the disks present, in disk-number order.
    std::vector<std::string> diskInstanceIds();

    // What the drive letters stand for: partitions of the disks behind USB, in disk-number order and
    // partition order, take "D:" onwards; "C:" stands for the root file system.
    struct LetteredVolume {
        char letter = 0;
        std::string disk, partition;  // block names ("sdb", "sdb1")
    };
    // A partition given a letter by the partitioning tool keeps it while this process runs (the letters
    // of the others follow, from "D:" on, skipping it).
    std::vector<LetteredVolume> letteredVolumes();
    std::vector<LetteredVolume> letteredVolumes(const DiskSnapshot& disks);

    // The folder standing for a drive letter's root (linux_drive_roots.cpp): "/" for "C:"; a volume where
    // it is mounted, or mounted privately until the last copy of the pointer goes (needs root).
    std::shared_ptr<const std::string> driveRoot(char letter);

    // The system's disk tools ("diskpart.exe", "format.com", "label.exe") carried out with libfdisk and
    // Debian's tools (linux_disk_tools.cpp); nothing with error 2 for any other program.
    std::optional<std::uint32_t> runDiskTool(const std::string& program, const std::string& arguments,
                                             std::uint32_t timeoutMs);

  private:
    enum class Kind { Disk, Cdrom, Controller, Hub, UsbDevice, Volume };
    struct Opened {
        Kind kind = Kind::Disk;
        std::string name;     // block name, USB sysfs name (a controller: its root hub), partition name
        std::string sysPath;  // where it lay when opened: a device that came back elsewhere is another one
        int fd = -1;
        std::uint32_t access = 0;
        std::string disk;  // a volume's disk (block name)
        int blockFd = -1;  // the block node, for reading and writing contents (opened at first use)
        int lockFd = -1;   // a volume's exclusive open while it is locked
    };
    // The block node of an open disk or volume, opened at its first use; -1 with the error set.
    int blockNode(DeviceHandle handle, Opened& opened);
    // The block node a transfer of `size` bytes at `offset` goes to: whole logical blocks, a handle opened
    // for writing when it writes; -1 with the error set.
    int transferNode(DeviceHandle handle, std::uint64_t offset, std::size_t size, bool write);
    // A lettered volume's partition and its disk as they are now.
    std::optional<std::pair<BlockDisk, BlockPartition>> partitionOf(const std::string& diskName,
                                                                    const std::string& partName);
    std::optional<LetteredVolume> volumeOfRoot(const std::string& rootPath);

    static Opened opening(Kind kind, std::string name, std::string sysPath, std::string disk = {});
    std::optional<Opened> resolvePath(const std::string& path);
    std::optional<Opened> find(DeviceHandle handle, std::uint32_t& error);
    // The open disk or CD-ROM as it is now; nothing (1167) when it has gone or was replaced.
    std::optional<BlockDisk> diskOf(DeviceHandle handle);
    // An open disk or CD-ROM that may take pass-through requests.
    std::optional<Opened> passThroughTarget(DeviceHandle handle);
    // A request's result, with the rights message when the kernel refused it.
    ScsiResult sent(const Opened& target, ScsiResult result);
    std::optional<UsbNode> currentHub(DeviceHandle hub, UsbSnapshot& usb);
    int openNode(const BlockDisk& disk, std::uint32_t access, const std::string& path);
    void reportNoRights(const std::string& node, const std::string& path, bool passThrough);
    std::optional<std::string> propertyByDriverKey(const std::string& driverKeyName,
                                                   const std::string& property);
    // Flushes and removes a USB device with the disks behind it.
    bool ejectUsbDevice(const UsbNode& node, const DiskSnapshot& disks);

    // After a write to a disk's first MiB (its table): the kernel told to read the table again now, or,
    // while one of its partitions is held, once the hold ends.
    void tableWritten(const std::string& diskName);
    void rereadPendingTables();

    LinuxDeviceRoots m_roots;
    std::mutex m_letterLock;
    std::map<std::pair<std::string, std::uint64_t>, char> m_assignedLetters;  // (disk's sysfs path, start)
    std::set<std::string> m_tablesToReread;
    SysfsReader m_sys;
    std::mutex m_lock;
    std::map<DeviceHandle, Opened> m_open;
    DeviceHandle m_next = 0x1000;
    std::set<std::string> m_rightsReported;
};

}  // namespace quib::platform
