// The other ports over the bench, and two backends over one folder used like the program and its library.
#include "platform/bench/bench_backend.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "bench_test_support.h"
#include "platform/backends.h"

namespace quib::platform {
namespace {

using bench::testing::benchWithBridges;
using bench::testing::TempFolder;

std::string readText(const std::filesystem::path& file) {
    std::ifstream in(file);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(BenchBackend, RefusesAFolderWithoutAValidDescriptionNamingTheFile) {
    TempFolder folder;
    try {
        makeBenchBackend(folder.path().string());
        FAIL() << "accepted a folder without bench.json";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find((folder.path() / "bench.json").string()), std::string::npos);
    }
    std::ofstream(folder.path() / "bench.json") << "{\"system_disks\": \"one\"}";
    try {
        makeBenchBackend(folder.path().string());
        FAIL() << "accepted a malformed bench.json";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("system_disks"), std::string::npos);
    }
}

TEST(BenchBackend, RegistryClockAndMessageBoxes) {
    auto json = benchWithBridges({});
    json["message_box_answers"] = {kIdNo};
    auto backend = makeBenchBackend(bench::Bench::fromJson(json));
    Platform& p = backend->platform();

    const RegistryValue value{RegistryType::Dword, {5, 0, 0, 0}};
    EXPECT_TRUE(p.registry.writeValue("SOFTWARE\\Quib\\Stamp", "Version", value));
    EXPECT_TRUE(p.registry.keyExists("software\\quib\\stamp"));
    EXPECT_EQ(p.registry.readValue("SOFTWARE\\QUIB\\Stamp", "version")->data, value.data);
    EXPECT_FALSE(p.registry.readValue("SOFTWARE\\Quib\\Stamp", "Other"));
    EXPECT_EQ(lastError(), kErrorFileNotFound);
    const auto count = p.registry.readValue("System\\CurrentControlSet\\Services\\Disk\\Enum", "Count");
    ASSERT_TRUE(count);
    EXPECT_EQ(count->type, RegistryType::Dword);
    EXPECT_EQ(count->data[0], 1);  // the system disk

    const std::uint64_t start = p.clock.tickMs();
    const std::int64_t counter = p.clock.performanceCounter();
    p.clock.sleepMs(60000);
    EXPECT_EQ(p.clock.tickMs() - start, 60000u);
    EXPECT_EQ(p.clock.performanceCounter() - counter, 60000 * p.clock.performanceFrequency() / 1000);
    EXPECT_EQ(p.clock.unixSeconds(), 1700000060);

    EXPECT_EQ(p.ui.messageBox("Update PD?", "Question", kMbYesNo | kMbIconQuestion), kIdNo);
    EXPECT_EQ(p.ui.messageBox("Done", "Information", kMbOk | kMbIconInformation), kIdOk);
    EXPECT_EQ(p.ui.messageBox("Again?", "Question", kMbYesNo), kIdYes);
}

TEST(BenchBackend, UsbTreeAndDevicesAnswerDiscoveryWalk) {
    auto bench = bench::Bench::fromJson(
        benchWithBridges({{{"serial", "S1"}, {"otb_status", "AAAA0000000000000000000000000000"}}}));
    auto backend = makeBenchBackend(bench);
    Platform& p = backend->platform();
    const auto controllers = p.devices.interfaces(kGuidUsbHostController);
    ASSERT_EQ(controllers.size(), 1u);
    const DeviceHandle hc = p.storage.open(controllers[0].devicePath, kAccessRead | kAccessWrite);
    ASSERT_TRUE(isValid(hc));
    EXPECT_EQ(p.devices.hardwareIdByDriverKey(*p.usb.hcdDriverKeyName(hc)),
              controllers[0].properties.at("HardwareID"));
    const DeviceHandle root = p.storage.open("\\\\.\\" + *p.usb.rootHubName(hc), 0);
    ASSERT_TRUE(isValid(root));
    EXPECT_EQ(p.usb.hubPortCount(root), 4u);
    const auto info = p.usb.connectionInfo(root, 1);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->status, ConnectionStatus::DeviceConnected);
    EXPECT_EQ(info->descriptor.idProduct, 0x7120);
    EXPECT_EQ(info->descriptor.iSerialNumber, 3);
    EXPECT_EQ(p.usb.connectionInfo(root, 2)->status, ConnectionStatus::NoDeviceConnected);
    const std::string key = *p.usb.connectionDriverKeyName(root, 1);
    EXPECT_EQ(key.substr(0, 38), kGuidUsbClass);
    EXPECT_EQ(p.devices.descriptionByDriverKey(key), "USB Mass Storage Device");

    const auto serial = p.usb.descriptorFromConnection(root, 1, SetupPacket{0x80, 6, 0x0303, 0x0409, 255});
    EXPECT_EQ(*serial, (std::vector<std::uint8_t>{6, 3, 'S', 0, '1', 0}));
    const auto otb = p.usb.descriptorFromConnection(root, 1, SetupPacket{0x80, 6, 0x03FF, 1, 16});
    ASSERT_TRUE(otb);
    EXPECT_EQ((*otb)[0], 0xAA);
    EXPECT_FALSE(p.usb.descriptorFromConnection(root, 2, SetupPacket{0x80, 6, 0x0300, 0, 4}));
    EXPECT_EQ(lastError(), kErrorDeviceNotConnected);
    // A bridge without the status request stalls it: "the device does not function" (31).
    auto noStatus = bench::Bench::fromJson(benchWithBridges({nlohmann::json::object()}));
    auto other = makeBenchBackend(noStatus);
    const DeviceHandle otherRoot =
        other->platform().storage.open("\\\\.\\" + noStatus->description().hubs[0].name, 0);
    EXPECT_FALSE(
        other->platform().usb.descriptorFromConnection(otherRoot, 1, SetupPacket{0x80, 6, 0x03FF, 1, 16}));
    EXPECT_EQ(lastError(), kErrorGenFailure);
    EXPECT_FALSE(other->platform().usb.connectionName(otherRoot, 1));
    EXPECT_EQ(lastError(), kErrorInvalidParameter);

    bool found = false;
    for (const auto& d : p.devices.allDevices())
        if (d.classGuid == kGuidDiskDriveClass && d.instanceId.find("\\S1&0") != std::string::npos)
            found = true;
    EXPECT_TRUE(found);
    EXPECT_TRUE(p.devices.requestEject("USB\\VID_3F10&PID_7120\\S1"));
    EXPECT_EQ(p.usb.connectionInfo(root, 1)->status, ConnectionStatus::NoDeviceConnected);
    EXPECT_FALSE(p.devices.requestEject("USB\\VID_3F10&PID_7120\\S1"));
}

TEST(BenchBackend, VolumesGiveTheLetterOfADisk) {
    auto backend = makeBenchBackend(bench::Bench::fromJson(benchWithBridges({{{"volume_letter", "E"}}})));
    Platform& p = backend->platform();
    const auto name = p.volumes.volumeNameForMountPoint("E:\\");
    ASSERT_TRUE(name);
    const DeviceHandle v = p.storage.open(name->substr(0, name->size() - 1), kAccessRead);
    ASSERT_TRUE(isValid(v));
    const auto extents = p.volumes.diskExtents(v);
    ASSERT_TRUE(extents);
    EXPECT_EQ((*extents)[0].diskNumber, 1u);
    EXPECT_EQ(p.volumes.driveType("E:\\"), kDriveFixed);
    EXPECT_EQ(p.volumes.driveType("F:\\"), kDriveNoRootDir);
    EXPECT_FALSE(p.volumes.volumeNameForMountPoint("F:\\"));
    EXPECT_EQ(p.volumes.processorArchitecture(), 9u);
}

// The program and the library each hold a backend over the same folder; a handle opened by one is used
// by the other, and each sees what the other did.
TEST(BenchBackend, TwoBackendsOverOneFolderAlternateLikeTwoModules) {
    TempFolder folder;
    bench::Bench::createFolder(folder.path(), benchWithBridges({{{"restart_delay_ms", 1500}}}));
    auto program = makeBenchBackend(folder.path().string());
    auto library = makeBenchBackend(folder.path().string());

    const DeviceHandle h =
        program->platform().storage.open("\\\\.\\PHYSICALDRIVE1", kAccessRead | kAccessWrite);
    records::ScsiPassThroughWithBuffers r{};
    r.spt.Length = 44;
    r.spt.CdbLength = 6;
    r.spt.DataIn = 0;
    r.spt.TimeOutValue = 60;
    r.spt.DataBufferOffset = 80;
    r.spt.SenseInfoOffset = 48;
    const std::uint8_t write[] = {0xE5, 0x01, 0, 0xCA, 0x02, 0};
    std::memcpy(r.spt.Cdb, write, sizeof write);
    ASSERT_TRUE(library->platform().storage.scsiPassThrough(h, r, 65616, 65616).ok);
    ASSERT_EQ(r.spt.ScsiStatus, 0);

    r.spt.CdbLength = 12;
    const std::uint8_t reset[] = {0xE8, 0, 0, 0, 0, 0};
    std::memcpy(r.spt.Cdb, reset, sizeof reset);
    ASSERT_TRUE(library->platform().storage.scsiPassThrough(h, r, 65616, 80).ok);
    EXPECT_EQ(program->platform().storage.open("\\\\.\\PHYSICALDRIVE1", 0), kInvalidHandle);
    program->platform().clock.sleepMs(1000);
    library->platform().clock.sleepMs(500);
    const DeviceHandle back =
        program->platform().storage.open("\\\\.\\PHYSICALDRIVE2", kAccessRead | kAccessWrite);
    ASSERT_TRUE(isValid(back));

    records::ScsiPassThroughWithBuffers read{};
    read.spt.Length = 44;
    read.spt.CdbLength = 6;
    read.spt.DataIn = 1;
    read.spt.DataTransferLength = 1;
    read.spt.TimeOutValue = 3;
    read.spt.DataBufferOffset = 80;
    const std::uint8_t cdb[] = {0xE4, 1, 0, 0xCA, 0x02, 0};
    std::memcpy(read.spt.Cdb, cdb, sizeof cdb);
    ASSERT_TRUE(library->platform().storage.scsiPassThrough(back, read, 65616, 81).ok);
    EXPECT_EQ(read.ucDataBuf[0], 1);

    program->platform().ui.debugOutput("\r\nMSG::from the program");
    library->platform().ui.debugOutput("\r\nMSG::from the library");
    EXPECT_EQ(readText(folder.path() / "debug.log"),
              "\r\nMSG::from the program\n\r\nMSG::from the library\n");
    // All three commands, sent through either backend, are in the one trace.
    const auto records = bench::Bench::openFolder(folder.path())->traceAll();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[1].cdb[0], 0xE8);
    EXPECT_EQ(records[2].device, "bridge0");
}

TEST(BenchBackend, InstalledBackendCarriesTheLogToTheBench) {
    auto bench = bench::Bench::fromJson(benchWithBridges({}));
    auto previous = install(makeBenchBackend(bench));
    get().ui.debugOutput("line");
    install(std::move(previous));
    EXPECT_EQ(bench->debugLines(), (std::vector<std::string>{"line"}));
}

}  // namespace
}  // namespace quib::platform
