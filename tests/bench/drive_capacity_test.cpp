// What a bridge reports of its drive against what the drive holds: hidden sectors past the reported end,
// the sector sizes in IDENTIFY, a 512-byte drive behind a bridge that reports 4096-byte blocks; and the
// drive's description refused where it cannot describe a real drive.
#include <gtest/gtest.h>

#include "bench/byte_order.h"
#include "bench_test_support.h"

namespace bench::testing {
namespace {

// T_TYPE (byte 2 bit 4) counts in logical sectors rather than 512 bytes: what a 4096-byte drive needs.
ScsiCommand dmaExt(bool write, std::uint64_t lba, std::uint16_t count, std::uint32_t bytes,
                   bool logical = false) {
    const auto flags = static_cast<std::uint8_t>((write ? 0x06 : 0x0E) | (logical ? 0x10 : 0));
    return command({0x85, static_cast<std::uint8_t>(write ? 0x17 : 0x15), flags, 0, 0,
                    static_cast<std::uint8_t>(count >> 8), static_cast<std::uint8_t>(count),
                    static_cast<std::uint8_t>(lba >> 24), static_cast<std::uint8_t>(lba),
                    static_cast<std::uint8_t>(lba >> 32), static_cast<std::uint8_t>(lba >> 8),
                    static_cast<std::uint8_t>(lba >> 40), static_cast<std::uint8_t>(lba >> 16), 0x50,
                    static_cast<std::uint8_t>(write ? 0x35 : 0x25), 0},
                   16, write ? 0 : 1, bytes, 65535);
}
ScsiCommand readCapacity16() {
    return command({0x9E, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 32, 0, 0}, 16, 1, 32);
}

// One drive shape and what the bridge reports of it; the last-sector reader's command is built from the
// reported size as the library builds it (LBA N, or N × 8 with a count of 8 for a 512-byte drive behind
// 4096-byte blocks).
struct Shape {
    const char* name;
    std::uint32_t logical, physical, reported;
    std::uint64_t sectors, hidden;
    std::uint64_t reportedBlocks;
    std::uint16_t word106, word117;
};

class DriveShape : public ::testing::TestWithParam<Shape> {
  protected:
    std::shared_ptr<Bench> makeBench() {
        const Shape& p = GetParam();
        return Bench::fromJson(benchWithBridges({{{"drive",
                                                   {{"sectors", p.sectors},
                                                    {"bytes_per_sector", p.logical},
                                                    {"physical_bytes_per_sector", p.physical},
                                                    {"reported_bytes_per_sector", p.reported},
                                                    {"hidden_sectors", p.hidden}}}}}));
    }
};

TEST_P(DriveShape, ReportsFewerBlocksThanItHoldsAndReachesThePastTheEndSector) {
    const Shape& p = GetParam();
    auto bench = makeBench();
    const Target t = disk(*bench, 1);
    const Sent capacity = send(*bench, t, readCapacity16());
    EXPECT_EQ((std::uint64_t{be32(capacity.data.data())} << 32 | be32(capacity.data.data() + 4)) + 1,
              p.reportedBlocks);
    EXPECT_EQ(be32(capacity.data.data() + 8), p.reported);
    std::uint32_t error = 0;
    const auto geometry = bench->geometry(t, error);
    ASSERT_TRUE(geometry);
    EXPECT_EQ(geometry->bytesPerSector, p.reported);
    EXPECT_EQ(geometry->diskSize, p.reportedBlocks * p.reported);
    // READ(10) stops at the reported end ...
    const auto n = static_cast<std::uint32_t>(p.reportedBlocks);
    const Sent beyond =
        send(*bench, t,
             command({0x28, 0, static_cast<std::uint8_t>(n >> 24), static_cast<std::uint8_t>(n >> 16),
                      static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n), 0, 0, 1, 0},
                     10, 1, p.reported));
    EXPECT_EQ(beyond.outcome.sense[12], kAscLbaOutOfRange);
    // ... while the drive's sectors behind it take a write and read it back.
    const std::uint32_t perBlock = p.reported / p.logical;
    const std::uint64_t lba = p.reportedBlocks * perBlock;
    std::vector<std::uint8_t> page(p.reported, 0xA5);
    page[0] = 0x01;
    const bool logical = p.logical != 512;
    const auto count = static_cast<std::uint16_t>(perBlock);
    const Sent written = send(*bench, t, dmaExt(true, lba, count, p.reported, logical), page);
    ASSERT_EQ(written.outcome.scsiStatus, kStatusGood);
    EXPECT_EQ(send(*bench, t, dmaExt(false, lba, count, p.reported, logical)).data, page);
    // Counted in 512-byte units, one sector of a 4096-byte drive is eight of them: the transfer disagrees.
    if (logical) {
        EXPECT_EQ(send(*bench, t, dmaExt(false, lba, count, p.reported)).outcome.sense[12],
                  kAscInvalidFieldInCdb);
    }
    // The drive ends where its IDENTIFY says.
    EXPECT_EQ(send(*bench, t, dmaExt(false, p.sectors, 1, p.logical, logical)).outcome.sense[1],
              kSenseIllegalRequest);
}

TEST_P(DriveShape, IdentifyGivesTheCapacityAndSectorSizes) {
    const Shape& p = GetParam();
    auto bench = makeBench();
    const Sent s =
        send(*bench, disk(*bench, 1), command({0xA1, 0x08, 0x0E, 0, 1, 0, 0, 0, 0, 0xEC, 0, 0}, 12, 1, 512));
    ASSERT_EQ(s.outcome.scsiStatus, kStatusGood);
    const auto word = [&](int w) {
        return static_cast<std::uint16_t>(s.data[2 * w] | s.data[2 * w + 1] << 8);
    };
    const std::uint64_t capacity =
        word(100) | std::uint64_t{word(101)} << 16 | std::uint64_t{word(102)} << 32;
    EXPECT_EQ(capacity, p.sectors);
    EXPECT_EQ(word(106), p.word106);
    EXPECT_EQ(word(117), p.word117);
    EXPECT_EQ(word(85) & 1, 1) << "SMART enabled";
    EXPECT_EQ(word(87) & 0x23, 0x03) << "SMART error logging and self-test, no general purpose logging";
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, DriveShape,
    ::testing::Values(Shape{"Sector512", 512, 512, 512, 100000, 1, 99999, 0x4000, 0},
                      Shape{"Sector512Physical4096", 512, 4096, 512, 100000, 8, 99992, 0x6003, 0},
                      Shape{"Sector4096", 4096, 4096, 4096, 12500, 2, 12498, 0x5000, 2048},
                      Shape{"Sector512Behind4096Blocks", 512, 4096, 4096, 100000, 1, 12499, 0x6003, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DriveDescription, RefusesWhatNoDriveCouldBe) {
    const auto refusal = [](const nlohmann::json& drive) -> std::string {
        try {
            parseDescription(benchWithBridges({{{"drive", drive}}}), "b.json");
        } catch (const BenchError& e) {
            return e.what();
        }
        return "";
    };
    const std::string at = "b.json: controllers[0].ports[0].bridge.drive.";
    const nlohmann::json attribute = {{"id", 9}, {"value", 50}};
    const std::vector<std::pair<nlohmann::json, std::string>> cases = {
        {{{"reported_bytes_per_sector", 512}, {"bytes_per_sector", 4096}}, "reported_bytes_per_sector"},
        {{{"physical_bytes_per_sector", 512}, {"bytes_per_sector", 4096}}, "physical_bytes_per_sector"},
        {{{"sectors", 100}, {"hidden_sectors", 100}}, "hidden_sectors"},
        {{{"power_mode", "sleep"}}, "power_mode"},
        {{{"smart", {{"attributes", {attribute, attribute}}}}}, "smart.attributes[1].id"},
        {{{"smart", {{"attributes", {{{"id", 9}, {"value", 50}, {"worst", 60}}}}}}},
         "smart.attributes[0].worst"},
        {{{"smart", {{"attributes", {{{"id", 9}, {"raw", 1ull << 48}}}}}}}, "smart.attributes[0].raw"},
        {{{"smart", {{"self_tests", {{{"remaining", 45}}}}}}}, "smart.self_tests[0].remaining"},
        {{{"smart", {{"errors", {{{"status", "0x50"}}}}}}}, "smart.errors[0].status"},
        {{{"smart", {{"errors", {{{"hours", 1}}}}, {"error_count", 3}}}}, "smart.error_count"},
        {{{"kind", "nvme"}, {"smart", nlohmann::json::object()}}, "smart"},
    };
    for (const auto& [drive, key] : cases)
        EXPECT_EQ(refusal(drive).rfind(at + key + ":", 0), 0u) << drive.dump() << " -> " << refusal(drive);
}

}  // namespace
}  // namespace bench::testing
