// The Linux ports over the sysfs tree recorded in the end-to-end guest (scripts/e2e-linux.sh
// --capture-sysfs): QEMU's xHCI controller, a hub on its first root port, and two bridges behind the hub,
// with the guest's virtio system disk.
#include <gtest/gtest.h>

#include "platform/linux/disk_enum_registry.h"
#include "platform/linux/linux_devices.h"
#include "platform/linux/linux_registry.h"
#include "temp_folder.h"

namespace {

using namespace quib::platform;

constexpr const char* kHub = "\\\\?\\USB#VID_0409&PID_55AA#1-1#{f18a0e88-c30c-11d0-8815-00a0c906bed8}";

class GuestSysfsTest : public ::testing::Test {
  protected:
    LinuxDevices d{{QUIB_GUEST_SYSFS, "/nonexistent-dev"}};
};

TEST_F(GuestSysfsTest, TheXhciControllerShowsItsTwoBusesAsControllers) {
    const auto controllers = d.interfaces(kGuidUsbHostController);
    ASSERT_EQ(controllers.size(), 2u);
    EXPECT_EQ(controllers[0].instanceId, "PCI#VEN_1B36&DEV_000D&SUBSYS_11001AF4&REV_01#0000:00:03.0&1");
    EXPECT_EQ(controllers[0].properties.at("DeviceDesc"), "USB xHCI Compliant Host Controller");
    const DeviceHandle usb2 = d.open(controllers[0].devicePath, kAccessRead | kAccessWrite);
    const DeviceHandle usb3 = d.open(controllers[1].devicePath, kAccessRead | kAccessWrite);
    ASSERT_TRUE(isValid(usb2) && isValid(usb3));
    EXPECT_EQ(d.rootHubName(usb2), "USB#ROOT_HUB20#usb1#{f18a0e88-c30c-11d0-8815-00a0c906bed8}");
    EXPECT_EQ(d.rootHubName(usb3), "USB#ROOT_HUB30#usb2#{f18a0e88-c30c-11d0-8815-00a0c906bed8}");
    const DeviceHandle root = d.open("\\\\.\\" + *d.rootHubName(usb2), kAccessRead | kAccessWrite);
    EXPECT_EQ(d.hubPortCount(root), 4u);
    const auto onPort1 = d.connectionInfo(root, 1);
    ASSERT_TRUE(onPort1);
    EXPECT_TRUE(onPort1->deviceIsHub);
    EXPECT_EQ(d.connectionName(root, 1), std::string(kHub).substr(4));
    for (std::uint32_t port = 2; port <= 4; ++port)
        EXPECT_EQ(d.connectionInfo(root, port)->status, ConnectionStatus::NoDeviceConnected);
    for (DeviceHandle h : {root, usb3, usb2}) d.close(h);
}

TEST_F(GuestSysfsTest, BothBridgesBehindTheHubWithTheDescriptorsTheySent) {
    const DeviceHandle hub = d.open(kHub, kAccessRead | kAccessWrite);
    ASSERT_TRUE(isValid(hub));
    EXPECT_EQ(d.hubPortCount(hub), 8u);
    for (std::uint32_t port : {1u, 2u}) {
        const auto info = d.connectionInfo(hub, port);
        ASSERT_TRUE(info);
        EXPECT_EQ(info->status, ConnectionStatus::DeviceConnected);
        EXPECT_FALSE(info->deviceIsHub);
        EXPECT_EQ(info->speed, 1) << "full speed behind QEMU's hub";
        EXPECT_EQ(info->descriptor.idVendor, 0x3f10);
        EXPECT_EQ(info->descriptor.idProduct, 0x7120);
        EXPECT_EQ(info->descriptor.bcdDevice, 0x0100);
        EXPECT_EQ(info->descriptor.iSerialNumber, 3);
        const auto key = d.connectionDriverKeyName(hub, port);
        ASSERT_TRUE(key);
        EXPECT_EQ(d.descriptionByDriverKey(*key), "USB Mass Storage Device");
    }
    EXPECT_EQ(d.connectionInfo(hub, 3)->status, ConnectionStatus::NoDeviceConnected);
    d.close(hub);
}

TEST_F(GuestSysfsTest, TheBridgesDisksFollowTheSystemDisk) {
    const char* serials[] = {"KRVB00000001", "KRVB00000002"};
    for (int n = 1; n <= 2; ++n) {
        const DeviceHandle h = d.open("\\\\.\\PhysicalDrive" + std::to_string(n), kAccessNone);
        ASSERT_TRUE(isValid(h)) << n;
        const auto descriptor = d.storageDescriptor(h);
        ASSERT_TRUE(descriptor);
        EXPECT_EQ(descriptor->busType, 7u);
        EXPECT_EQ(descriptor->vendor, "KRV");
        EXPECT_EQ(descriptor->product, "USB3.0 Bridge");
        EXPECT_EQ(descriptor->revision, "0100");
        EXPECT_EQ(descriptor->serial, serials[n - 1]);
        EXPECT_EQ(d.driveGeometry(h)->diskSize, 1953525168ull * 512);
        d.close(h);
    }
    const DeviceHandle system = d.open("\\\\.\\PHYSICALDRIVE0", kAccessNone);
    ASSERT_TRUE(isValid(system));
    EXPECT_EQ(d.storageDescriptor(system)->busType, 14u);
    d.close(system);

    const auto disks = d.interfaces(kGuidDiskInterface);
    ASSERT_EQ(disks.size(), 3u);
    EXPECT_EQ(disks[1].instanceId, "USBSTOR\\DISK&VEN_KRV&PROD_USB3.0_BRIDGE&REV_0100\\KRVB00000001&0");
    EXPECT_EQ(disks[2].instanceId, "USBSTOR\\DISK&VEN_KRV&PROD_USB3.0_BRIDGE&REV_0100\\KRVB00000002&0");

    TempFolder store;
    FileRegistry file(store / "registry.json");
    DiskEnumRegistry registry(file, d);
    EXPECT_EQ(registry.readValue("System\\CurrentControlSet\\Services\\Disk\\Enum", "Count")->data,
              (std::vector<std::uint8_t>{3, 0, 0, 0}));
}

}  // namespace
