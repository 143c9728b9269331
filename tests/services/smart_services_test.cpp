// The identity and SMART exports against bench bridges: the commands they send, what the drive holds
// afterwards, and their refusals.
#include <functional>
#include <vector>

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
