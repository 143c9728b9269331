// The speed test against a bench bridge's volume: speeds from the drive's timed transfers, the places it
// writes, and the drive holding exactly what it held before, whatever failed on the way.
#include <algorithm>

#include "bench/bridge/bridge_chip.h"
#include "tests/devcore/bench_fixture.h"

namespace devcore_test {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint64_t kVolumeOffset = 1048576;  // a blank drive's implicit partition
constexpr std::uint64_t kPositions[] = {0x41000, 0xF000, 0x28000};

class SpeedTestTest : public ScanTest {
  protected:
    // Bridge "d" on disk 1 with volume E: on its drive (400 MiB/s reading, 200 writing); a system volume D:.
    void scanBench(json faults = json::array(), json driveExtra = json::object()) {
        json drive = {
            {"kind", "sata"}, {"sectors", 400000000}, {"read_mib_per_s", 400}, {"write_mib_per_s", 200}};
        drive.update(driveExtra);
        json bridge = {
            {"id", "d"}, {"serial", "SN-D"}, {"family", "7120"}, {"volume_letter", "E"}, {"drive", drive}};
        json description = benchOfBridges({bridge});
        description["volumes"] = json::array({{{"letter", "D"}, {"system_disk", 0}}});
        description["faults"] = std::move(faults);
        ASSERT_EQ(scan(description), 0);
        ASSERT_EQ(count(), 1);
        // Each test place holds its own recognisable contents.
        benchRef().withChip("d", [](bench::BridgeChip& chip) {
            for (std::size_t i = 0; i < 3; ++i) chip.writeDrive(placeOffset(i), contentsOf(i));
        });
        m_mark = bridgeTrace().size();
    }
    static std::uint64_t placeOffset(std::size_t i) { return kVolumeOffset + kPositions[i] * 512; }
    static Bytes contentsOf(std::size_t i) {
        Bytes b(262144);
        for (std::size_t k = 0; k < b.size(); ++k) b[k] = static_cast<std::uint8_t>(k * 7 + i * 31 + 1);
        return b;
    }
    void expectEveryPlaceRestored() {
        for (std::size_t i = 0; i < 3; ++i)
            EXPECT_EQ(benchRef().driveBytes("d", placeOffset(i), 262144), contentsOf(i)) << "place " << i;
    }
    static int run(char letter, std::uint32_t sectorSize, int readThreshold, int writeThreshold) {
        QuibRWTestRecord record{};
        std::fill(std::begin(record.ucCallerData), std::end(record.ucCallerData), 0xCC);
        record.dwSectorSize = sectorSize;
        return QuibUSBLib_ReadWritePerfomanceTest(letter, record, readThreshold, writeThreshold);
    }
    // READ(10)/WRITE(10) sent since the scan, as (opcode, LBA).
    std::vector<std::pair<int, std::uint32_t>> blockCommands() {
        std::vector<std::pair<int, std::uint32_t>> out;
        const auto trace = bridgeTrace();
        for (auto it = trace.begin() + static_cast<std::ptrdiff_t>(m_mark); it != trace.end(); ++it)
            if (it->cdb[0] == 0x28 || it->cdb[0] == 0x2A)
                out.emplace_back(it->cdb[0], (std::uint32_t{it->cdb[2]} << 24) | (it->cdb[3] << 16) |
                                                 (it->cdb[4] << 8) | it->cdb[5]);
        return out;
    }

    std::size_t m_mark = 0;
};

// 256 KiB at 400 MiB/s reads in 625 us and at 200 MiB/s writes in 1250 us: R = 400, W = 200, reported
// W' = 200 + (400 - 200) x 0.5 = 300. The thresholds are met exactly at the first place, or never.
TEST_F(SpeedTestTest, SpeedsComeFromTheTimedTransfersAndEveryPlaceIsPutBack) {
    struct Row {
        int read, write, expected;
        std::size_t placesTried;
    } rows[] = {{400, 300, 1, 1}, {401, 300, 0, 3}, {400, 301, 0, 3}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.read * 1000 + row.write);
        scanBench();
        EXPECT_EQ(run('E', 512, row.read, row.write), row.expected);
        expectEveryPlaceRestored();
        // Per place and pass: backup read x2, pattern write x2, read back x2, restore write x2.
        const auto commands = blockCommands();
        ASSERT_EQ(commands.size(), row.placesTried * 16);
        for (std::size_t i = 0; i < row.placesTried; ++i)
            for (std::size_t k = 0; k < 16; ++k)
                EXPECT_EQ(commands[i * 16 + k].second, (placeOffset(i)) / 512) << i << " " << k;
        EXPECT_TRUE(debugContains(row.expected ? "Success: dReadSpeed 400.00, dWriteSpeed 300.00"
                                               : "FAIL: dReadSpeed 400.00, dWriteSpeed 300.00"));
    }
}

// A pattern write that fails half-way (the pattern's first round already on the volume): the saved data go
// back and the next place is tried. A write-back that fails ends the test as a failure at once.
TEST_F(SpeedTestTest, FailedStepsStillPutTheContentsBackAndAFailedWriteBackFailsTheTest) {
    {
        scanBench(json::array({{{"kind", "command"}, {"opcode", 0x2A}, {"nth", 2}}}));
        EXPECT_EQ(run('E', 512, 400, 300), 1);
        expectEveryPlaceRestored();
        EXPECT_TRUE(debugContains("OD R/W Test , TestCount[0], Fail"));
    }
    {
        scanBench(json::array({{{"kind", "command"}, {"opcode", 0x2A}, {"nth", 3}}}));
        EXPECT_EQ(run('E', 512, 0, 0), 0);
        EXPECT_TRUE(debugContains("recovery data Fail"));
        EXPECT_EQ(benchRef().driveBytes("d", placeOffset(0), 262144), Bytes(262144, 0x55));
        // No other place was touched.
        for (const auto& [opcode, lba] : blockCommands()) EXPECT_EQ(lba, placeOffset(0) / 512);
    }
}

// Refused before any transfer: no sector size, drive C, a system disk's volume, a letter with no volume.
TEST_F(SpeedTestTest, RefusalsReachNoDrive) {
    struct Row {
        char letter;
        std::uint32_t sectorSize;
        const char* log;
    } rows[] = {{'E', 0, "Sector size == 0"},
                {'C', 512, "is not a bridge's volume"},
                {'D', 512, "drive D: lies on no bridge"},
                {'Q', 512, "drive Q: lies on no bridge"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.letter);
        scanBench();
        EXPECT_EQ(run(row.letter, row.sectorSize, 0, 0), 0);
        EXPECT_TRUE(debugContains(row.log));
        EXPECT_TRUE(blockCommands().empty());
        EXPECT_TRUE(benchRef().volumeEvents().empty());
        expectEveryPlaceRestored();
    }
}

}  // namespace
}  // namespace devcore_test
