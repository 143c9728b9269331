// The Win32 device ports against a bench answered through the device call table: the same answers as
// the bench backend's ports give, answers that need more room asked again with the room named, short
// answers read no further than they reach, and failures carried to the seam's last error.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "platform/bench/bench_backend.h"
#include "platform/win32/win32_devices.h"
#include "platform/win32/win32_storage.h"
#include "platform/win32/win32_usb_tree.h"
#include "platform/win32/win32_volumes.h"
#include "tests/devcore/bench_fixture.h"
#include "tests/platform/win32/bench_device_calls.h"

namespace win32_test {
namespace {

namespace qp = quib::platform;
using devcore_test::json;

const std::string kLongDescription(300, 'D');  // a property of 602 bytes: more than the first ask

json portsBench() {
    json hub = {
        {"port", 1},
        {"hub", {{"port_count", 4}, {"ports", json::array({devcore_test::bridgePort(2, "h2", "SN-H2")})}}}};
    json root = devcore_test::bridgePort(2, "r2", "SN-R2",
                                         {{"description", kLongDescription}, {"volume_letter", "E"}});
    return devcore_test::benchOf(json::array({devcore_test::controller(json::array({hub, root}), 4)}));
}

class Win32PortsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_bench = bench::Bench::fromJson(portsBench());
        m_table = std::make_unique<BenchDeviceCalls>(m_bench);
        m_installed = std::make_unique<ScopedDeviceCalls>(*m_table);
        m_reference = qp::makeBenchBackend(bench::Bench::fromJson(portsBench()));
    }
    void TearDown() override {
        EXPECT_EQ(m_table->openSets(), 0) << "an information set was not destroyed";
        m_installed.reset();
    }

    // The bench backend's own ports over an identical bench: what the Win32 ports must answer.
    qp::Platform& reference() { return m_reference->platform(); }
    // Opens through the Win32 port; closed by the test.
    qp::DeviceHandle open(const std::string& path,
                          std::uint32_t access = qp::kAccessRead | qp::kAccessWrite) {
        return m_storage.open(path, access);
    }
    std::string controllerPath() {
        return reference().devices.interfaces(qp::kGuidUsbHostController).at(0).devicePath;
    }

    std::shared_ptr<bench::Bench> m_bench;
    std::unique_ptr<BenchDeviceCalls> m_table;
    std::unique_ptr<ScopedDeviceCalls> m_installed;
    std::unique_ptr<qp::Backend> m_reference;
    qp::Win32Storage m_storage;
    qp::Win32UsbTree m_usb;
    qp::Win32Devices m_devices;
    qp::Win32Volumes m_volumes;
};

// ---- storage -----------------------------------------------------------------------------------------

TEST_F(Win32PortsTest, OpenAndCloseGiveTheHandleBack) {
    const qp::DeviceHandle h = open("\\\\.\\PHYSICALDRIVE1");
    ASSERT_TRUE(qp::isValid(h));
    EXPECT_EQ(qp::lastError(), qp::kErrorSuccess);
    EXPECT_EQ(m_table->openHandles(), 1);
    m_storage.close(h);
    EXPECT_EQ(m_table->openHandles(), 0);
}

TEST_F(Win32PortsTest, ClosingAnInvalidHandleNeverReachesWindows) {
    qp::setLastError(0);
    m_storage.close(qp::kInvalidHandle);
    EXPECT_EQ(qp::lastError(), qp::kErrorInvalidHandle);
    m_storage.close(0);
    EXPECT_EQ(qp::lastError(), qp::kErrorInvalidHandle);
    EXPECT_EQ(m_table->closeCalls, 0);
}

TEST_F(Win32PortsTest, AMissingDeviceIsAnInvalidHandleWithTheSystemsError) {
    qp::setLastError(0);
    EXPECT_EQ(open("\\\\.\\PHYSICALDRIVE9"), qp::kInvalidHandle);
    EXPECT_EQ(qp::lastError(), qp::kErrorFileNotFound);
}

// Windows refuses the open: the process is not elevated.
class NotElevated : public BenchDeviceCalls {
  public:
    using BenchDeviceCalls::BenchDeviceCalls;
    HANDLE createFile(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) override {
        setLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
};

TEST_F(Win32PortsTest, AccessDeniedNamesTheDeviceAndSaysToRunAsAdministratorOnce) {
    NotElevated refusing(m_bench);
    ScopedDeviceCalls installed(refusing);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(open("\\\\.\\PHYSICALDRIVE1"), qp::kInvalidHandle);
    EXPECT_EQ(qp::lastError(), qp::kErrorAccessDenied);
    EXPECT_EQ(open("\\\\.\\PHYSICALDRIVE1"), qp::kInvalidHandle);
    EXPECT_EQ(qp::lastError(), qp::kErrorAccessDenied);
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(said, "KRV610xFWUpg: \\\\.\\PHYSICALDRIVE1: access denied. Run as administrator\n");
}

TEST_F(Win32PortsTest, DeviceNumberDescriptorAndGeometryAreTheBenchs) {
    for (const std::string path :
         {"\\\\.\\PHYSICALDRIVE0", "\\\\.\\PHYSICALDRIVE1", "\\\\.\\PHYSICALDRIVE2"}) {
        SCOPED_TRACE(path);
        const qp::DeviceHandle h = open(path, qp::kAccessNone);
        const qp::DeviceHandle r = reference().storage.open(path, qp::kAccessNone);
        ASSERT_TRUE(qp::isValid(h));
        const auto number = m_storage.deviceNumber(h);
        const auto expectedNumber = reference().storage.deviceNumber(r);
        ASSERT_TRUE(number && expectedNumber);
        EXPECT_EQ(number->deviceType, expectedNumber->deviceType);
        EXPECT_EQ(number->deviceNumber, expectedNumber->deviceNumber);
        const auto d = m_storage.storageDescriptor(h);
        const auto e = reference().storage.storageDescriptor(r);
        ASSERT_TRUE(d && e);
        EXPECT_EQ(d->busType, e->busType);
        EXPECT_EQ(d->removable, e->removable);
        EXPECT_EQ(d->vendor, e->vendor);
        EXPECT_EQ(d->product, e->product);
        EXPECT_EQ(d->revision, e->revision);
        EXPECT_EQ(d->serial, e->serial);
        const auto g = m_storage.driveGeometry(h);
        const auto f = reference().storage.driveGeometry(r);
        ASSERT_TRUE(g && f);
        EXPECT_EQ(g->cylinders, f->cylinders);
        EXPECT_EQ(g->tracksPerCylinder, f->tracksPerCylinder);
        EXPECT_EQ(g->sectorsPerTrack, f->sectorsPerTrack);
        EXPECT_EQ(g->bytesPerSector, f->bytesPerSector);
        EXPECT_EQ(g->diskSize, f->diskSize);
        m_storage.close(h);
    }
}

TEST_F(Win32PortsTest, DescriptorIsAskedAgainWithTheSizeItsHeaderNames) {
    const qp::DeviceHandle h = open("\\\\.\\PHYSICALDRIVE1", qp::kAccessNone);
    ASSERT_TRUE(m_storage.storageDescriptor(h));
    EXPECT_EQ(m_table->controlCalls[IOCTL_STORAGE_QUERY_PROPERTY], 2);
    m_storage.close(h);
}

TEST_F(Win32PortsTest, ADescriptorCutShortKeepsOnlyTheTextItHolds) {
    const qp::DeviceHandle h = open("\\\\.\\PHYSICALDRIVE1", qp::kAccessNone);
    const qp::DeviceHandle r = reference().storage.open("\\\\.\\PHYSICALDRIVE1", qp::kAccessNone);
    const auto whole = reference().storage.storageDescriptor(r);
    ASSERT_TRUE(whole);
    // Cut two characters into the vendor text, which follows the fixed part.
    m_table->shortAnswers[IOCTL_STORAGE_QUERY_PROPERTY] = 36 + 2;
    const auto cut = m_storage.storageDescriptor(h);
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->vendor, whole->vendor.substr(0, 2));
    EXPECT_EQ(cut->product, "");
    EXPECT_EQ(cut->serial, "");
    m_storage.close(h);
}

TEST_F(Win32PortsTest, AnswersTooShortForWhatIsReadAreFailures) {
    const qp::DeviceHandle h = open("\\\\.\\PHYSICALDRIVE1", qp::kAccessNone);
    struct Case {
        DWORD code;
        DWORD cut;
        std::function<bool()> asks;
    };
    const Case cases[] = {
        {IOCTL_STORAGE_GET_DEVICE_NUMBER, 11, [&] { return m_storage.deviceNumber(h).has_value(); }},
        {IOCTL_STORAGE_QUERY_PROPERTY, 7, [&] { return m_storage.storageDescriptor(h).has_value(); }},
        {IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, 31, [&] { return m_storage.driveGeometry(h).has_value(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        m_table->shortAnswers = {{c.code, c.cut}};
        qp::setLastError(0);
        EXPECT_FALSE(c.asks());
        EXPECT_EQ(qp::lastError(), qp::kErrorGenFailure);
    }
    m_storage.close(h);
}

TEST_F(Win32PortsTest, GeometryFallsBackToThePlainFormWhereTheExtendedIsUnknown) {
    const qp::DeviceHandle h = open("\\\\.\\PHYSICALDRIVE1", qp::kAccessNone);
    const qp::DeviceHandle r = reference().storage.open("\\\\.\\PHYSICALDRIVE1", qp::kAccessNone);
    m_table->unknownCodes = {IOCTL_DISK_GET_DRIVE_GEOMETRY_EX};
    const auto g = m_storage.driveGeometry(h);
    const auto f = reference().storage.driveGeometry(r);
    ASSERT_TRUE(g && f);
    EXPECT_EQ(m_table->controlCalls[IOCTL_DISK_GET_DRIVE_GEOMETRY], 1);
    EXPECT_EQ(g->cylinders, f->cylinders);
    EXPECT_EQ(g->bytesPerSector, f->bytesPerSector);
    EXPECT_EQ(g->diskSize, f->cylinders * f->tracksPerCylinder * f->sectorsPerTrack * f->bytesPerSector);
    m_storage.close(h);
}

// An INQUIRY through the buffered record.
std::unique_ptr<quib::records::ScsiPassThroughWithBuffers> inquiry() {
    auto r = std::make_unique<quib::records::ScsiPassThroughWithBuffers>();
    std::memset(r.get(), 0, sizeof *r);
    r->spt.Length = 44;
    r->spt.CdbLength = 6;
    r->spt.SenseInfoLength = 24;
    r->spt.DataIn = quib::records::kScsiDataIn;
    r->spt.DataTransferLength = 36;
    r->spt.TimeOutValue = 10;
    r->spt.DataBufferOffset = quib::records::kSptHeaderAndSense;
    r->spt.SenseInfoOffset = 48;
    r->spt.Cdb[0] = 0x12;
    r->spt.Cdb[4] = 36;
    std::memset(r->ucDataBuf, 0x5A, sizeof r->ucDataBuf);
    return r;
}

TEST_F(Win32PortsTest, PassThroughAnswersAsTheBenchPortDoes) {
    const qp::DeviceHandle h = open("\\\\.\\PHYSICALDRIVE1");
    const qp::DeviceHandle r =
        reference().storage.open("\\\\.\\PHYSICALDRIVE1", qp::kAccessRead | qp::kAccessWrite);
    auto mine = inquiry();
    auto theirs = inquiry();
    const auto got = m_storage.scsiPassThrough(h, *mine, 80, quib::records::kSptWholeRecord);
    const auto expected = reference().storage.scsiPassThrough(r, *theirs, 80, quib::records::kSptWholeRecord);
    ASSERT_TRUE(got.ok);
    EXPECT_EQ(got.bytesReturned, expected.bytesReturned);
    EXPECT_EQ(got.bytesReturned, 80u + 36u);
    EXPECT_EQ(0, std::memcmp(mine.get(), theirs.get(), sizeof *mine));
    m_storage.close(h);
}

TEST_F(Win32PortsTest, PassThroughCutShortLeavesTheDataAreaAsItWas) {
    const qp::DeviceHandle h = open("\\\\.\\PHYSICALDRIVE1");
    // Header, filler and sense only: the data bytes did not come back.
    m_table->shortAnswers[IOCTL_SCSI_PASS_THROUGH] = sizeof(SCSI_PASS_THROUGH) + 4 + 32;
    auto record = inquiry();
    const auto got = m_storage.scsiPassThrough(h, *record, 80, quib::records::kSptWholeRecord);
    ASSERT_TRUE(got.ok);
    EXPECT_EQ(got.bytesReturned, 80u);
    for (int i = 0; i < 64; ++i) ASSERT_EQ(record->ucDataBuf[i], 0x5A) << "byte " << i;
    m_storage.close(h);
}

TEST_F(Win32PortsTest, PassThroughRefusedByTheRulesNeverReachesWindows) {
    const qp::DeviceHandle h = open("\\\\.\\PHYSICALDRIVE1");
    auto record = inquiry();
    const auto got = m_storage.scsiPassThrough(h, *record, 80, quib::records::kSptWholeRecord + 1);
    EXPECT_FALSE(got.ok);
    EXPECT_EQ(qp::lastError(), qp::kErrorInvalidParameter);
    EXPECT_EQ(m_table->controlCalls[IOCTL_SCSI_PASS_THROUGH], 0);
    m_storage.close(h);
}

TEST_F(Win32PortsTest, DirectPassThroughMovesTheDataThroughTheCallersBuffer) {
    const qp::DeviceHandle h = open("\\\\.\\PHYSICALDRIVE1");
    const qp::DeviceHandle r =
        reference().storage.open("\\\\.\\PHYSICALDRIVE1", qp::kAccessRead | qp::kAccessWrite);
    auto direct = [](std::vector<std::uint8_t>& data) {
        quib::records::ScsiPassThroughDirect d{};
        d.spt.Length = 44;
        d.spt.CdbLength = 6;
        d.spt.SenseInfoLength = 24;
        d.spt.DataIn = quib::records::kScsiDataIn;
        d.spt.DataTransferLength = static_cast<std::uint32_t>(data.size());
        d.spt.TimeOutValue = 10;
        d.spt.SenseInfoOffset = 48;
        d.spt.Cdb[0] = 0x12;
        d.spt.Cdb[4] = 36;
        return d;
    };
    std::vector<std::uint8_t> mineData(36, 0), theirData(36, 0);
    auto mine = direct(mineData), theirs = direct(theirData);
    const auto got = m_storage.scsiPassThroughDirect(h, mine, mineData);
    const auto expected = reference().storage.scsiPassThroughDirect(r, theirs, theirData);
    ASSERT_TRUE(got.ok);
    EXPECT_EQ(got.bytesReturned, expected.bytesReturned);
    EXPECT_EQ(mineData, theirData);
    EXPECT_EQ(0, std::memcmp(&mine, &theirs, sizeof mine));
    m_storage.close(h);
}

// The system's ATA pass-through carries the task file in and out, field by field as the bench's own port
// does; the drive's refusal is an error in the task file of a completed request.
TEST_F(Win32PortsTest, AtaPassThroughCarriesTheTaskFileBothWays) {
    const qp::DeviceHandle h = open("\\\\.\\PHYSICALDRIVE1");
    const qp::DeviceHandle r =
        reference().storage.open("\\\\.\\PHYSICALDRIVE1", qp::kAccessRead | qp::kAccessWrite);
    const auto fields = [](const qp::AtaTaskFile& t) {
        return std::vector<int>{t.features, t.sectorCount, t.lbaLow, t.lbaMid,
                                t.lbaHigh,  t.device,      t.command};
    };
    // IDENTIFY DEVICE, SMART READ DATA (its signature in the LBA registers), and a command the drive refuses.
    const std::vector<qp::AtaTaskFile> sent = {
        {.command = 0xEC},
        {.features = 0xD0,
         .sectorCount = 1,
         .lbaMid = 0x4F,
         .lbaHigh = 0xC2,
         .device = 0xA0,
         .command = 0xB0},
        {.features = 0x5A, .sectorCount = 3, .lbaLow = 7, .command = 0x01},
    };
    for (const auto& taskFile : sent) {
        SCOPED_TRACE(taskFile.command);
        std::vector<std::uint8_t> mineData(512, 0xEE), theirData(512, 0xEE);
        qp::AtaRequest mine, theirs;
        mine.taskFile = theirs.taskFile = taskFile;
        const auto got = m_storage.ataPassThroughDirect(h, mine, mineData);
        const auto expected = reference().storage.ataPassThroughDirect(r, theirs, theirData);
        ASSERT_TRUE(got.ok);
        EXPECT_EQ(got.ok, expected.ok);
        EXPECT_EQ(fields(mine.taskFile), fields(theirs.taskFile));
        EXPECT_EQ(mineData, theirData);
        EXPECT_EQ(mine.taskFile.command & qp::kAtaStatusError,
                  taskFile.command == 0x01 ? qp::kAtaStatusError : 0);
    }
    std::vector<std::uint8_t> identify(512, 0);
    qp::AtaRequest again;
    again.taskFile.command = 0xEC;
    ASSERT_TRUE(m_storage.ataPassThroughDirect(h, again, identify).ok);
    EXPECT_EQ(identify[510], 0xA5);  // the integrity word's signature: the page arrived
    EXPECT_EQ(m_table->controlCalls[IOCTL_ATA_PASS_THROUGH_DIRECT], 4);
    m_storage.close(h);
}

// ---- USB tree --------------------------------------------------------------------------------------

TEST_F(Win32PortsTest, NamesAreTheBenchsAndAskedAgainWithTheLengthTheyNeed) {
    const qp::DeviceHandle c = open(controllerPath());
    const qp::DeviceHandle rc =
        reference().storage.open(controllerPath(), qp::kAccessRead | qp::kAccessWrite);
    EXPECT_EQ(m_usb.hcdDriverKeyName(c), reference().usb.hcdDriverKeyName(rc));
    EXPECT_EQ(m_table->controlCalls[IOCTL_GET_HCD_DRIVERKEY_NAME], 2);
    const auto rootHub = m_usb.rootHubName(c);
    ASSERT_TRUE(rootHub);
    EXPECT_EQ(rootHub, reference().usb.rootHubName(rc));

    const qp::DeviceHandle hub = open("\\\\.\\" + *rootHub);
    const qp::DeviceHandle rhub =
        reference().storage.open("\\\\.\\" + *rootHub, qp::kAccessRead | qp::kAccessWrite);
    ASSERT_TRUE(qp::isValid(hub));
    EXPECT_EQ(m_usb.hubPortCount(hub), reference().usb.hubPortCount(rhub));
    for (std::uint32_t port = 1; port <= 2; ++port) {
        SCOPED_TRACE(port);
        EXPECT_EQ(m_usb.connectionDriverKeyName(hub, port),
                  reference().usb.connectionDriverKeyName(rhub, port));
        const auto name = m_usb.connectionName(hub, port);
        const auto expected = reference().usb.connectionName(rhub, port);
        EXPECT_EQ(name.has_value(), expected.has_value());
        if (name && expected) {
            EXPECT_EQ(*name, *expected);
        }
    }
    m_storage.close(hub);
    m_storage.close(c);
}

TEST_F(Win32PortsTest, ANameCutShortIsReadOnlyAsFarAsItReaches) {
    const qp::DeviceHandle c = open(controllerPath());
    const qp::DeviceHandle rc =
        reference().storage.open(controllerPath(), qp::kAccessRead | qp::kAccessWrite);
    const auto whole = reference().usb.hcdDriverKeyName(rc);
    ASSERT_TRUE(whole && whole->size() > 3);
    m_table->shortAnswers[IOCTL_GET_HCD_DRIVERKEY_NAME] = 4 + 3 * 2;  // ActualLength and three characters
    EXPECT_EQ(m_usb.hcdDriverKeyName(c), whole->substr(0, 3));
    m_table->shortAnswers[IOCTL_GET_HCD_DRIVERKEY_NAME] = 3;  // not even ActualLength
    EXPECT_FALSE(m_usb.hcdDriverKeyName(c));
    EXPECT_EQ(qp::lastError(), qp::kErrorGenFailure);
    m_storage.close(c);
}

TEST_F(Win32PortsTest, ConnectionsAndDescriptorsAreTheBenchs) {
    const qp::DeviceHandle c = open(controllerPath());
    const std::string hubPath = "\\\\.\\" + m_usb.rootHubName(c).value();
    const qp::DeviceHandle hub = open(hubPath);
    const qp::DeviceHandle rhub = reference().storage.open(hubPath, qp::kAccessRead | qp::kAccessWrite);
    for (const bool extendedKnown : {true, false}) {
        SCOPED_TRACE(extendedKnown);
        m_table->unknownCodes.clear();
        if (!extendedKnown) m_table->unknownCodes.insert(IOCTL_USB_GET_NODE_CONNECTION_INFORMATION_EX);
        for (std::uint32_t port = 1; port <= 4; ++port) {
            SCOPED_TRACE(port);
            const auto info = m_usb.connectionInfo(hub, port);
            const auto expected = reference().usb.connectionInfo(rhub, port);
            ASSERT_TRUE(info && expected);
            EXPECT_EQ(info->status, expected->status);
            EXPECT_EQ(info->deviceIsHub, expected->deviceIsHub);
            EXPECT_EQ(info->speed, extendedKnown ? expected->speed : (expected->speed == 0 ? 0 : 1));
            EXPECT_EQ(0, std::memcmp(&info->descriptor, &expected->descriptor, sizeof info->descriptor));
        }
    }
    // The bridge on root port 2: its string descriptors.
    for (std::uint16_t index : {0, 1, 2, 3}) {
        SCOPED_TRACE(index);
        const qp::SetupPacket request{0x80, 6, static_cast<std::uint16_t>(0x0300 | index),
                                      static_cast<std::uint16_t>(index ? 0x0409 : 0), 255};
        EXPECT_EQ(m_usb.descriptorFromConnection(hub, 2, request),
                  reference().usb.descriptorFromConnection(rhub, 2, request));
    }
    // An answer cut after four data bytes gives four bytes.
    m_table->shortAnswers[IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION] = 12 + 4;
    const auto cut = m_usb.descriptorFromConnection(hub, 2, {0x80, 6, 0x0303, 0x0409, 255});
    const auto whole = reference().usb.descriptorFromConnection(rhub, 2, {0x80, 6, 0x0303, 0x0409, 255});
    ASSERT_TRUE(cut && whole);
    EXPECT_EQ(*cut, std::vector<std::uint8_t>(whole->begin(), whole->begin() + 4));
    m_storage.close(hub);
    m_storage.close(c);
}

// ---- device installation services ---------------------------------------------------------------------

void expectSameInterfaces(const std::vector<qp::DeviceInterface>& got,
                          const std::vector<qp::DeviceInterface>& expected) {
    ASSERT_EQ(got.size(), expected.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].devicePath, expected[i].devicePath);
        EXPECT_EQ(got[i].instanceId, expected[i].instanceId);
        EXPECT_EQ(got[i].properties, expected[i].properties);
    }
}

TEST_F(Win32PortsTest, InterfacesAreTheBenchsWithEveryProperty) {
    for (const char* guid : {qp::kGuidUsbHostController, qp::kGuidUsbDeviceInterface, qp::kGuidDiskInterface,
                             qp::kGuidCdromInterface}) {
        SCOPED_TRACE(guid);
        const auto expected = reference().devices.interfaces(guid);
        qp::setLastError(0);
        const auto got = m_devices.interfaces(guid);
        expectSameInterfaces(got, expected);
        if (expected.empty()) {
            EXPECT_EQ(qp::lastError(), qp::kErrorNoMoreItems);
        }
    }
}

TEST_F(Win32PortsTest, APropertyLongerThanTheFirstAskIsReadWhole) {
    bool seen = false;
    for (const auto& i : m_devices.interfaces(qp::kGuidUsbDeviceInterface))
        if (i.properties.count("DeviceDesc") && i.properties.at("DeviceDesc") == kLongDescription)
            seen = true;
    EXPECT_TRUE(seen);
}

// Instance IDs that need more than the usual room.
class RoomyIds : public BenchDeviceCalls {
  public:
    using BenchDeviceCalls::BenchDeviceCalls;
    BOOL setupDiGetDeviceInstanceId(HDEVINFO set, PSP_DEVINFO_DATA device, PWSTR id, DWORD size,
                                    PDWORD required) override {
        if (size < kRoom) {
            if (required) *required = kRoom;
            setLastError(ERROR_INSUFFICIENT_BUFFER);
            return FALSE;
        }
        ++asksWithRoom;
        return BenchDeviceCalls::setupDiGetDeviceInstanceId(set, device, id, size, required);
    }
    static constexpr DWORD kRoom = 600;
    int asksWithRoom = 0;
};

TEST_F(Win32PortsTest, InstanceIdsAreAskedAgainWithTheRoomWindowsNames) {
    RoomyIds table(m_bench);
    ScopedDeviceCalls installed(table);
    expectSameInterfaces(m_devices.interfaces(qp::kGuidDiskInterface),
                         reference().devices.interfaces(qp::kGuidDiskInterface));
    EXPECT_EQ(table.asksWithRoom, 3);  // the system disk and two bridges
    EXPECT_EQ(table.openSets(), 0);
}

TEST_F(Win32PortsTest, AllDevicesAndPropertiesByDriverKeyAreTheBenchs) {
    const auto got = m_devices.allDevices();
    const auto expected = reference().devices.allDevices();
    ASSERT_EQ(got.size(), expected.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].instanceId, expected[i].instanceId);
        EXPECT_EQ(got[i].classGuid, expected[i].classGuid);
        EXPECT_EQ(got[i].properties, expected[i].properties);
    }
    for (const auto& d : expected) {
        const std::string key = d.properties.at("Driver");
        EXPECT_EQ(m_devices.descriptionByDriverKey(key), reference().devices.descriptionByDriverKey(key));
        EXPECT_EQ(m_devices.hardwareIdByDriverKey(key), reference().devices.hardwareIdByDriverKey(key));
    }
    qp::setLastError(0);
    EXPECT_FALSE(m_devices.descriptionByDriverKey("{00000000-0000-0000-0000-000000000000}\\0099"));
    EXPECT_EQ(qp::lastError(), qp::kErrorFileNotFound);
}

TEST_F(Win32PortsTest, EjectingADiskEjectsTheBridgeItLiesOn) {
    std::string diskInstance;
    for (const auto& i : reference().devices.interfaces(qp::kGuidDiskInterface))
        if (i.instanceId.rfind("USBSTOR\\", 0) == 0 && i.instanceId.find("SN-R2") != std::string::npos)
            diskInstance = i.instanceId;
    ASSERT_FALSE(diskInstance.empty());
    EXPECT_TRUE(m_devices.requestEject(diskInstance));
    EXPECT_TRUE(m_bench->bridgeStatus("r2").ejected);
    EXPECT_FALSE(m_bench->bridgeStatus("h2").ejected);
    // Gone now: the configuration manager no longer finds it.
    EXPECT_FALSE(m_devices.requestEject(diskInstance));
    EXPECT_EQ(qp::lastError(), qp::kErrorFileNotFound);
}

TEST_F(Win32PortsTest, AVetoedEjectFailsAndTheBridgeStays) {
    json description = portsBench();
    description["faults"] = json::array({{{"kind", "eject_veto"}, {"bridge", "h2"}}});
    auto vetoing = bench::Bench::fromJson(description);
    BenchDeviceCalls table(vetoing);
    ScopedDeviceCalls installed(table);
    std::string usbInstance;
    for (const auto& d : table.benchPorts().devices.allDevices())
        if (d.instanceId.rfind("USB\\", 0) == 0 && d.instanceId.find("SN-H2") != std::string::npos)
            usbInstance = d.instanceId;
    ASSERT_FALSE(usbInstance.empty());
    qp::setLastError(0);
    EXPECT_FALSE(m_devices.requestEject(usbInstance));
    EXPECT_EQ(qp::lastError(), qp::kErrorGenFailure);
    EXPECT_FALSE(vetoing->bridgeStatus("h2").ejected);
}

// ---- volumes -----------------------------------------------------------------------------------------

TEST_F(Win32PortsTest, VolumesAreTheBenchs) {
    for (const std::string mountPoint : {"C:\\", "E:\\", "Q:\\"}) {
        SCOPED_TRACE(mountPoint);
        EXPECT_EQ(m_volumes.volumeNameForMountPoint(mountPoint),
                  reference().volumes.volumeNameForMountPoint(mountPoint));
        EXPECT_EQ(m_volumes.driveType(mountPoint), reference().volumes.driveType(mountPoint));
    }
    EXPECT_EQ(m_volumes.processorArchitecture(), reference().volumes.processorArchitecture());
    const qp::DeviceHandle v = open("\\\\.\\E:", qp::kAccessNone);
    const qp::DeviceHandle rv = reference().storage.open("\\\\.\\E:", qp::kAccessNone);
    ASSERT_TRUE(qp::isValid(v));
    const auto got = m_volumes.diskExtents(v);
    const auto expected = reference().volumes.diskExtents(rv);
    ASSERT_TRUE(got && expected);
    ASSERT_EQ(got->size(), expected->size());
    for (std::size_t i = 0; i < got->size(); ++i) {
        EXPECT_EQ((*got)[i].diskNumber, (*expected)[i].diskNumber);
        EXPECT_EQ((*got)[i].startingOffset, (*expected)[i].startingOffset);
        EXPECT_EQ((*got)[i].extentLength, (*expected)[i].extentLength);
    }
    m_storage.close(v);
}

// Contents, locks and partition facts of volume E: through ReadFile/WriteFile, FSCTL and IOCTL_DISK in
// Windows' layouts: the same as the bench's ports give over an identical bench.
TEST_F(Win32PortsTest, VolumeContentsLocksAndPartitionsAreTheBenchs) {
    const qp::DeviceHandle v = open("\\\\.\\E:");
    const qp::DeviceHandle rv = reference().storage.open("\\\\.\\E:", qp::kAccessRead | qp::kAccessWrite);
    ASSERT_TRUE(qp::isValid(v) && qp::isValid(rv));
    std::vector<std::uint8_t> block(8192);
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(i * 13);
    EXPECT_EQ(m_storage.writeAt(v, 1 << 20, block), 8192u);
    std::vector<std::uint8_t> back(8192);
    EXPECT_EQ(m_storage.readAt(v, 1 << 20, back), 8192u);
    EXPECT_EQ(back, block);
    EXPECT_FALSE(m_storage.readAt(v, 100, std::span(back).first(512)).has_value());
    EXPECT_EQ(qp::lastError(), qp::kErrorInvalidParameter);

    const auto got = m_storage.partitionInfo(v);
    const auto expected = reference().storage.partitionInfo(rv);
    ASSERT_TRUE(got && expected);
    EXPECT_EQ(got->style, expected->style);
    EXPECT_EQ(got->startingOffset, expected->startingOffset);
    EXPECT_EQ(got->partitionLength, expected->partitionLength);
    EXPECT_EQ(got->partitionNumber, expected->partitionNumber);
    EXPECT_EQ(got->mbrType, expected->mbrType);
    EXPECT_EQ(got->hiddenSectors, expected->hiddenSectors);

    EXPECT_TRUE(m_storage.lockVolume(v));
    const qp::DeviceHandle other = open("\\\\.\\E:");
    EXPECT_FALSE(m_storage.lockVolume(other));
    EXPECT_EQ(qp::lastError(), qp::kErrorAccessDenied);
    m_storage.close(other);
    EXPECT_TRUE(m_storage.dismountVolume(v));
    EXPECT_TRUE(m_storage.unlockVolume(v));
    EXPECT_FALSE(m_storage.unlockVolume(v));
    EXPECT_EQ(qp::lastError(), qp::kErrorNotLocked);

    const qp::DeviceHandle disk = open("\\\\.\\PHYSICALDRIVE1");
    EXPECT_EQ(m_storage.partitionCount(disk),
              reference().storage.partitionCount(reference().storage.open("\\\\.\\PHYSICALDRIVE1", 0)));
    EXPECT_TRUE(m_storage.updateProperties(disk));
    // A blank volume: the same refusal as the bench's.
    EXPECT_FALSE(m_volumes.volumeInformation("E:\\").has_value());
    EXPECT_EQ(qp::lastError(), qp::kErrorUnrecognizedVolume);
    EXPECT_FALSE(m_volumes.setVolumeLabel("E:\\", "LABEL"));
    EXPECT_EQ(qp::lastError(), qp::kErrorUnrecognizedVolume);
    for (const qp::DeviceHandle h : {v, disk}) m_storage.close(h);
    reference().storage.close(rv);
}

// A volume spread over three disks, answered as Windows answers: ERROR_MORE_DATA with the count while
// the room holds fewer extents.
class SpreadVolume : public BenchDeviceCalls {
  public:
    using BenchDeviceCalls::BenchDeviceCalls;
    BOOL deviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                         LPDWORD returned, LPOVERLAPPED overlapped) override {
        if (code != IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS)
            return BenchDeviceCalls::deviceIoControl(device, code, in, inSize, out, outSize, returned,
                                                     overlapped);
        ++asks;
        auto* bytes = static_cast<std::uint8_t*>(out);
        const DWORD count = 3;
        std::memcpy(bytes, &count, sizeof count);
        const DWORD room = (outSize - 8) / sizeof(DISK_EXTENT);
        const DWORD written = std::min(room, count);
        for (DWORD i = 0; i < written; ++i) {
            DISK_EXTENT e{};
            e.DiskNumber = 10 + i;
            e.StartingOffset.QuadPart = 1000 * (i + 1);
            e.ExtentLength.QuadPart = 5000 * (i + 1);
            std::memcpy(bytes + 8 + i * sizeof e, &e, sizeof e);
        }
        *returned = 8 + written * sizeof(DISK_EXTENT);
        if (written == count) return TRUE;
        setLastError(ERROR_MORE_DATA);
        return FALSE;
    }
    int asks = 0;
};

TEST_F(Win32PortsTest, ExtentsOfAVolumeOverSeveralDisksAreAskedAgainWithRoomForAll) {
    SpreadVolume table(m_bench);
    ScopedDeviceCalls installed(table);
    const qp::DeviceHandle v = open("\\\\.\\E:", qp::kAccessNone);
    const auto extents = m_volumes.diskExtents(v);
    ASSERT_TRUE(extents);
    EXPECT_EQ(table.asks, 2);
    ASSERT_EQ(extents->size(), 3u);
    for (std::uint32_t i = 0; i < 3; ++i) {
        EXPECT_EQ((*extents)[i].diskNumber, 10 + i);
        EXPECT_EQ((*extents)[i].startingOffset, 1000 * (i + 1));
        EXPECT_EQ((*extents)[i].extentLength, 5000 * (i + 1));
    }
    m_storage.close(v);
}

TEST_F(Win32PortsTest, ExtentsCutShortGiveOnlyTheWholeOnes) {
    // Windows says three extents fit, then returns the count and one and a half.
    class HalfAnswer : public SpreadVolume {
      public:
        using SpreadVolume::SpreadVolume;
        BOOL deviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                             LPDWORD returned, LPOVERLAPPED overlapped) override {
            const BOOL ok =
                SpreadVolume::deviceIoControl(device, code, in, inSize, out, outSize, returned, overlapped);
            if (code == IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS && ok)
                *returned = 8 + sizeof(DISK_EXTENT) * 3 / 2;
            return ok;
        }
    } table(m_bench);
    ScopedDeviceCalls installed(table);
    const qp::DeviceHandle v = open("\\\\.\\E:", qp::kAccessNone);
    const auto extents = m_volumes.diskExtents(v);
    ASSERT_TRUE(extents);
    ASSERT_EQ(extents->size(), 1u);
    EXPECT_EQ((*extents)[0].diskNumber, 10u);
    m_storage.close(v);
}

}  // namespace
}  // namespace win32_test
