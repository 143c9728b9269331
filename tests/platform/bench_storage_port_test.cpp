// The storage port over the bench: paths, deterministic handles and the pass-through judged as the OS does.
#include <gtest/gtest.h>

#include <cstring>

#include "bench/bridge/bridge_chip.h"
#include "bench_test_support.h"
#include "common/records/scsi_pass_through.h"
#include "platform/ata_translation.h"
#include "platform/bench/bench_backend.h"

namespace quib::platform {
namespace {

using bench::testing::benchWithBridges;
using bench::testing::TempFolder;
using records::ScsiPassThroughDirect;
using records::ScsiPassThroughWithBuffers;

// A request record filled as the library fills it.
std::unique_ptr<ScsiPassThroughWithBuffers> request(std::initializer_list<std::uint8_t> cdb,
                                                    std::uint8_t cdbLength, std::uint8_t dataIn,
                                                    std::uint32_t length, std::uint32_t timeout = 3) {
    auto r = std::make_unique<ScsiPassThroughWithBuffers>();
    std::memset(r.get(), 0, sizeof *r);
    r->spt.Length = 44;
    r->spt.CdbLength = cdbLength;
    r->spt.SenseInfoLength = 24;
    r->spt.DataIn = dataIn;
    r->spt.DataTransferLength = length;
    r->spt.TimeOutValue = timeout;
    r->spt.DataBufferOffset = 80;
    r->spt.SenseInfoOffset = 48;
    std::size_t i = 0;
    for (std::uint8_t b : cdb) r->spt.Cdb[i++] = b;
    return r;
}

constexpr std::uint32_t kReadWrite = kAccessRead | kAccessWrite;

class StoragePort : public ::testing::Test {
  protected:
    void SetUp() override {
        bench = bench::Bench::fromJson(
            benchWithBridges({{{"id", "b0"}, {"restart_delay_ms", 1000}}, {{"id", "cd"}, {"cdrom", true}}}));
        backend = makeBenchBackend(bench);
        storage = &backend->platform().storage;
    }
    std::shared_ptr<bench::Bench> bench;
    std::unique_ptr<Backend> backend;
    Storage* storage = nullptr;
};

TEST_F(StoragePort, HandlesAreTheSameInEveryBackendAndPathsIgnoreCase) {
    auto other = makeBenchBackend(bench);
    const DeviceHandle a = storage->open("\\\\.\\PHYSICALDRIVE1", kAccessRead | kAccessWrite);
    const DeviceHandle b = other->platform().storage.open("\\\\.\\PhysicalDrive1", kReadWrite);
    ASSERT_TRUE(isValid(a));
    EXPECT_EQ(a, b);
    EXPECT_NE(a, storage->open("\\\\.\\PHYSICALDRIVE0", 0));
    EXPECT_EQ(storage->deviceNumber(a)->deviceNumber, 1u);
    EXPECT_EQ(storage->deviceNumber(a)->deviceType, 7u);

    EXPECT_EQ(storage->open("\\\\.\\PHYSICALDRIVE9", 0), kInvalidHandle);
    EXPECT_EQ(lastError(), kErrorFileNotFound);
    const DeviceHandle cd = storage->open("\\\\.\\CDROM0", 0);
    ASSERT_TRUE(isValid(cd));
    EXPECT_EQ(storage->deviceNumber(cd)->deviceType, 2u);
}

TEST_F(StoragePort, OpenHandlesAreCounted) {
    const DeviceHandle h = storage->open("\\\\.\\PHYSICALDRIVE1", kReadWrite);
    storage->open("\\\\.\\PHYSICALDRIVE0", 0);
    EXPECT_EQ(benchOpenHandles(*backend), 2);
    storage->close(h);
    EXPECT_EQ(benchOpenHandles(*backend), 1);
}

TEST_F(StoragePort, InquiryWithOutputSizeOfHeaderPlusDataSucceeds) {
    const DeviceHandle h = storage->open("\\\\.\\PHYSICALDRIVE1", kReadWrite);
    auto r = request({0x12, 0, 0, 0, 38, 0}, 12, 1, 38);
    const ScsiResult result = storage->scsiPassThrough(h, *r, 65616, 118);
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(result.bytesReturned, 118u);
    EXPECT_EQ(r->spt.ScsiStatus, 0);
    EXPECT_EQ(r->ucDataBuf[36], 0x20);
    EXPECT_EQ(r->ucDataBuf[37], 0x71);
    const auto trace = bench->trace();
    ASSERT_EQ(trace.size(), 1u);
    EXPECT_EQ(trace[0].outputSize, 118u);
    EXPECT_EQ(trace[0].inputSize, 65616u);
    EXPECT_EQ(trace[0].timeoutSeconds, 3u);
    EXPECT_EQ(trace[0].cdb, (std::vector<std::uint8_t>{0x12, 0, 0, 0, 38, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(StoragePort, OutputSizeBelowHeaderPlusDataIsRefusedBeforeTheDevice) {
    const DeviceHandle h = storage->open("\\\\.\\PHYSICALDRIVE1", kReadWrite);
    auto r = request({0x12, 0, 0, 0, 38, 0}, 12, 1, 38);
    EXPECT_FALSE(storage->scsiPassThrough(h, *r, 65616, 117).ok);
    EXPECT_EQ(lastError(), kErrorInvalidParameter);
    EXPECT_EQ(r->ucDataBuf[37], 0);
    ASSERT_EQ(bench->trace().size(), 1u);
    EXPECT_EQ(bench->trace()[0].systemError, kErrorInvalidParameter);

    auto badLength = request({0x12, 0, 0, 0, 38, 0}, 12, 1, 38);
    badLength->spt.Length = 56;
    EXPECT_FALSE(storage->scsiPassThrough(h, *badLength, 65616, 65616).ok);
    auto tooLong = request({0xE2, 0, 0, 1, 0, 1}, 6, 1, 65537);
    EXPECT_FALSE(storage->scsiPassThrough(h, *tooLong, 65616, 65616).ok);
    auto shortInput = request({0xE1, 0, 0, 0, 0, 0}, 6, 0, 128, 60);
    EXPECT_FALSE(storage->scsiPassThrough(h, *shortInput, 200, 80).ok);
}

TEST_F(StoragePort, HeaderFieldsAreJudgedAsTheOsJudgesThem) {
    const DeviceHandle h = storage->open("\\\\.\\PHYSICALDRIVE1", kReadWrite);
    auto inquiry = [] { return request({0x12, 0, 0, 0, 38, 0}, 12, 1, 38); };
    auto refused = [&](const char* what, auto&& change) {
        SCOPED_TRACE(what);
        auto r = inquiry();
        change(*r);
        EXPECT_FALSE(storage->scsiPassThrough(h, *r, 65616, 65616).ok);
        EXPECT_EQ(lastError(), kErrorInvalidParameter);
        EXPECT_EQ(bench->trace().back().systemError, kErrorInvalidParameter);
        EXPECT_EQ(r->ucDataBuf[37], 0);  // no device saw it
    };
    refused("time-out 0", [](ScsiPassThroughWithBuffers& r) { r.spt.TimeOutValue = 0; });
    refused("time-out above 30 hours", [](ScsiPassThroughWithBuffers& r) { r.spt.TimeOutValue = 108001; });
    refused("sense inside the header", [](ScsiPassThroughWithBuffers& r) { r.spt.SenseInfoOffset = 40; });
    refused("sense running into the data", [](ScsiPassThroughWithBuffers& r) { r.spt.SenseInfoLength = 33; });
    refused("sense behind the data", [](ScsiPassThroughWithBuffers& r) { r.spt.SenseInfoOffset = 200; });
    refused("data inside the header", [](ScsiPassThroughWithBuffers& r) { r.spt.DataBufferOffset = 40; });
    refused("unknown direction", [](ScsiPassThroughWithBuffers& r) { r.spt.DataIn = 3; });
    refused("CDB longer than 16", [](ScsiPassThroughWithBuffers& r) { r.spt.CdbLength = 17; });

    // The 32 sense bytes of the record fit; the address fields reach the trace as sent.
    auto r = inquiry();
    r->spt.SenseInfoLength = 32;
    r->spt.PathId = 1;
    r->spt.TargetId = 2;
    r->spt.Lun = 3;
    ASSERT_TRUE(storage->scsiPassThrough(h, *r, 65616, 118).ok);
    const bench::TraceRecord t = bench->trace().back();
    EXPECT_EQ(t.header.length, 44u);
    EXPECT_EQ(t.header.pathId, 1u);
    EXPECT_EQ(t.header.targetId, 2u);
    EXPECT_EQ(t.header.lun, 3u);
    EXPECT_EQ(t.header.senseInfoLength, 32u);
    EXPECT_EQ(t.header.senseInfoOffset, 48u);
    EXPECT_EQ(t.header.dataBufferOffset, 80u);
}

TEST_F(StoragePort, PassThroughNeedsReadAndWriteAccess) {
    for (const std::uint32_t access : {0u, std::uint32_t{kAccessRead}, std::uint32_t{kAccessWrite}}) {
        const DeviceHandle h = storage->open("\\\\.\\PHYSICALDRIVE1", access);
        ASSERT_TRUE(isValid(h));
        EXPECT_TRUE(storage->deviceNumber(h));  // queries need no access
        auto r = request({0x12, 0, 0, 0, 38, 0}, 12, 1, 38);
        EXPECT_FALSE(storage->scsiPassThrough(h, *r, 65616, 118).ok) << access;
        EXPECT_EQ(lastError(), kErrorAccessDenied);
        EXPECT_EQ(bench->trace().back().systemError, kErrorAccessDenied);
        ScsiPassThroughDirect direct{};
        direct.spt = r->spt;
        std::vector<std::uint8_t> data(38);
        EXPECT_FALSE(storage->scsiPassThroughDirect(h, direct, data).ok);
        EXPECT_EQ(lastError(), kErrorAccessDenied);
    }
}

TEST_F(StoragePort, CheckConditionIsAGoodControlResultWithStatusTwoAndSense) {
    const DeviceHandle h = storage->open("\\\\.\\PHYSICALDRIVE1", kReadWrite);
    auto r = request({0xF7, 0, 0, 0, 0, 0}, 6, 0, 0);
    const ScsiResult result = storage->scsiPassThrough(h, *r, 65616, 65616);
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(r->spt.ScsiStatus, 2);
    EXPECT_EQ(r->ucSenseBuf[0], 0x70);
    EXPECT_EQ(r->ucSenseBuf[2], 0x05);
    EXPECT_EQ(r->spt.SenseInfoLength, 18);
}

TEST_F(StoragePort, SenseAreaMustLieInTheOutputAndOutputSizeZeroLeavesTheRecordUntouched) {
    const DeviceHandle h = storage->open("\\\\.\\PHYSICALDRIVE1", kReadWrite);
    // The sense data come back in the output: a sense area beyond it is refused before the device.
    auto r = request({0x35, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 10, 2, 0, 60);
    EXPECT_FALSE(storage->scsiPassThrough(h, *r, 65616, 0).ok);
    EXPECT_EQ(lastError(), kErrorInvalidParameter);
    EXPECT_TRUE(storage->scsiPassThrough(h, *r, 65616, 72).ok);

    auto noSense = request({0xF7, 0, 0, 0, 0, 0}, 6, 2, 0);
    noSense->spt.SenseInfoLength = 0;
    const ScsiResult result = storage->scsiPassThrough(h, *noSense, 65616, 0);
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.bytesReturned, 0u);
    EXPECT_EQ(noSense->spt.ScsiStatus, 0);  // the CHECK CONDITION never reached the caller's record
    EXPECT_EQ(bench->trace().back().scsiStatus, 2);
}

TEST_F(StoragePort, DirectWriteAndReadMoveTheWholeStreamInOneCommand) {
    const DeviceHandle h = storage->open("\\\\.\\PHYSICALDRIVE1", kReadWrite);
    std::vector<std::uint8_t> stream(100000);
    for (std::size_t i = 0; i < stream.size(); ++i) stream[i] = static_cast<std::uint8_t>(i % 251);
    ScsiPassThroughDirect write{};
    write.spt.Length = 44;
    write.spt.CdbLength = 6;
    write.spt.DataTransferLength = static_cast<std::uint32_t>(stream.size());
    write.spt.TimeOutValue = 60;
    const std::uint8_t cdbWrite[] = {0xE3, 0, 0x00, 0x01, 0x86, 0xA0};
    std::memcpy(write.spt.Cdb, cdbWrite, sizeof cdbWrite);
    ASSERT_TRUE(storage->scsiPassThroughDirect(h, write, stream).ok);
    EXPECT_EQ(write.spt.ScsiStatus, 0);

    std::vector<std::uint8_t> back(stream.size() + 128);
    ScsiPassThroughDirect read{};
    read.spt.Length = 44;
    read.spt.CdbLength = 6;
    read.spt.DataIn = 1;
    read.spt.TimeOutValue = 3;
    read.spt.DataTransferLength = static_cast<std::uint32_t>(back.size());
    const std::uint32_t n = static_cast<std::uint32_t>(back.size());
    const std::uint8_t cdbRead[] = {0xE2,
                                    0,
                                    static_cast<std::uint8_t>(n >> 24),
                                    static_cast<std::uint8_t>(n >> 16),
                                    static_cast<std::uint8_t>(n >> 8),
                                    static_cast<std::uint8_t>(n)};
    std::memcpy(read.spt.Cdb, cdbRead, sizeof cdbRead);
    ASSERT_TRUE(storage->scsiPassThroughDirect(h, read, back).ok);
    EXPECT_TRUE(std::equal(stream.begin(), stream.end(), back.begin() + 128));
    EXPECT_TRUE(bench->trace().back().direct);

    auto limited = bench::Bench::fromJson(benchWithBridges({{{"max_transfer", 65536}}}));
    auto limitedBackend = makeBenchBackend(limited);
    const DeviceHandle small = limitedBackend->platform().storage.open("\\\\.\\PHYSICALDRIVE1", kReadWrite);
    EXPECT_FALSE(limitedBackend->platform().storage.scsiPassThroughDirect(small, read, back).ok);
    EXPECT_EQ(lastError(), kErrorInvalidParameter);

    read.spt.DataTransferLength = n + 1;  // more than the buffer holds
    EXPECT_FALSE(storage->scsiPassThroughDirect(h, read, back).ok);
    EXPECT_EQ(lastError(), kErrorInvalidParameter);
}

TEST_F(StoragePort, AHandleFromBeforeARestartFailsAndTheOldPathIsGone) {
    const DeviceHandle h = storage->open("\\\\.\\PHYSICALDRIVE1", kReadWrite);
    auto reset = request({0xE8, 0, 0, 0, 0, 0}, 12, 1, 0);
    ASSERT_TRUE(storage->scsiPassThrough(h, *reset, 65616, 80).ok);
    auto r = request({0x12, 0, 0, 0, 38, 0}, 12, 1, 38);
    EXPECT_FALSE(storage->scsiPassThrough(h, *r, 65616, 118).ok);
    EXPECT_EQ(lastError(), kErrorDeviceNotConnected);
    EXPECT_EQ(storage->open("\\\\.\\PHYSICALDRIVE1", kReadWrite), kInvalidHandle);
    EXPECT_EQ(lastError(), kErrorFileNotFound);
    backend->platform().clock.sleepMs(1000);
    EXPECT_TRUE(isValid(storage->open("\\\\.\\PHYSICALDRIVE2", 0)));
}

TEST_F(StoragePort, ForeignOrGarbageHandlesAreInvalid) {
    auto r = request({0x12, 0, 0, 0, 38, 0}, 12, 1, 38);
    EXPECT_FALSE(storage->scsiPassThrough(0x1234, *r, 65616, 118).ok);
    EXPECT_EQ(lastError(), kErrorInvalidHandle);
    EXPECT_FALSE(storage->deviceNumber(kInvalidHandle));
    // A hub handle takes no SCSI command.
    const DeviceHandle hub = storage->open("\\\\.\\" + bench->description().hubs[0].name, kReadWrite);
    ASSERT_TRUE(isValid(hub));
    EXPECT_FALSE(storage->scsiPassThrough(hub, *r, 65616, 118).ok);
    EXPECT_EQ(lastError(), 1u);
}

TEST_F(StoragePort, DescriptorAndGeometryOfABridgeDisk) {
    const DeviceHandle h = storage->open("\\\\.\\PHYSICALDRIVE1", kReadWrite);
    const auto d = storage->storageDescriptor(h);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->busType, 7u);
    EXPECT_EQ(d->vendor, "KRV");
    EXPECT_EQ(d->serial, "KRVB00000001");
    EXPECT_EQ(storage->driveGeometry(h)->bytesPerSector, 512u);
    EXPECT_EQ(storage->storageDescriptor(storage->open("\\\\.\\PHYSICALDRIVE0", 0))->busType, 11u);
}

}  // namespace
}  // namespace quib::platform

namespace quib::platform {
namespace {

// The system's ATA pass-through reaches the bridge as ATA PASS-THROUGH (16) with the task file in the SAT
// register order, and the drive's refusal comes back as ERR and ABRT in a completed request.
TEST_F(StoragePort, AtaPassThroughGoesToTheBridgeAsSat) {
    const DeviceHandle h = storage->open("\\\\.\\PHYSICALDRIVE1", kReadWrite);
    std::vector<std::uint8_t> identify(512, 0);
    AtaRequest request;
    request.timeOutSeconds = 7;
    request.taskFile = {0x11, 0x01, 0x22, 0x33, 0x44, 0xA0, 0xEC};
    ASSERT_TRUE(storage->ataPassThroughDirect(h, request, identify).ok);
    EXPECT_EQ(request.taskFile.command, 0x50);
    EXPECT_EQ(identify[510], 0xA5);
    const bench::TraceRecord sent = bench->trace().back();
    EXPECT_EQ(sent.cdb, (std::vector<std::uint8_t>{0x85, 0x08, 0x0E, 0, 0x11, 0, 0x01, 0, 0x22, 0, 0x33, 0,
                                                   0x44, 0xA0, 0xEC, 0}));
    EXPECT_TRUE(sent.direct);
    EXPECT_EQ(sent.dataIn, records::kScsiDataIn);
    EXPECT_EQ(sent.timeoutSeconds, 7u);

    AtaRequest refused;
    refused.taskFile.command = 0x01;
    ASSERT_TRUE(storage->ataPassThroughDirect(h, refused, identify).ok);
    EXPECT_EQ(refused.taskFile.command, 0x51);
    EXPECT_EQ(refused.taskFile.features, 0x04);
    storage->close(h);
}

// The ATA Status Return descriptor of descriptor-format sense gives the registers; anything else, or a
// descriptor cut short, is a plain abort.
TEST(AtaTaskFileReadBack, FromTheStatusReturnDescriptorOrAnAbort) {
    struct Row {
        std::vector<std::uint8_t> sense;
        std::uint8_t error, status, lbaMid;
    };
    const std::vector<std::uint8_t> descriptor = {0x72, 0x01, 0x00, 0x1D, 0, 0, 0,    0x0E, 0x09, 0x0C, 0x00,
                                                  0x00, 0,    0x80, 0,    0, 0, 0xF4, 0,    0x2C, 0x40, 0x50};
    std::vector<std::uint8_t> cut = descriptor;
    cut[7] = 0x0A;  // the list ends inside the descriptor
    const std::vector<Row> rows = {
        {descriptor, 0x00, 0x50, 0xF4},
        {cut, 0x04, 0x51, 0x00},
        {{0x70, 0, 0x05, 0, 0, 0, 0, 0x0A, 0, 0, 0, 0, 0x24, 0}, 0x04, 0x51, 0x00},
        {{}, 0x04, 0x51, 0x00},
    };
    for (const Row& row : rows) {
        records::ScsiPassThroughDirect answered{};
        answered.spt.ScsiStatus = 2;
        answered.spt.SenseInfoLength = static_cast<std::uint8_t>(row.sense.size());
        std::copy(row.sense.begin(), row.sense.end(), answered.ucSenseBuf);
        AtaTaskFile t;
        ata::readBackTaskFile(answered, t);
        EXPECT_EQ(t.features, row.error);
        EXPECT_EQ(t.command, row.status);
        EXPECT_EQ(t.lbaMid, row.lbaMid);
    }
}

}  // namespace
}  // namespace quib::platform

namespace quib::platform {
namespace {

using bench::testing::benchWithBridges;
using nlohmann::json;

// A bridge's volume E: as the system shows it: where it lies follows the drive's partition table, a lock
// is refused while anything else holds it, and its transfers stay inside the partition.
class VolumePort : public ::testing::Test {
  protected:
    void SetUp() override {
        json description = benchWithBridges(
            {{{"id", "b0"}, {"volume_letter", "E"}, {"drive", {{"kind", "sata"}, {"sectors", 2097152}}}}});
        description["volumes"] = json::array({{{"letter", "F"}, {"bridge", "b0"}, {"held", true}}});
        bench = bench::Bench::fromJson(description);
        backend = makeBenchBackend(bench);
        os = &backend->platform();
    }
    // An MBR with one partition of `type` from `start` for `sectors`.
    void writeMbr(std::uint32_t start, std::uint32_t sectors, std::uint8_t type) {
        std::vector<std::uint8_t> mbr(512, 0);
        mbr[446] = 0x80;
        mbr[446 + 4] = type;
        std::memcpy(&mbr[446 + 8], &start, 4);
        std::memcpy(&mbr[446 + 12], &sectors, 4);
        mbr[510] = 0x55;
        mbr[511] = 0xAA;
        bench->withChip("b0", [&](bench::BridgeChip& chip) { chip.writeDrive(0, mbr); });
    }
    std::shared_ptr<bench::Bench> bench;
    std::unique_ptr<Backend> backend;
    Platform* os = nullptr;
};

TEST_F(VolumePort, LocksAreRefusedWhileTheVolumeIsHeldAndEndWithTheirHandle) {
    const DeviceHandle e = os->storage.open("\\\\.\\E:", kReadWrite);
    ASSERT_TRUE(isValid(e));
    EXPECT_FALSE(os->storage.unlockVolume(e));
    EXPECT_EQ(lastError(), kErrorNotLocked);
    const DeviceHandle second = os->storage.open("\\\\.\\E:", kReadWrite);
    EXPECT_FALSE(os->storage.lockVolume(e));  // another handle is open on it
    EXPECT_EQ(lastError(), kErrorAccessDenied);
    os->storage.close(second);
    EXPECT_TRUE(os->storage.lockVolume(e));
    EXPECT_TRUE(os->storage.dismountVolume(e));
    os->storage.close(e);  // the lock ends with its handle
    const DeviceHandle again = os->storage.open("\\\\.\\E:", kReadWrite);
    EXPECT_TRUE(os->storage.lockVolume(again));
    EXPECT_TRUE(os->storage.unlockVolume(again));
    os->storage.close(again);

    const DeviceHandle held = os->storage.open("\\\\.\\F:", kReadWrite);
    EXPECT_FALSE(os->storage.lockVolume(held));
    os->storage.close(held);
    EXPECT_EQ(bench->volumeEvents(),
              (std::vector<std::string>{"lock refused E", "lock E", "dismount E", "unlock E", "lock E",
                                        "unlock E", "lock refused F"}));
}

TEST_F(VolumePort, TheVolumeStandsOnThePartitionTheDriveHolds) {
    // A blank drive: one partition from 1 MiB.
    DeviceHandle e = os->storage.open("\\\\.\\E:", kReadWrite);
    ASSERT_TRUE(isValid(e));
    auto info = os->storage.partitionInfo(e);
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->startingOffset, 1048576);
    os->storage.close(e);

    writeMbr(2048 + 64, 100000, 0x07);
    e = os->storage.open("\\\\.\\E:", kReadWrite);
    info = os->storage.partitionInfo(e);
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->style, PartitionStyle::Mbr);
    EXPECT_EQ(info->startingOffset, (2048 + 64) * 512);
    EXPECT_EQ(info->partitionLength, 100000 * 512);
    EXPECT_EQ(info->hiddenSectors, 2048u + 64);
    EXPECT_TRUE(info->bootIndicator);
    const DeviceHandle disk = os->storage.open("\\\\.\\PHYSICALDRIVE1", kReadWrite);
    EXPECT_EQ(os->storage.partitionCount(disk), 4u);

    // Writes land at the partition's start and never past its end; the type is written into the table.
    std::vector<std::uint8_t> block(4096, 0xA7);
    EXPECT_EQ(os->storage.writeAt(e, 8192, block), 4096u);
    EXPECT_EQ(bench->driveBytes("b0", (2048 + 64) * 512 + 8192, 4096), block);
    EXPECT_FALSE(os->storage.writeAt(e, 100000 * 512 - 2048, block).has_value());
    EXPECT_EQ(lastError(), kErrorSectorNotFound);
    EXPECT_FALSE(os->storage.writeAt(e, 100, std::span(block).first(512)).has_value());
    EXPECT_EQ(lastError(), kErrorInvalidParameter);
    EXPECT_TRUE(os->storage.setPartitionType(e, 0x0C));
    EXPECT_EQ(bench->driveBytes("b0", 446 + 4, 1)[0], 0x0C);
    os->storage.close(e);

    // A table without the partition: no volume E: any more.
    writeMbr(0, 0, 0);
    EXPECT_EQ(os->storage.open("\\\\.\\E:", kReadWrite), kInvalidHandle);
    EXPECT_EQ(os->volumes.driveType("E:\\"), kDriveNoRootDir);
    os->storage.close(disk);
}

}  // namespace
}  // namespace quib::platform
