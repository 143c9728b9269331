// The identity and SMART exports against bench bridges: the commands they send, what the drive holds
// afterwards, and their refusals.
#include <algorithm>
#include <functional>
#include <vector>

#include "bench/bridge/bridge_chip.h"
#include "bench/drive/ata_identify.h"
#include "tests/devcore/bench_fixture.h"

namespace devcore_test {
namespace {

using Bytes = std::vector<std::uint8_t>;

class SmartServicesTest : public ScanTest {
  protected:
    // One bridge "d" with the given drive on disk 1, entry 0 after the scan.
    void scanDrive(const std::string& family, json drive) {
        json bridge = {{"id", "d"}, {"serial", "SN-D"}, {"family", family}, {"drive", std::move(drive)}};
        if (family == "8500") bridge["device_type"] = 7;
        ASSERT_EQ(scan(benchOfBridges({bridge}), "0", family == "8500" ? 1 : 0), 0);
        ASSERT_EQ(count(), 1);
        m_mark = bridgeTrace().size();
    }
    void scanSata(json drive = json::object()) {
        drive["kind"] = "sata";
        scanDrive("7120", std::move(drive));
    }
    std::vector<bench::TraceRecord> sentSinceScan() {
        auto trace = bridgeTrace();
        return {trace.begin() + static_cast<std::ptrdiff_t>(m_mark), trace.end()};
    }
    static Bytes firstBytes(const bench::TraceRecord& r, std::size_t n) {
        return Bytes(r.cdb.begin(), r.cdb.begin() + static_cast<std::ptrdiff_t>(n));
    }

    std::size_t m_mark = 0;
};

// The SATA drive's identity, SMART table and logs as the library returns them, and what the drive holds
// after a log write.
TEST_F(SmartServicesTest, SataDriveAnswersIdentifySmartDataAndLogs) {
    scanSata({{"serial", "WD-BENCH-7"}, {"model", "BENCH SATA 2TB"}, {"firmware", "BN07"}});
    Bytes identify(512), table(512), selfTests(512, 0xEE), written(512), readBack(512);
    for (std::size_t i = 0; i < written.size(); ++i) written[i] = static_cast<std::uint8_t>(i ^ 0x5A);
    ASSERT_EQ(QuibUSBLib_IdentifyDevice(0, identify.data()), 0);
    ASSERT_EQ(QuibUSBLib_GetSmartAttribute(0, table.data()), 0);
    ASSERT_EQ(QuibUSBLib_ReadSmartLog(0, selfTests.data(), 0x06), 0);
    ASSERT_EQ(QuibUSBLib_WriteSmartLog(0, written.data(), 0x81), 0);
    ASSERT_EQ(QuibUSBLib_ReadSmartLog(0, readBack.data(), 0x81), 0);

    // One command each; the export bar checks every record byte for byte.
    EXPECT_EQ(sentSinceScan().size(), 5u);
    benchRef().withChip("d", [&](bench::BridgeChip& chip) {
        const auto& drive = *chip.description().drive;
        const auto expected = bench::makeIdentify(drive);
        EXPECT_TRUE(std::equal(identify.begin(), identify.end(), expected.begin()));
        // The host log 0x81 begins one 16-sector log after 0x80.
        const auto& logs = chip.sataDrive()->hostLogs();
        EXPECT_TRUE(std::equal(written.begin(), written.end(), logs.begin() + 16 * 512));
    });
    EXPECT_EQ(readBack, written);
    std::uint8_t sum = 0;
    for (std::uint8_t b : table) sum = static_cast<std::uint8_t>(sum + b);
    EXPECT_EQ(sum, 0);           // the table's checksum
    EXPECT_EQ(selfTests[0], 1);  // the self-test log's revision
}

// The sector past the reported capacity, on a drive of 512-byte sectors, one of 4096-byte sectors, and one
// of 512-byte sectors behind a bridge that reports 4096-byte blocks: the LBA, count and length sent, the
// bytes the drive holds afterwards, and the read back.
TEST_F(SmartServicesTest, SectorPastTheReportedCapacityIsWrittenAndReadWhereTheDriveKeepsIt) {
    struct Row {
        json drive;
        std::uint64_t lba;
        std::uint16_t count;
        std::uint32_t length;
        Bytes lbaBytes;     // CDB bytes 7..12
        std::uint8_t unit;  // CDB byte 2's T_TYPE: the count in 4096-byte logical sectors
    };
    const std::vector<Row> rows = {
        {{{"sectors", 1000215217}, {"hidden_sectors", 1}},
         1000215216,
         1,
         512,
         {0x3B, 0xB0, 0x00, 0x12, 0x00, 0x9E},
         0x00},
        {{{"sectors", 1000}, {"bytes_per_sector", 4096}, {"hidden_sectors", 2}},
         998,
         1,
         4096,
         {0, 0xE6, 0, 0x03, 0, 0},
         0x10},
        {{{"sectors", 8000}, {"reported_bytes_per_sector", 4096}, {"hidden_sectors", 1}},
         7992,
         8,
         4096,
         {0, 0x38, 0, 0x1F, 0, 0},
         0x00},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.drive.dump());
        scanSata(row.drive);
        Bytes pattern(row.length), readBack(row.length, 0);
        for (std::size_t i = 0; i < pattern.size(); ++i) pattern[i] = static_cast<std::uint8_t>(i * 13 + 7);
        ASSERT_EQ(QuibUSBLib_vReadWriteSmartLogPage_LastSector(0, 1, pattern.data()), 1);
        ASSERT_EQ(QuibUSBLib_vReadWriteSmartLogPage_LastSector(0, 0, readBack.data()), 1);
        EXPECT_EQ(readBack, pattern);

        std::vector<bench::TraceRecord> dma;
        for (const auto& r : sentSinceScan())
            if (r.cdb[0] == 0x85 && (r.cdb[14] == 0x25 || r.cdb[14] == 0x35)) dma.push_back(r);
        ASSERT_EQ(dma.size(), 2u);
        for (std::size_t k = 0; k < 2; ++k) {
            const bool write = k == 0;
            const auto& c = dma[k].cdb;
            EXPECT_EQ(firstBytes(dma[k], 5),
                      (Bytes{0x85, static_cast<std::uint8_t>(write ? 0x17 : 0x15),
                             static_cast<std::uint8_t>((write ? 0x06 : 0x0E) | row.unit), 0, 0}));
            EXPECT_EQ((c[5] << 8) | c[6], row.count);
            EXPECT_EQ(Bytes(c.begin() + 7, c.begin() + 13), row.lbaBytes);
            EXPECT_EQ(c[13], 0x50);
            EXPECT_EQ(c[14], write ? 0x35 : 0x25);
            EXPECT_EQ(dma[k].transferLength, row.length);
            EXPECT_EQ(dma[k].header.senseInfoLength, 32);
        }
        // The drive keeps 512-byte units: the sector's bytes lie at its LBA in the drive's own units.
        const std::uint64_t firstUnit = row.lba * (row.length / row.count) / 512;
        benchRef().withChip("d", [&](bench::BridgeChip& chip) {
            for (std::size_t u = 0; u < row.length / 512; ++u) {
                const auto unit = chip.driveSector(firstUnit + u);
                ASSERT_TRUE(unit.has_value());
                EXPECT_TRUE(std::equal(unit->begin(), unit->end(),
                                       pattern.begin() + static_cast<std::ptrdiff_t>(u * 512)));
            }
        });
    }
}

// An NVMe drive's log pages come through the Get Log Page; a log write is refused before the drive is
// opened.
TEST_F(SmartServicesTest, PcieBridgeReadsLogPagesAsNvmeAndRefusesLogWrites) {
    scanDrive("8500", {{"kind", "nvme"}, {"serial", "NV-1"}, {"sectors", 2000000}});
    Bytes log(512, 0xEE);
    ASSERT_EQ(QuibUSBLib_ReadSmartLog(0, log.data(), 0x02), 0);
    auto sent = sentSinceScan();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].cdb,
              (Bytes{0xE6, 0x02, 0x00, 0x02, 0, 0, 0, 0x7F, 0, 0, 0, 0, 0x00, 0x00, 0x00, 0x02}));
    EXPECT_EQ(log[1] | (log[2] << 8), 308);  // the health page: composite temperature in kelvin

    m_mark = bridgeTrace().size();
    EXPECT_EQ(QuibUSBLib_WriteSmartLog(0, log.data(), 0x80), -10);
    EXPECT_TRUE(sentSinceScan().empty());
    EXPECT_TRUE(debugContains("Dev[0] KRV8502 does not support Smart log write"));
}

// What each export gives for a device it cannot open, one it may not command (type unknown), and
// arguments it refuses; none of them sends anything.
TEST_F(SmartServicesTest, RefusalsSendNothingAndGiveEachExportsCode) {
    using Call = std::function<int(std::uint8_t)>;
    Bytes buffer(4096);
    struct Row {
        Call call;
        int notOpened, unknownType;
    };
    const std::vector<Row> rows = {
        {[&](std::uint8_t i) { return QuibUSBLib_IdentifyDevice(i, buffer.data()); }, -1, -1},
        {[&](std::uint8_t i) { return QuibUSBLib_GetSmartAttribute(i, buffer.data()); }, -1, -1},
        {[&](std::uint8_t i) { return QuibUSBLib_ReadSmartLog(i, buffer.data(), 6); }, -5, -1},
        {[&](std::uint8_t i) { return QuibUSBLib_WriteSmartLog(i, buffer.data(), 0x80); }, -5, -1},
        {[&](std::uint8_t i) { return QuibUSBLib_vReadWriteSmartLogPage_LastSector(i, 0, buffer.data()); }, 0,
         0},
        {[&](std::uint8_t i) { return QuibUSBLib_vReadWriteSmartLogPage_LastSector(i, 1, buffer.data()); }, 0,
         0},
    };
    scanSata();
    for (std::size_t k = 0; k < rows.size(); ++k)
        EXPECT_EQ(rows[k].call(3), rows[k].notOpened) << "row " << k;
    // A bridge with no disk number: its drive cannot be opened.
    entry(0).m_ucPhysicalAddress = quib::devcore::kNoNumber;
    for (std::size_t k = 0; k < rows.size(); ++k)
        EXPECT_EQ(rows[k].call(0), rows[k].notOpened) << "row " << k;
    entry(0).m_ucPhysicalAddress = 1;
    entry(0).m_ucDevType = quib::devcore::DEV_UNKNOW;
    for (std::size_t k = 0; k < rows.size(); ++k)
        EXPECT_EQ(rows[k].call(0), rows[k].unknownType) << "row " << k;
    EXPECT_TRUE(debugContains("Dev[0] device type unknown"));
    entry(0).m_ucDevType = 1;

    EXPECT_EQ(QuibUSBLib_IdentifyDevice(0, nullptr), -10);
    EXPECT_EQ(QuibUSBLib_GetSmartAttribute(0, nullptr), -10);
    EXPECT_EQ(QuibUSBLib_ReadSmartLog(0, nullptr, 6), -10);
    EXPECT_EQ(QuibUSBLib_WriteSmartLog(0, nullptr, 6), -10);
    EXPECT_EQ(QuibUSBLib_ReadSmartLog(0, buffer.data(), 0x100), -10);
    EXPECT_EQ(QuibUSBLib_WriteSmartLog(0, buffer.data(), 0x100), -10);
    EXPECT_EQ(QuibUSBLib_vReadWriteSmartLogPage_LastSector(0, 2, buffer.data()), 0);
    EXPECT_EQ(QuibUSBLib_vReadWriteSmartLogPage_LastSector(0, 0, nullptr), 0);
    EXPECT_TRUE(sentSinceScan().empty());
}

}  // namespace
}  // namespace devcore_test
