// What the system sees of a bench: interfaces, names, the USB tree, descriptors, numbering and volumes.
#include <gtest/gtest.h>

#include "bench/hex_text.h"
#include "bench_test_support.h"

namespace bench::testing {
namespace {

TEST(Topology, DiskInterfacesCarryTheInstanceSerialAndOpenToTheirDisk) {
    auto b = Bench::fromJson(
        benchWithBridges({{{"serial", "AbC123"}}, {{"serial", "X9"}, {"instance_serial", "INST-9"}}}));
    const auto disks = b->interfaces("{53f56307-b6bf-11d0-94f2-00a0c91efb8b}");
    ASSERT_EQ(disks.size(), 3u);  // the system disk and two bridges
    EXPECT_EQ(disks[1].devicePath,
              "\\\\?\\usbstor#disk&ven_krv&prod_usb3.0_bridge&rev_0100#abc123&0#{53f56307-b6bf-11d0-94f2-"
              "00a0c91efb8b}");
    EXPECT_EQ(disks[1].instanceId, "USBSTOR\\DISK&VEN_KRV&PROD_USB3.0_BRIDGE&REV_0100\\ABC123&0");
    EXPECT_NE(disks[2].devicePath.find("#inst-9&0#"), std::string::npos);

    std::uint32_t error = 0;
    const auto t = b->open(disks[2].devicePath, error);
    ASSERT_TRUE(t);
    EXPECT_EQ(b->deviceNumber(*t, error)->number, 2u);
    EXPECT_EQ(b->storageInfo(*t, error)->busType, 7u);
    EXPECT_EQ(b->storageInfo(*t, error)->serial, "INST-9");
    const auto system = b->open(disks[0].devicePath, error);
    ASSERT_TRUE(system);
    EXPECT_EQ(b->deviceNumber(*system, error)->number, 0u);
    EXPECT_EQ(b->storageInfo(*system, error)->busType, 11u);
}

TEST(Topology, CdromBridgesAppearOnlyAmongCdromInterfaces) {
    auto b = Bench::fromJson(benchWithBridges({{{"cdrom", true}, {"serial", "CD1"}}}));
    EXPECT_EQ(b->interfaces(kDiskInterfaceGuid).size(), 1u);
    const auto cdroms = b->interfaces(kCdromInterfaceGuid);
    ASSERT_EQ(cdroms.size(), 1u);
    EXPECT_EQ(cdroms[0].devicePath,
              "\\\\?\\usbstor#cdrom&ven_krv&prod_usb3.0_bridge&rev_0100#cd1&0#{53f56308-b6bf-11d0-94f2-"
              "00a0c91efb8b}");
    std::uint32_t error = 0;
    const auto t = b->open(cdroms[0].devicePath, error);
    ASSERT_TRUE(t);
    EXPECT_EQ(b->deviceNumber(*t, error)->deviceType, 2u);
    EXPECT_EQ(b->deviceNumber(*t, error)->number, 0u);
}

TEST(Topology, TwoBridgesWithOneSerialStillHaveDistinctDisksBothHoldingTheSerial) {
    auto b = Bench::fromJson(benchWithBridges({{{"serial", "SAME"}}, {{"serial", "SAME"}}}));
    const auto disks = b->interfaces(kDiskInterfaceGuid);
    ASSERT_EQ(disks.size(), 3u);
    EXPECT_NE(disks[1].devicePath, disks[2].devicePath);
    std::uint32_t error = 0;
    EXPECT_EQ(b->deviceNumber(*b->open(disks[1].devicePath, error), error)->number, 1u);
    EXPECT_EQ(b->deviceNumber(*b->open(disks[2].devicePath, error), error)->number, 2u);
    for (int i = 1; i <= 2; ++i)
        EXPECT_NE(toUpper(disks[static_cast<std::size_t>(i)].devicePath).find("SAME&0#"), std::string::npos);
}

TEST(Topology, TheUsbTreeWalksThroughHubsToEveryKindOfPort) {
    const auto json = nlohmann::json::parse(R"({"controllers": [
        {"port_count": 5, "ports": [
            {"port": 1, "device": {"description": "USB Input Device", "vid": "0x046D"}},
            {"port": 2, "failed": true},
            {"port": 4, "hub": {"port_count": 3, "ports": [
                {"port": 2, "bridge": {"id": "deep", "driver_class": "disk"}}]}}]},
        {"port_count": 2}]})");
    auto b = Bench::fromJson(json);
    const auto controllers = b->interfaces(kHostControllerInterfaceGuid);
    ASSERT_EQ(controllers.size(), 2u);
    const Target hc = openPath(*b, controllers[0].devicePath);
    std::uint32_t error = 0;
    EXPECT_EQ(b->controllerDriverKey(hc, error)->substr(0, 39), std::string(kUsbClassGuid) + "\\");
    const std::string rootName = *b->rootHubName(hc, error);
    EXPECT_EQ(rootName.rfind("USB#ROOT_HUB30#", 0), 0u);
    const Target root = openPath(*b, "\\\\.\\" + rootName);
    EXPECT_EQ(*b->hubPortCount(root, error), 5u);
    EXPECT_EQ(b->connection(root, 1, error)->status, ConnectionEntry::Status::Connected);
    EXPECT_EQ(b->connection(root, 1, error)->identity.vid, 0x046D);
    EXPECT_EQ(b->connection(root, 2, error)->status, ConnectionEntry::Status::FailedEnumeration);
    EXPECT_EQ(b->connection(root, 3, error)->status, ConnectionEntry::Status::NoDevice);
    EXPECT_TRUE(b->connection(root, 4, error)->isHub);
    EXPECT_FALSE(b->connection(root, 6, error));
    EXPECT_EQ(b->descriptionByDriverKey(*b->connectionDriverKey(root, 1, error)), "USB Input Device");

    const Target hub = openPath(*b, "\\\\?\\" + *b->connectionName(root, 4, error));
    EXPECT_EQ(*b->hubPortCount(hub, error), 3u);
    const auto bridge = b->connection(hub, 2, error);
    ASSERT_TRUE(bridge);
    EXPECT_EQ(bridge->identity.pid, 0x7120);
    EXPECT_EQ(bridge->speed, 3);
    const std::string key = *b->connectionDriverKey(hub, 2, error);
    EXPECT_EQ(key.substr(0, 38), kDiskDriveClassGuid);
    EXPECT_EQ(b->descriptionByDriverKey(key), "USB Mass Storage Device");
    EXPECT_EQ(b->hardwareIdByDriverKey(key), "USB\\VID_3F10&PID_7120&REV_0100");
    EXPECT_EQ(b->hardwareIdByDriverKey(*b->controllerDriverKey(hc, error)),
              b->description().controllers[0].hardwareId);
}

TEST(Topology, MoreThanTwentyControllersAreAllPresent) {
    nlohmann::json controllers = nlohmann::json::array();
    for (int i = 0; i < 22; ++i) controllers.push_back({{"port_count", 2}});
    controllers[21]["ports"] = {{{"port", 1}, {"bridge", nlohmann::json::object()}}};
    auto b = Bench::fromJson({{"controllers", controllers}});
    EXPECT_EQ(b->interfaces(kHostControllerInterfaceGuid).size(), 22u);
    EXPECT_EQ(b->diskNumbersPresent(), (std::vector<int>{0, 1}));
}

TEST(Topology, StringDescriptorsAndTheOnTheGoStatus) {
    auto b = Bench::fromJson(benchWithBridges(
        {{{"manufacturer", "KRV"}, {"serial", "S1"}, {"otb_status", "AAAA000102030405060708090A0B0C0D"}},
         {{"serial", "S2"}}}));
    const Target root = openPath(*b, "\\\\.\\" + b->description().hubs[0].name);
    std::uint32_t error = 0;
    EXPECT_EQ(*b->descriptor(root, 1, {0x80, 6, 0x0300, 0, 4}, error),
              (std::vector<std::uint8_t>{4, 3, 0x09, 0x04}));
    EXPECT_EQ(*b->descriptor(root, 1, {0x80, 6, 0x0301, 0x0409, 255}, error),
              (std::vector<std::uint8_t>{8, 3, 'K', 0, 'R', 0, 'V', 0}));
    const auto status = b->descriptor(root, 1, {0x80, 6, 0x03FF, 1, 16}, error);
    ASSERT_TRUE(status);
    ASSERT_EQ(status->size(), 16u);
    EXPECT_EQ((*status)[0], 0xAA);
    EXPECT_EQ((*status)[15], 0x0D);
    EXPECT_FALSE(b->descriptor(root, 2, {0x80, 6, 0x03FF, 1, 16}, error));
    EXPECT_EQ(error, err::kGenFailure);
    const auto device = b->descriptor(root, 2, {0x80, 6, 0x0100, 0, 18}, error);
    ASSERT_TRUE(device);
    EXPECT_EQ((*device)[8], 0x10);  // idVendor low byte
}

TEST(Topology, DescriptorRequestsAreCheckedAndTraced) {
    auto b = Bench::fromJson(benchWithBridges({{{"id", "b"}, {"manufacturer", "KRV"}}}));
    const Target root = openPath(*b, "\\\\.\\" + b->description().hubs[0].name);
    std::uint32_t error = 0;
    // No room for an answer: refused before the request is sent.
    EXPECT_FALSE(b->descriptor(root, 1, {0x80, 6, 0x0301, 0x0409, 0}, error));
    EXPECT_EQ(error, err::kInvalidParameter);
    // A string in a language the device does not list, or the language list asked in a language, stalls.
    EXPECT_FALSE(b->descriptor(root, 1, {0x80, 6, 0x0301, 0x0407, 255}, error));
    EXPECT_EQ(error, err::kGenFailure);
    EXPECT_FALSE(b->descriptor(root, 1, {0x80, 6, 0x0300, 0x0409, 4}, error));
    EXPECT_EQ(error, err::kGenFailure);
    // The answer is cut to wLength.
    EXPECT_EQ(*b->descriptor(root, 1, {0x80, 6, 0x0301, 0x0409, 4}, error),
              (std::vector<std::uint8_t>{8, 3, 'K', 0}));
    EXPECT_FALSE(b->descriptor(root, 2, {0x80, 6, 0x0300, 0, 4}, error));  // an empty port
    EXPECT_EQ(error, err::kDeviceNotConnected);

    const auto trace = b->controlTrace();
    ASSERT_EQ(trace.size(), 5u);
    EXPECT_EQ(trace[0].device, "b");
    EXPECT_EQ(trace[0].wLength, 0);
    EXPECT_FALSE(trace[0].ok);
    EXPECT_EQ(trace[0].systemError, err::kInvalidParameter);
    EXPECT_EQ(trace[1].wIndex, 0x0407);
    EXPECT_TRUE(trace[3].ok);
    EXPECT_EQ(trace[3].bytes, 4u);
    EXPECT_EQ(trace[4].device, "port2");
}

TEST(Topology, SystemDisksTakeTheFirstNumbersAndFixedNumbersAreKept) {
    nlohmann::json json =
        benchWithBridges({nlohmann::json::object(), {{"disk_number", 7}}, nlohmann::json::object()});
    json["system_disks"] = 2;
    auto b = Bench::fromJson(json);
    EXPECT_EQ(b->diskNumbersPresent(), (std::vector<int>{0, 1, 2, 3, 7}));
    EXPECT_EQ(b->readRegistry(kDiskEnumKey, "Count")->data[0], 5);
    EXPECT_EQ(fromUtf16le(b->readRegistry(kDiskEnumKey, "4")->data), b->names().bridgeStorage[1].instanceId);
}

TEST(Topology, VolumesLieOnTheirDiskAndFollowItAcrossARestart) {
    nlohmann::json json = benchWithBridges({{{"volume_letter", "E"}, {"restart_delay_ms", 0}}});
    json["volumes"] = {{{"letter", "Z"}, {"type", "remote"}}};
    auto b = Bench::fromJson(json);
    std::uint32_t error = 0;
    const auto name = b->volumeNameForMountPoint("E:\\", error);
    ASSERT_TRUE(name);
    EXPECT_EQ(name->rfind("\\\\?\\Volume{", 0), 0u);
    EXPECT_EQ(name->back(), '\\');
    const Target volume = openPath(*b, name->substr(0, name->size() - 1));
    EXPECT_EQ((*b->diskExtents(volume, error))[0].diskNumber, 1u);
    EXPECT_EQ(b->driveType("E:\\"), 3u);
    EXPECT_EQ(b->driveType("C:\\"), 3u);
    EXPECT_EQ(b->driveType("Z:\\"), 4u);
    EXPECT_EQ(b->driveType("Q:\\"), 1u);
    EXPECT_FALSE(b->volumeNameForMountPoint("D:\\", error));
    EXPECT_FALSE(b->diskExtents(openPath(*b, "\\\\.\\Z:"), error));

    send(*b, disk(*b, 1), cpuReset());
    EXPECT_EQ((*b->diskExtents(openPath(*b, "\\\\.\\E:"), error))[0].diskNumber, 2u);
}

TEST(Topology, EveryPresentDeviceIsInTheInstallationSetWithItsClass) {
    auto b = Bench::fromJson(benchWithBridges({{{"serial", "S1"}}}));
    int usb = 0, disks = 0;
    bool bridgeFound = false;
    for (const auto& d : b->allDevices()) {
        if (d.classGuid == kUsbClassGuid) ++usb;
        if (d.classGuid == kDiskDriveClassGuid) ++disks;
        if (d.instanceId == "USB\\VID_3F10&PID_7120\\S1") bridgeFound = true;
    }
    EXPECT_EQ(usb, 3);    // controller, root hub, bridge
    EXPECT_EQ(disks, 2);  // system disk, bridge disk
    EXPECT_TRUE(bridgeFound);
    std::uint32_t error = 0;
    EXPECT_TRUE(b->requestEject("USB\\VID_3F10&PID_7120\\S1", error));
    EXPECT_EQ(b->allDevices().size(), 3u);
}

}  // namespace
}  // namespace bench::testing
