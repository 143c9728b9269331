// The kernel's whole disks and CD-ROMs as sysfs shows them at one moment, numbered as the system numbers
// its disks:
// - disks that are not SCSI disks (NVMe, virtio, MMC, ...) take 0, 1, ... in name order: they are the
//   machine's own and present from boot on, as a system disk is on Windows;
// - SCSI disks follow, "sdX" taking that count plus the kernel's index of X ("sda" 0, "sdz" 25, "sdaa" 26).
//   The kernel gives a new disk the lowest free index and keeps it while the disk is present, so a disk's
//   number stays put while others come and go, as a Windows disk number does;
// - CD-ROM n is "srn".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/sysfs_reader.h"

namespace quib::platform {

struct BlockPartition {
    std::string name;  // "sda1"
    std::uint32_t number = 0;
    std::uint64_t startSector = 0, sectors = 0;  // in 512-byte units, as sysfs counts
};

struct BlockDisk {
    std::string name;  // "sda", "sr0", "nvme0n1"
    std::string path;  // folder under the sysfs root, links followed
    bool cdrom = false;
    std::uint32_t number = 0;
    std::string usbDevice;  // sysfs name of the USB device it sits behind; empty when not behind USB
    std::uint32_t busType = 0;
    std::string vendor, product, revision, serial;
    bool removable = false;
    std::uint64_t sectors = 0;  // 512-byte units
    std::uint32_t logicalBlockSize = 512;
    std::string genericNode;  // "sg0": the SCSI generic node of the same device, when there is one
    std::vector<BlockPartition> partitions;
};

class DiskSnapshot {
  public:
    static DiskSnapshot read(const SysfsReader& sys);

    const std::vector<BlockDisk>& disks() const { return m_disks; }  // disks, then CD-ROMs, by number
    const BlockDisk* disk(std::uint32_t number) const;
    const BlockDisk* cdrom(std::uint32_t number) const;
    const BlockDisk* byName(const std::string& name) const;
    std::size_t diskCount() const;

  private:
    std::vector<BlockDisk> m_disks;
};

// The kernel's index of an "sd" disk name ("sda" 0, "sdaa" 26); nothing for other names.
std::optional<std::uint32_t> scsiDiskIndex(const std::string& name);

}  // namespace quib::platform
