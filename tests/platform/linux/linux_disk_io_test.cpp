// Disk and volume contents, locks, partition facts and volume information of the Linux ports, with the
// block nodes standing as image files: an MBR written by sfdisk on the disk's node, a FAT32 made by
// mkfs.fat on its partition's node, read back through libblkid as the kernel's nodes would be.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/linux/linux_devices.h"
#include "sysfs_builder.h"
#include "temp_folder.h"
#include "tests/common/tool_run.h"

namespace {

using namespace quib::platform;
using quib::testing::run;
using quib::testing::tool;

constexpr std::uint64_t kDiskSectors = 4'000'000, kPartStart = 2048, kPartSectors = 400'000;

class LinuxDiskIoTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string root = sys.controller("0000:00:04.0", 1, 4);
        const std::string bridge =
            sys.usbDevice(root, "1-1", 1, 3, 0x3f10, 0x7120, 0x0100, 0, "480", 0, "KRV0002");
        const std::string disk = sys.usbDisk(bridge, "sdb", "sg1", 1, "KRV", "USB3.0 Bridge", kDiskSectors);
        sys.partition(disk, "sdb1", 1, kPartStart, kPartSectors);
        std::ofstream(dev / "sg1") << "";
        makeImage("sdb", kDiskSectors * 512);
        makeImage("sdb1", kPartSectors * 512);
        const auto table = run("printf 'label: dos\\nstart=2048, size=400000, type=c, bootable\\n' | " +
                               tool("sfdisk") + " -q " + dev / "sdb");
        ASSERT_EQ(table.status, 0) << table.output;
        const auto made = run(tool("mkfs.fat") + " -F 32 -s 1 -n LINUXVOL " + dev / "sdb1");
        ASSERT_EQ(made.status, 0) << made.output;
    }
    void makeImage(const std::string& node, std::uint64_t bytes) {
        std::ofstream(dev / node).close();
        std::filesystem::resize_file(dev / node, bytes);
    }
    std::vector<std::uint8_t> nodeBytes(const std::string& node, std::uint64_t at, std::size_t n) {
        std::ifstream in(dev / node, std::ios::binary);
        in.seekg(static_cast<std::streamoff>(at));
        std::vector<std::uint8_t> out(n);
        in.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(n));
        return out;
    }

    TempFolder folder;
    SysfsBuilder sys{folder.path()};
    TempFolder dev;
    LinuxDevices d{{folder.path(), dev.path()}};
};

TEST_F(LinuxDiskIoTest, VolumeContentsGoToThePartitionsNodeInWholeBlocks) {
    const DeviceHandle v = d.open("\\\\.\\D:", kAccessRead | kAccessWrite);
    ASSERT_TRUE(isValid(v));
    std::vector<std::uint8_t> block(4096);
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(i * 5 + 3);
    EXPECT_EQ(d.writeAt(v, 1 << 20, block), 4096u);
    EXPECT_EQ(nodeBytes("sdb1", 1 << 20, 4096), block);
    // The volume answers its disk's geometry, as on Windows.
    ASSERT_TRUE(d.driveGeometry(v).has_value());
    EXPECT_EQ(d.driveGeometry(v)->diskSize, kDiskSectors * 512);
    std::vector<std::uint8_t> back(4096);
    EXPECT_EQ(d.readAt(v, 1 << 20, back), 4096u);
    EXPECT_EQ(back, block);
    EXPECT_FALSE(d.writeAt(v, 100, std::span(block).first(512)).has_value());
    EXPECT_EQ(lastError(), kErrorInvalidParameter);
    const DeviceHandle readOnly = d.open("\\\\.\\D:", kAccessRead);
    EXPECT_FALSE(d.writeAt(readOnly, 0, std::span(block).first(512)).has_value());
    EXPECT_EQ(lastError(), kErrorAccessDenied);

    EXPECT_TRUE(d.lockVolume(v));
    EXPECT_FALSE(d.lockVolume(v));
    EXPECT_TRUE(d.unlockVolume(v));
    EXPECT_FALSE(d.unlockVolume(v));
    EXPECT_EQ(lastError(), kErrorNotLocked);
    EXPECT_TRUE(d.dismountVolume(v));  // mounted nowhere
    for (const DeviceHandle h : {v, readOnly}) d.close(h);
}

TEST_F(LinuxDiskIoTest, PartitionFactsAndTheVolumesFileSystemComeFromWhatTheNodesHold) {
    const DeviceHandle v = d.open("\\\\.\\D:", kAccessRead | kAccessWrite);
    ASSERT_TRUE(isValid(v));
    const auto info = d.partitionInfo(v);
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->style, PartitionStyle::Mbr);
    EXPECT_EQ(info->startingOffset, static_cast<std::int64_t>(kPartStart * 512));
    EXPECT_EQ(info->partitionLength, static_cast<std::int64_t>(kPartSectors * 512));
    EXPECT_EQ(info->partitionNumber, 1u);
    EXPECT_EQ(info->mbrType, 0x0C);
    EXPECT_TRUE(info->bootIndicator);
    EXPECT_EQ(info->hiddenSectors, kPartStart);

    EXPECT_TRUE(d.setPartitionType(v, 0x07));
    EXPECT_EQ(nodeBytes("sdb", 446 + 4, 1)[0], 0x07);
    EXPECT_EQ(d.partitionInfo(v)->mbrType, 0x07);

    const auto volume = d.volumeInformation("D:\\");
    ASSERT_TRUE(volume.has_value());
    EXPECT_EQ(volume->fileSystem, "FAT32");
    EXPECT_EQ(volume->label, "LINUXVOL");
    EXPECT_EQ(volume->serial, quib::testing::blkidSerial(dev / "sdb1"));
    // The label by the file system's own tool on the partition's node.
    EXPECT_TRUE(d.setVolumeLabel("D:\\", "RELABEL"));
    EXPECT_EQ(d.volumeInformation("D:\\")->label, "RELABEL");
    EXPECT_FALSE(d.freeBytes("D:\\").has_value());  // not mounted
    EXPECT_FALSE(d.volumeInformation("Q:\\").has_value());
    EXPECT_EQ(lastError(), kErrorPathNotFound);

    // The disk: its scheme and the entries an MBR lists.
    DeviceHandle disk = kInvalidHandle;
    for (int n = 0; n < 4 && !isValid(disk); ++n) {
        const DeviceHandle h = d.open("\\\\.\\PHYSICALDRIVE" + std::to_string(n), kAccessRead | kAccessWrite);
        if (isValid(h) && d.deviceNumber(h) && d.storageDescriptor(h) &&
            d.storageDescriptor(h)->product == "USB3.0 Bridge")
            disk = h;
    }
    ASSERT_TRUE(isValid(disk));
    EXPECT_EQ(d.partitionCount(disk), 4u);
    EXPECT_EQ(d.partitionInfo(disk)->style, PartitionStyle::Mbr);
    d.close(v);
}

// The system's disk tools on the nodes: the script partitions the bridge's disk and gives its volume the
// letter asked for; format.com and label.exe make file systems and labels on the lettered partition.
TEST_F(LinuxDiskIoTest, TheDiskToolsRunOnTheBridgesNodes) {
    TempFolder work;
    const std::string script = work / "DiskPartTarget1.sc";
    std::ofstream(script) << " list disk\n select disk 1\n online disk noerr \n clean \nconvert mbr \ncreate "
                             "partition primary \n active\n select partition 1\n assign letter=F\n";
    EXPECT_EQ(d.runDiskTool("diskpart.exe", " /s " + script, 60000), 0u);
    const auto table = run(tool("sfdisk") + " --dump " + dev / "sdb");
    EXPECT_NE(table.output.find("start=        2048, size=     3997952, type=7, bootable"), std::string::npos)
        << table.output;
    // The partition (still where the kernel's view has it) now answers to F:, and D: is free.
    EXPECT_TRUE(d.volumeNameForMountPoint("F:\\").has_value());
    EXPECT_FALSE(d.volumeNameForMountPoint("D:\\").has_value());

    struct Row {
        const char* fs;
        const char* shown;
    } rows[] = {{"EXFAT", "exFAT"}, {"NTFS", "NTFS"}, {"FAT32", "FAT32"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fs);
        EXPECT_EQ(d.runDiskTool("format.com", " F:/Q /FS:" + std::string(row.fs) + " /y", 60000), 0u);
        EXPECT_EQ(d.runDiskTool("label.exe", " F: NEW LABEL", 60000), 0u);
        const auto info = d.volumeInformation("F:\\");
        ASSERT_TRUE(info.has_value());
        EXPECT_EQ(info->fileSystem, row.shown);
        EXPECT_EQ(info->label, "NEW LABEL");
    }
    EXPECT_EQ(d.runDiskTool("format.com", " F:/Q /FS:NTFS", 60000), 4u);  // would wait for a yes
    EXPECT_EQ(d.runDiskTool("format.com", " Q:/Q /FS:NTFS /y", 60000), 1u);
    EXPECT_EQ(d.runDiskTool("format.com", " F:/Q /FS:HPFS /y", 60000), 1u);
    EXPECT_EQ(d.runDiskTool("diskpart.exe", " /s " + work / "none.sc", 60000), 3u);
    EXPECT_FALSE(d.runDiskTool("chkdsk.exe", " F:", 60000).has_value());
    EXPECT_EQ(lastError(), kErrorFileNotFound);
    EXPECT_EQ(d.volumeInformation("F:\\")->fileSystem, "FAT32");

    // The script on the machine's own disk or a letter another volume has: refused, the table kept.
    std::ofstream(script) << "select disk 1\nselect partition 1\nassign letter=C\n";
    EXPECT_EQ(d.runDiskTool("diskpart.exe", " /s " + script, 60000), 2u);
    EXPECT_EQ(run(tool("sfdisk") + " --dump " + dev / "sdb").output, table.output);
}

}  // namespace
