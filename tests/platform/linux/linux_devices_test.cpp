// The Linux device ports over a sysfs tree built in a test folder: a virtio system disk, and two bridges
// behind a hub on an xHCI controller. SG_IO and usbfs are replaced by recording stubs.
#include "platform/linux/linux_devices.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/linux/disk_enum_registry.h"
#include "platform/linux/linux_registry.h"
#include "platform/linux/linux_sg_io.h"
#include "platform/linux/usbfs_control.h"
#include "sysfs_builder.h"
#include "temp_folder.h"

namespace {

using namespace quib;
using namespace quib::platform;

constexpr const char* kHubFolder = "devices/pci0000:00/0000:00:04.0/usb1/1-1";

class LinuxDevicesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SysfsBuilder& s = sys;
        const std::string root = s.controller("0000:00:04.0", 1, 4);
        const std::string hub = s.usbDevice(root, "1-1", 1, 2, 0x0409, 0x55aa, 0x0101, 9, "480", 8, "");
        bridgeA = s.usbDevice(hub, "1-1.1", 1, 3, 0x3f10, 0x7120, 0x0100, 0, "480", 0, "KRV0001");
        bridgeB = s.usbDevice(hub, "1-1.3", 1, 4, 0x3f10, 0x7120, 0x0100, 0, "480", 0, "KRV0002");
        diskA = s.usbDisk(bridgeA, "sda", "sg0", 0, "KRV     ", "USB3.0 Bridge   ", 2'000'000);
        diskB = s.usbDisk(bridgeB, "sdb", "sg1", 1, "KRV", "USB3.0 Bridge", 4'000'000);
        s.scsiDisk("devices/pci0000:00/0000:00:05.0/virtio1/host2/target2:0:0/2:0:0:0", "vda", "", "QEMU",
                   "Disk", 100);
        for (const char* node : {"sg0", "sg1", "sda", "sdb"}) std::ofstream(dev / node) << "";
    }
    LinuxDevices devices() { return LinuxDevices({sys.root(), dev.path()}); }

    TempFolder folder;
    SysfsBuilder sys{folder.path()};
    TempFolder dev;
    std::string bridgeA, bridgeB, diskA, diskB;
};

TEST_F(LinuxDevicesTest, WalksControllerRootHubExternalHubAndBridges) {
    LinuxDevices d = devices();
    const auto controllers = d.interfaces(kGuidUsbHostController);
    ASSERT_EQ(controllers.size(), 1u);
    EXPECT_EQ(controllers[0].devicePath,
              "\\\\?\\pci#ven_1b36&dev_000d&subsys_11001af4&rev_01#0000:00:04.0&1#"
              "{3abf6f2d-71c4-462a-8a92-1e6861e6af27}");
    const DeviceHandle hc = d.open(controllers[0].devicePath, kAccessRead | kAccessWrite);
    ASSERT_TRUE(isValid(hc));
    const auto key = d.hcdDriverKeyName(hc);
    ASSERT_TRUE(key);
    EXPECT_EQ(d.descriptionByDriverKey(*key), "USB xHCI Compliant Host Controller");
    EXPECT_EQ(d.hardwareIdByDriverKey(*key), "PCI\\VEN_1B36&DEV_000D&SUBSYS_11001AF4&REV_01");

    const auto rootName = d.rootHubName(hc);
    ASSERT_TRUE(rootName);
    EXPECT_EQ(*rootName, "USB#ROOT_HUB20#usb1#{f18a0e88-c30c-11d0-8815-00a0c906bed8}");
    const DeviceHandle root = d.open("\\\\.\\" + *rootName, kAccessRead | kAccessWrite);
    ASSERT_TRUE(isValid(root));
    EXPECT_EQ(d.hubPortCount(root), 4u);
    const auto onHubPort = d.connectionInfo(root, 1);
    ASSERT_TRUE(onHubPort);
    EXPECT_EQ(onHubPort->status, ConnectionStatus::DeviceConnected);
    EXPECT_TRUE(onHubPort->deviceIsHub);
    EXPECT_EQ(d.connectionInfo(root, 2)->status, ConnectionStatus::NoDeviceConnected);
    EXPECT_FALSE(d.connectionInfo(root, 5));
    EXPECT_EQ(lastError(), kErrorInvalidParameter);

    const auto hubName = d.connectionName(root, 1);
    ASSERT_TRUE(hubName);
    EXPECT_EQ(*hubName, "USB#VID_0409&PID_55AA#1-1#{f18a0e88-c30c-11d0-8815-00a0c906bed8}");
    const DeviceHandle hub = d.open("\\\\?\\" + *hubName, kAccessRead | kAccessWrite);
    ASSERT_TRUE(isValid(hub));
    EXPECT_EQ(d.hubPortCount(hub), 8u);
    const auto bridge = d.connectionInfo(hub, 3);
    ASSERT_TRUE(bridge);
    EXPECT_EQ(bridge->status, ConnectionStatus::DeviceConnected);
    EXPECT_FALSE(bridge->deviceIsHub);
    EXPECT_EQ(bridge->speed, 2);
    EXPECT_EQ(bridge->descriptor.idVendor, 0x3f10);
    EXPECT_EQ(bridge->descriptor.idProduct, 0x7120);
    EXPECT_EQ(bridge->descriptor.bcdDevice, 0x0100);
    EXPECT_EQ(bridge->descriptor.bcdUSB, 0x0200);
    const auto bridgeKey = d.connectionDriverKeyName(hub, 3);
    ASSERT_TRUE(bridgeKey);
    EXPECT_EQ(*bridgeKey, "{36FC9E60-C465-11CF-8056-444553540000}\\1-1.3");
    EXPECT_EQ(d.descriptionByDriverKey(*bridgeKey), "USB Mass Storage Device");
    EXPECT_EQ(d.hardwareIdByDriverKey(*bridgeKey), "USB\\VID_3F10&PID_7120&REV_0100");
    EXPECT_EQ(d.descriptionByDriverKey(*d.connectionDriverKeyName(root, 1)), "Generic USB Hub");
    EXPECT_FALSE(d.connectionName(hub, 3)) << "a bridge is not a hub";
    for (DeviceHandle h : {hub, root, hc}) d.close(h);
}

TEST_F(LinuxDevicesTest, NumbersSystemDisksFirstThenScsiDisksByKernelIndex) {
    LinuxDevices d = devices();
    auto numberOf = [&](const std::string& path) -> std::optional<StorageDeviceNumber> {
        const DeviceHandle h = d.open(path, kAccessNone);
        if (!isValid(h)) return std::nullopt;
        auto n = d.deviceNumber(h);
        d.close(h);
        return n;
    };
    EXPECT_EQ(numberOf("\\\\.\\PHYSICALDRIVE0")->deviceNumber, 0u);
    EXPECT_EQ(numberOf("\\\\.\\PhysicalDrive1")->deviceNumber, 1u);
    EXPECT_EQ(numberOf("\\\\.\\physicaldrive2")->deviceType, 7u);
    EXPECT_FALSE(numberOf("\\\\.\\PHYSICALDRIVE3"));
    EXPECT_EQ(lastError(), kErrorFileNotFound);
    EXPECT_FALSE(numberOf("\\\\.\\PHYSICALDRIVE1x"));

    const DeviceHandle system = d.open("\\\\.\\PHYSICALDRIVE0", kAccessNone);
    EXPECT_EQ(d.storageDescriptor(system)->busType, 14u) << "virtio";
    d.close(system);
    const DeviceHandle bridge = d.open("\\\\.\\PHYSICALDRIVE1", kAccessNone);
    const auto descriptor = d.storageDescriptor(bridge);
    ASSERT_TRUE(descriptor);
    EXPECT_EQ(descriptor->busType, 7u);
    EXPECT_EQ(descriptor->vendor, "KRV");
    EXPECT_EQ(descriptor->product, "USB3.0 Bridge");
    EXPECT_EQ(descriptor->revision, "0100");
    EXPECT_EQ(descriptor->serial, "KRV0001") << "the USB serial, as the USB storage driver reports it";
    const auto geometry = d.driveGeometry(bridge);
    ASSERT_TRUE(geometry);
    EXPECT_EQ(geometry->diskSize, 2'000'000u * 512);
    EXPECT_EQ(geometry->bytesPerSector, 512u);
    EXPECT_EQ(geometry->cylinders, 2'000'000u * 512 / (255 * 63 * 512));
    d.close(bridge);

    TempFolder store;
    FileRegistry file(store / "registry.json");
    DiskEnumRegistry registry(file, d);
    const auto count = registry.readValue("System\\CurrentControlSet\\Services\\Disk\\Enum", "Count");
    ASSERT_TRUE(count);
    EXPECT_EQ(count->type, RegistryType::Dword);
    EXPECT_EQ(count->data, (std::vector<std::uint8_t>{3, 0, 0, 0}));
    EXPECT_TRUE(registry.keyExists("SYSTEM\\CurrentControlSet\\Services\\Disk\\Enum"));
    EXPECT_FALSE(registry.writeValue("System\\CurrentControlSet\\Services\\Disk\\Enum", "Count", *count));
    EXPECT_TRUE(registry.writeValue("Software\\Quib", "x", *count)) << "other keys go to the store";
    EXPECT_EQ(registry.readValue("Software\\Quib", "x")->data, count->data);
}

TEST_F(LinuxDevicesTest, ACdromBridgeIsCdromNByItsKernelNumber) {
    const std::string bridge =
        sys.usbDevice(std::string(kHubFolder), "1-1.4", 1, 6, 0x3f10, 0x7120, 0x0100, 0, "480", 0, "KRVCD01");
    sys.usbDisk(bridge, "sr1", "sg3", 4, "KRV", "USB CD-ROM", 0);
    std::ofstream(dev / "sg3") << "";
    LinuxDevices d = devices();
    EXPECT_FALSE(isValid(d.open("\\\\.\\CDROM0", kAccessNone)));
    const DeviceHandle h = d.open("\\\\.\\CdRom1", kAccessRead | kAccessWrite);
    ASSERT_TRUE(isValid(h));
    const auto number = d.deviceNumber(h);
    ASSERT_TRUE(number);
    EXPECT_EQ(number->deviceType, 2u);
    EXPECT_EQ(number->deviceNumber, 1u);
    EXPECT_FALSE(d.driveGeometry(h)) << "no medium";
    d.close(h);
    const auto cdroms = d.interfaces(kGuidCdromInterface);
    ASSERT_EQ(cdroms.size(), 1u);
    EXPECT_EQ(cdroms[0].devicePath,
              "\\\\?\\usbstor#cdrom&ven_krv&prod_usb_cd-rom&rev_0100#krvcd01&0#{53f56308-b6bf-11d0-94f2-"
              "00a0c91efb8b}");
    EXPECT_EQ(d.interfaces(kGuidDiskInterface).size(), 3u) << "a CD-ROM is not a disk";
    EXPECT_EQ(d.diskCount(), 3u);
}

TEST_F(LinuxDevicesTest, DiskInterfacesCarryTheUsbSerialAndOpenTheirDisk) {
    LinuxDevices d = devices();
    const auto disks = d.interfaces(kGuidDiskInterface);
    ASSERT_EQ(disks.size(), 3u);
    EXPECT_EQ(disks[1].devicePath,
              "\\\\?\\usbstor#disk&ven_krv&prod_usb3.0_bridge&rev_0100#krv0001&0#"
              "{53f56307-b6bf-11d0-94f2-00a0c91efb8b}");
    EXPECT_EQ(disks[1].instanceId, "USBSTOR\\DISK&VEN_KRV&PROD_USB3.0_BRIDGE&REV_0100\\KRV0001&0");
    const DeviceHandle h = d.open(disks[2].devicePath, kAccessNone);
    ASSERT_TRUE(isValid(h));
    EXPECT_EQ(d.deviceNumber(h)->deviceNumber, 2u);
    d.close(h);

    const auto usb = d.interfaces(kGuidUsbDeviceInterface);
    ASSERT_EQ(usb.size(), 3u);  // the hub and both bridges
    EXPECT_EQ(usb[1].instanceId, "USB\\VID_3F10&PID_7120\\KRV0001");
    const DeviceHandle u = d.open(usb[1].devicePath, kAccessNone);
    ASSERT_TRUE(isValid(u));
    EXPECT_FALSE(d.deviceNumber(u)) << "a USB device is no storage device";
    d.close(u);
    EXPECT_TRUE(d.interfaces(kGuidCdromInterface).empty());
    EXPECT_EQ(lastError(), kErrorNoMoreItems);
}

// ---- SG_IO ----------------------------------------------------------------------------------------------

struct SgSeen {
    int calls = 0;
    ino_t inode = 0;
    std::uint8_t opcode = 0;
    int error = 0;
};
SgSeen g_sg;

int recordSgIo(int fd, sg_io_hdr_t& h) {
    ++g_sg.calls;
    struct stat st {};
    ::fstat(fd, &st);
    g_sg.inode = st.st_ino;
    g_sg.opcode = h.cmdp[0];
    if (g_sg.error) {
        errno = g_sg.error;
        return -1;
    }
    h.status = 0;
    h.resid = 0;
    return 0;
}

records::ScsiPassThroughWithBuffers inquiry() {
    records::ScsiPassThroughWithBuffers r{};
    r.spt.Length = sizeof r.spt;
    r.spt.CdbLength = 6;
    r.spt.SenseInfoLength = 24;
    r.spt.DataIn = records::kScsiDataIn;
    r.spt.DataTransferLength = 36;
    r.spt.TimeOutValue = 2;
    r.spt.DataBufferOffset = records::kSptHeaderAndSense;
    r.spt.SenseInfoOffset = 48;
    r.spt.Cdb[0] = 0x12;
    r.spt.Cdb[4] = 36;
    return r;
}

class LinuxPassThroughTest : public LinuxDevicesTest {
  protected:
    void SetUp() override {
        LinuxDevicesTest::SetUp();
        g_sg = {};
        previous = sgio::setSgIoCall(&recordSgIo);
    }
    void TearDown() override { sgio::setSgIoCall(previous); }
    sgio::SgIoCall previous = nullptr;
};

TEST_F(LinuxPassThroughTest, CommandsGoToTheDisksScsiGenericNode) {
    LinuxDevices d = devices();
    const DeviceHandle h = d.open("\\\\.\\PHYSICALDRIVE2", kAccessRead | kAccessWrite);
    ASSERT_TRUE(isValid(h));
    auto record = std::make_unique<records::ScsiPassThroughWithBuffers>(inquiry());
    EXPECT_TRUE(d.scsiPassThrough(h, *record, records::kSptHeaderAndSense, records::kSptWholeRecord).ok);
    struct stat sg1 {};
    ASSERT_EQ(::stat((dev / "sg1").c_str(), &sg1), 0);
    EXPECT_EQ(g_sg.inode, sg1.st_ino) << "PHYSICALDRIVE2 is sdb, whose generic node is sg1";
    EXPECT_EQ(g_sg.opcode, 0x12);

    // The kernel's "no such device" after the bridge vanished is the system's 1167.
    g_sg.error = ENODEV;
    EXPECT_FALSE(d.scsiPassThrough(h, *record, records::kSptHeaderAndSense, records::kSptWholeRecord).ok);
    EXPECT_EQ(lastError(), kErrorDeviceNotConnected);
    d.close(h);

    const DeviceHandle probe = d.open("\\\\.\\PHYSICALDRIVE2", kAccessNone);
    const int before = g_sg.calls;
    EXPECT_FALSE(d.scsiPassThrough(probe, *record, records::kSptHeaderAndSense, records::kSptWholeRecord).ok);
    EXPECT_EQ(lastError(), kErrorAccessDenied);
    EXPECT_EQ(g_sg.calls, before) << "a handle without read and write access sends nothing";
    d.close(probe);
}

TEST_F(LinuxPassThroughTest, AVendorCommandRefusedByTheKernelSaysWhatToDo) {
    LinuxDevices d = devices();
    const DeviceHandle h = d.open("\\\\.\\PHYSICALDRIVE1", kAccessRead | kAccessWrite);
    auto record = std::make_unique<records::ScsiPassThroughWithBuffers>(inquiry());
    g_sg.error = EPERM;
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(d.scsiPassThrough(h, *record, records::kSptHeaderAndSense, records::kSptWholeRecord).ok);
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(lastError(), kErrorAccessDenied);
    EXPECT_NE(said.find("sda"), std::string::npos) << said;
    EXPECT_NE(said.find("CAP_SYS_RAWIO"), std::string::npos) << said;
    EXPECT_NE(said.find("setcap"), std::string::npos) << said;
    d.close(h);
}

TEST_F(LinuxDevicesTest, ANodeWithoutAccessNamesTheNodeAndTheRule) {
    ASSERT_EQ(::chmod((dev / "sg0").c_str(), 0600), 0);
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        // As a user other than the node's owner.
        if (::getuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(3);
        ::dup2(pipeFds[1], 2);
        LinuxDevices d = devices();
        const DeviceHandle h = d.open("\\\\.\\PHYSICALDRIVE1", kAccessRead | kAccessWrite);
        ::_exit(!isValid(h) && lastError() == kErrorAccessDenied ? 0 : 4);
    }
    ::close(pipeFds[1]);
    std::string said;
    char buffer[512];
    for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        said.append(buffer, static_cast<std::size_t>(n));
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    if (::getuid() != 0 && WEXITSTATUS(status) == 4) GTEST_SKIP() << "the node stayed open to this user";
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_NE(said.find(dev / "sg0"), std::string::npos) << said;
    EXPECT_NE(said.find("PHYSICALDRIVE1"), std::string::npos) << said;
    EXPECT_NE(said.find("70-quibusb.rules"), std::string::npos) << said;
    EXPECT_NE(said.find("root"), std::string::npos) << said;
}

// ---- usbfs ----------------------------------------------------------------------------------------------

struct UsbSeen {
    std::string node;
    usbdevfs_ctrltransfer transfer{};
    int calls = 0;
    int error = 0;
};
UsbSeen g_usb;

int recordControl(const std::string& node, usbdevfs_ctrltransfer& t) {
    ++g_usb.calls;
    g_usb.node = node;
    g_usb.transfer = t;
    if (g_usb.error) {
        errno = g_usb.error;
        return -1;
    }
    const std::uint8_t answer[4] = {4, 3, 0x09, 0x04};  // the language list: US English
    const int n = std::min<int>(t.wLength, 4);
    std::memcpy(t.data, answer, static_cast<std::size_t>(n));
    return n;
}

TEST_F(LinuxDevicesTest, DescriptorRequestsGoToThePortsDeviceThroughUsbfs) {
    g_usb = {};
    const auto previous = usbfs::setControlCall(&recordControl);
    LinuxDevices d = devices();
    const DeviceHandle hub = d.open("\\\\?\\USB#VID_0409&PID_55AA#1-1#{f18a0e88-c30c-11d0-8815-00a0c906bed8}",
                                    kAccessRead | kAccessWrite);
    ASSERT_TRUE(isValid(hub));
    const auto answer = d.descriptorFromConnection(hub, 3, SetupPacket{0x80, 6, 0x0300, 0, 255});
    ASSERT_TRUE(answer);
    EXPECT_EQ(*answer, (std::vector<std::uint8_t>{4, 3, 0x09, 0x04}));
    EXPECT_EQ(g_usb.node, dev / "bus/usb/001/004");
    EXPECT_EQ(g_usb.transfer.bRequestType, 0x80);
    EXPECT_EQ(g_usb.transfer.bRequest, 6);
    EXPECT_EQ(g_usb.transfer.wValue, 0x0300);
    EXPECT_EQ(g_usb.transfer.wLength, 255);

    g_usb.error = EPIPE;
    EXPECT_FALSE(d.descriptorFromConnection(hub, 3, SetupPacket{0x80, 6, 0x03FF, 1, 16}));
    EXPECT_EQ(lastError(), kErrorGenFailure) << "a stall";
    g_usb.error = ENODEV;
    EXPECT_FALSE(d.descriptorFromConnection(hub, 1, SetupPacket{0x80, 6, 0x0100, 0, 18}));
    EXPECT_EQ(lastError(), kErrorDeviceNotConnected);
    const int calls = g_usb.calls;
    EXPECT_FALSE(d.descriptorFromConnection(hub, 1, SetupPacket{0x80, 6, 0x0100, 0, 0}));
    EXPECT_EQ(lastError(), kErrorInvalidParameter);
    EXPECT_FALSE(d.descriptorFromConnection(hub, 2, SetupPacket{0x80, 6, 0x0100, 0, 18}));
    EXPECT_EQ(lastError(), kErrorDeviceNotConnected) << "an empty port";
    EXPECT_EQ(g_usb.calls, calls) << "nothing is sent for a zero length or an empty port";
    d.close(hub);
    usbfs::setControlCall(previous);
}

// ---- a restart, an eject, volumes -----------------------------------------------------------------------

TEST_F(LinuxDevicesTest, ARestartedBridgeIsAnotherDeviceForOldHandles) {
    LinuxDevices d = devices();
    const DeviceHandle old = d.open("\\\\.\\PHYSICALDRIVE1", kAccessNone);
    const DeviceHandle hub =
        d.open("\\\\?\\USB#VID_0409&PID_55AA#1-1#{f18a0e88-c30c-11d0-8815-00a0c906bed8}", kAccessNone);
    // The bridge drops off the bus...
    sys.remove(bridgeA);
    sys.remove("bus/usb/devices/1-1.1");
    sys.remove("block/sda");
    EXPECT_FALSE(d.deviceNumber(old));
    EXPECT_EQ(lastError(), kErrorDeviceNotConnected);
    EXPECT_EQ(d.connectionInfo(hub, 1)->status, ConnectionStatus::NoDeviceConnected);
    EXPECT_FALSE(isValid(d.open("\\\\.\\PHYSICALDRIVE1", kAccessNone)));
    // ...and returns on the same port as a new SCSI device that took the free name.
    const std::string back =
        sys.usbDevice(std::string(kHubFolder), "1-1.1", 1, 5, 0x3f10, 0x7120, 0x0100, 0, "480", 0, "KRV0001");
    sys.usbDisk(back, "sda", "sg2", 3, "KRV", "USB3.0 Bridge", 2'000'000);
    EXPECT_FALSE(d.deviceNumber(old)) << "the old handle does not reach the new device";
    const DeviceHandle fresh = d.open("\\\\.\\PHYSICALDRIVE1", kAccessNone);
    ASSERT_TRUE(isValid(fresh));
    EXPECT_EQ(d.deviceNumber(fresh)->deviceNumber, 1u);
    EXPECT_EQ(d.connectionInfo(hub, 1)->status, ConnectionStatus::DeviceConnected);
    for (DeviceHandle h : {old, hub, fresh}) d.close(h);
}

TEST_F(LinuxDevicesTest, EjectFlushesDeletesTheScsiDeviceAndRemovesTheUsbDevice) {
    const std::string scsiA = bridgeA + "/1-1.1:1.0/host0/target0:0:0/0:0:0:0";
    sys.attribute(scsiA + "/delete", "");
    sys.attribute(bridgeA + "/remove", "");
    sys.attribute(bridgeB + "/remove", "");
    LinuxDevices d = devices();
    const auto all = d.allDevices();
    const auto bridge = std::find_if(all.begin(), all.end(), [](const DeviceNode& n) {
        return n.instanceId == "USB\\VID_3F10&PID_7120\\KRV0001";
    });
    ASSERT_NE(bridge, all.end());
    EXPECT_EQ(bridge->classGuid, kGuidUsbClass);
    EXPECT_TRUE(d.requestEject(bridge->instanceId));
    std::ifstream deleted(folder / scsiA + "/delete"), removed(folder / bridgeA + "/remove"),
        untouched(folder / bridgeB + "/remove");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(deleted), {}), "1");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(removed), {}), "1");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(untouched), {}), "") << "the other bridge stays";

    EXPECT_FALSE(d.requestEject("USB\\VID_3F10&PID_7120\\NOSUCH"));
    EXPECT_EQ(lastError(), kErrorFileNotFound);
    // Without the device's delete file (an older kernel, or it vanished): refused and said.
    EXPECT_FALSE(d.requestEject("USB\\VID_3F10&PID_7120\\KRV0002"));
    EXPECT_EQ(lastError(), kErrorFileNotFound);
    EXPECT_EQ(
        std::string(std::istreambuf_iterator<char>(std::ifstream(folder / bridgeB + "/remove").rdbuf()), {}),
        "")
        << "the USB device is not removed before its disk was deleted";
}

TEST_F(LinuxDevicesTest, PartitionsOfBridgeDisksTakeLettersFromD) {
    sys.partition(diskB, "sdb1", 1, 2048, 1000);
    sys.partition(diskB, "sdb2", 2, 4096, 3000);
    sys.partition("devices/pci0000:00/0000:00:05.0/virtio1/host2/target2:0:0/2:0:0:0/block/vda", "vda1", 1,
                  2048, 50);
    LinuxDevices d = devices();
    EXPECT_FALSE(d.volumeNameForMountPoint("F:\\")) << "the system disk's partition takes no letter";
    const auto name = d.volumeNameForMountPoint("E:\\");
    ASSERT_TRUE(name);
    std::string path = *name;
    path.pop_back();
    const DeviceHandle volume = d.open(path, kAccessRead);
    ASSERT_TRUE(isValid(volume));
    const auto extents = d.diskExtents(volume);
    ASSERT_TRUE(extents);
    ASSERT_EQ(extents->size(), 1u);
    EXPECT_EQ((*extents)[0].diskNumber, 2u);
    EXPECT_EQ((*extents)[0].startingOffset, 4096 * 512);
    EXPECT_EQ((*extents)[0].extentLength, 3000 * 512);
    d.close(volume);
    const DeviceHandle byLetter = d.open("\\\\.\\d:", kAccessRead);
    ASSERT_TRUE(isValid(byLetter));
    EXPECT_EQ((*d.diskExtents(byLetter))[0].startingOffset, 2048 * 512);
    d.close(byLetter);
    EXPECT_EQ(d.driveType("C:\\"), kDriveFixed);
    EXPECT_EQ(d.driveType("D:\\"), kDriveFixed);
    EXPECT_EQ(d.driveType("F:\\"), kDriveNoRootDir);
    sys.attribute(diskB + "/removable", "1\n");
    EXPECT_EQ(d.driveType("e:\\"), kDriveRemovable);
}

// ---- what sysfs may get wrong ---------------------------------------------------------------------------

TEST_F(LinuxDevicesTest, MalformedOrMissingAttributesFailClearly) {
    LinuxDevices d = devices();
    const DeviceHandle hub =
        d.open("\\\\?\\USB#VID_0409&PID_55AA#1-1#{f18a0e88-c30c-11d0-8815-00a0c906bed8}", kAccessNone);
    ASSERT_TRUE(isValid(hub));
    sys.attribute(std::string(kHubFolder) + "/maxchild", "eight\n");
    EXPECT_FALSE(d.hubPortCount(hub));
    EXPECT_EQ(lastError(), kErrorGenFailure);
    sys.attribute(std::string(kHubFolder) + "/maxchild", "0\n");
    EXPECT_FALSE(d.hubPortCount(hub)) << "a hub that reports no ports";
    sys.attribute(std::string(kHubFolder) + "/maxchild", "8\n");
    EXPECT_EQ(d.hubPortCount(hub), 8u);

    // A device whose descriptor cannot be read failed its enumeration: a short "descriptors" is not
    // taken, and the attributes lack the vendor.
    sys.remove(bridgeB + "/idVendor");
    EXPECT_EQ(d.connectionInfo(hub, 3)->descriptor.idProduct, 0x7120)
        << "the descriptor as the device sent it";
    sys.attribute(bridgeB + "/descriptors", std::string("\x12\x01\x00\x02", 4));
    const auto info = d.connectionInfo(hub, 3);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->status, ConnectionStatus::DeviceFailedEnumeration);
    EXPECT_EQ(info->descriptor.idVendor, 0);
    d.close(hub);

    sys.attribute(diskA + "/size", "lots\n");
    const DeviceHandle disk = d.open("\\\\.\\PHYSICALDRIVE1", kAccessNone);
    EXPECT_FALSE(d.driveGeometry(disk));
    EXPECT_EQ(lastError(), kErrorNotReady);
    d.close(disk);
    EXPECT_FALSE(d.deviceNumber(disk));
    EXPECT_EQ(lastError(), kErrorInvalidHandle);
}

}  // namespace
