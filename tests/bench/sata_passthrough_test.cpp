// The SATA drive behind a 7120 bridge through ATA PASS-THROUGH: the SAT fields held against each other and
// against the request, the SMART pages and logs as drives lay them out, the registers a command returns in
// descriptor-format sense data, and the faults of a drive.
#include <gtest/gtest.h>

#include <numeric>

#include "bench_test_support.h"

namespace bench::testing {
namespace {

constexpr std::uint8_t kIn = 1, kOut = 0;

// The library's and smartctl's command shapes.
ScsiCommand smart12(std::uint8_t feature, std::uint8_t count, std::uint8_t address,
                    std::uint32_t bytes = 512) {
    const bool out = feature == 0xD6;
    return command(
        {0xA1, static_cast<std::uint8_t>(out ? 0x0A : 0x08), static_cast<std::uint8_t>(out ? 0x06 : 0x0E),
         feature, count, address, 0x4F, 0xC2, 0, 0xB0, 0, 0},
        12, out ? kOut : kIn, bytes, 65535);
}
ScsiCommand nonData16(std::uint8_t feature, std::uint8_t command) {
    return bench::testing::command(
        {0x85, 0x06, 0x2C, 0, feature, 0, 0, 0, 0, 0, 0x4F, 0, 0xC2, 0, command, 0}, 16, kOut, 0, 60);
}
ScsiCommand dmaExt(bool write, std::uint64_t lba, std::uint16_t count, std::uint32_t bytes) {
    return command(
        {0x85, static_cast<std::uint8_t>(write ? 0x17 : 0x15), static_cast<std::uint8_t>(write ? 0x06 : 0x0E),
         0, 0, static_cast<std::uint8_t>(count >> 8), static_cast<std::uint8_t>(count),
         static_cast<std::uint8_t>(lba >> 24), static_cast<std::uint8_t>(lba),
         static_cast<std::uint8_t>(lba >> 32), static_cast<std::uint8_t>(lba >> 8),
         static_cast<std::uint8_t>(lba >> 40), static_cast<std::uint8_t>(lba >> 16), 0x50,
         static_cast<std::uint8_t>(write ? 0x35 : 0x25), 0},
        16, write ? kOut : kIn, bytes, 65535);
}

nlohmann::json drive(nlohmann::json extra = nlohmann::json::object()) {
    nlohmann::json d = {{"kind", "sata"}, {"sectors", 4096}};
    d.update(extra);
    return d;
}

struct Fixture {
    std::shared_ptr<Bench> bench;
    Target target;
    explicit Fixture(const nlohmann::json& driveJson, nlohmann::json faults = nlohmann::json::array()) {
        auto json = benchWithBridges({{{"drive", driveJson}}});
        json["faults"] = faults;
        bench = Bench::fromJson(json);
        target = disk(*bench, 1);
    }
    Sent operator()(const ScsiCommand& c, std::vector<std::uint8_t> out = {}) {
        return send(*bench, target, c, std::move(out));
    }
};

std::uint8_t sectorSum(const std::vector<std::uint8_t>& d) {
    return static_cast<std::uint8_t>(std::accumulate(d.begin(), d.end(), 0u));
}

// Each case breaks one SAT rule of a command that is otherwise answered.
struct Malformed {
    const char* what;
    ScsiCommand command;
};

std::vector<Malformed> malformedCases() {
    auto with = [](ScsiCommand c, std::size_t at, std::uint8_t value) {
        c.cdb[at] = value;
        return c;
    };
    auto transfer = [](ScsiCommand c, std::uint32_t length, std::uint8_t dataIn) {
        c.transferLength = length;
        c.dataIn = dataIn;
        return c;
    };
    const ScsiCommand readData = smart12(0xD0, 0, 0);
    return {
        {"PIO data-out protocol for a read", with(readData, 1, 0x0A)},
        {"DMA protocol for a PIO command", with(readData, 1, 0x0C)},
        {"T_DIR to the device on a data-in protocol", with(transfer(readData, 512, kOut), 2, 0x06)},
        {"length in a transport-specific field", with(readData, 2, 0x0F)},
        {"no length on a data protocol", with(readData, 2, 0x08)},
        {"request moves data out", transfer(readData, 512, kOut)},
        {"request shorter than the sector", transfer(readData, 256, kIn)},
        {"two sectors announced for a one-sector log", with(smart12(0xD5, 1, 6), 4, 2)},
        {"non-data command announcing a length", with(nonData16(0xDA, 0xB0), 2, 0x2E)},
        {"non-data command with a data protocol", with(nonData16(0xDA, 0xB0), 1, 0x08)},
        {"write with data-in protocol", with(smart12(0xD6, 1, 0x80), 1, 0x08)},
        {"DMA EXT count disagreeing with the transfer", dmaExt(false, 0, 2, 512)},
        {"DMA EXT in the wrong direction", transfer(dmaExt(false, 0, 1, 512), 512, kOut)},
        {"unknown protocol (FPDMA)", with(dmaExt(false, 0, 1, 512), 1, 0x19)},
    };
}

class SatFields : public ::testing::TestWithParam<Malformed> {};

TEST_P(SatFields, AreRefusedAsInvalidFieldsWithoutReachingTheDrive) {
    Fixture f(drive());
    const Sent s = f(GetParam().command);
    ASSERT_TRUE(s.outcome.controlOk);
    EXPECT_EQ(s.outcome.scsiStatus, kStatusCheckCondition);
    EXPECT_EQ(s.outcome.sense[2], kSenseIllegalRequest);
    EXPECT_EQ(s.outcome.sense[12], kAscInvalidFieldInCdb);
    EXPECT_EQ(s.outcome.bytesMoved, 0u);
}

INSTANTIATE_TEST_SUITE_P(EveryRule, SatFields, ::testing::ValuesIn(malformedCases()),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(SataDrive, AnswersTheLibrarysSmartShapesWithPagesThatSumToZero) {
    const nlohmann::json temperature = {{"id", 194},   {"flags", "0x0022"}, {"value", 64},
                                        {"worst", 40}, {"threshold", 0},    {"raw", "0x0000002D0014"}};
    Fixture f(drive({{"smart", {{"attributes", nlohmann::json::array({temperature})}}}}));
    // SMART READ DATA with the count the library sends (0): one sector all the same.
    const Sent data = f(smart12(0xD0, 0, 0));
    ASSERT_EQ(data.outcome.scsiStatus, kStatusGood);
    ASSERT_EQ(data.outcome.bytesMoved, 512u);
    EXPECT_EQ(sectorSum(data.data), 0);
    const std::vector<std::uint8_t> entry(data.data.begin() + 2, data.data.begin() + 14);
    EXPECT_EQ(entry, (std::vector<std::uint8_t>{194, 0x22, 0x00, 64, 40, 0x14, 0x00, 0x2D, 0, 0, 0, 0}));
    EXPECT_EQ(data.data[14], 0) << "a single attribute leaves the second entry empty";
    const Sent thresholds = f(smart12(0xD1, 1, 1));
    EXPECT_EQ(sectorSum(thresholds.data), 0);
    EXPECT_EQ(thresholds.data[2], 194);
}

TEST(SataDrive, ReturnsItsHealthInTheAtaStatusReturnDescriptor) {
    const nlohmann::json failing = {
        {"attributes", {{{"id", 5}, {"flags", "0x0033"}, {"value", 9}, {"threshold", 10}}}}};
    for (const auto& [smart, mid, high] :
         {std::tuple{nlohmann::json::object(), 0x4F, 0xC2}, std::tuple{failing, 0xF4, 0x2C}}) {
        Fixture f(smart.empty() ? drive() : drive({{"smart", smart}}));
        const Sent s = f(nonData16(0xDA, 0xB0));
        ASSERT_EQ(s.outcome.scsiStatus, kStatusCheckCondition);
        ASSERT_EQ(s.outcome.sense.size(), 22u);
        EXPECT_EQ(s.outcome.sense[0], 0x72);
        EXPECT_EQ(s.outcome.sense[1], kSenseRecoveredError);
        EXPECT_EQ(s.outcome.sense[3], 0x1D);  // ATA PASS THROUGH INFORMATION AVAILABLE
        EXPECT_EQ(s.outcome.sense[8], 0x09);
        EXPECT_EQ(s.outcome.sense[8 + 9], mid);
        EXPECT_EQ(s.outcome.sense[8 + 11], high);
        EXPECT_EQ(s.outcome.sense[8 + 13], 0x50);
        // usb-storage reads the sense data with REQUEST SENSE: the same bytes come back.
        const Sent sense = f(command({0x03, 0, 0, 0, 96, 0}, 6, kIn, 96));
        EXPECT_EQ(sense.outcome.bytesMoved, 22u);
        EXPECT_TRUE(std::equal(s.outcome.sense.begin(), s.outcome.sense.end(), sense.data.begin()));
    }
}

TEST(SataDrive, ReportsItsPowerModeInTheCount) {
    for (const auto& [mode, count] :
         {std::pair{"active", 0xFF}, std::pair{"idle", 0x80}, std::pair{"standby", 0x00}}) {
        Fixture f(drive({{"power_mode", mode}}));
        const Sent s = f(nonData16(0, 0xE5));
        ASSERT_EQ(s.outcome.sense.size(), 22u) << mode;
        EXPECT_EQ(s.outcome.sense[8 + 5], count) << mode;
    }
}

TEST(SataDrive, LaysOutItsSelfTestAndErrorLogsNewestLast) {
    Fixture f(drive({{"smart",
                      {{"self_tests",
                        {{{"type", "extended"},
                          {"status", "read_failure"},
                          {"remaining", 60},
                          {"hours", 300},
                          {"lba", 0x01020304}},
                         {{"type", "short"}, {"hours", 290}}}},
                       {"errors", {{{"hours", 298}, {"command", "0xC8"}, {"lba", "0x07000102"}}}}}}}));
    const Sent tests = f(smart12(0xD5, 1, 0x06));
    ASSERT_EQ(tests.outcome.scsiStatus, kStatusGood);
    EXPECT_EQ(sectorSum(tests.data), 0);
    EXPECT_EQ(tests.data[508], 2) << "the newest descriptor";
    EXPECT_EQ(tests.data[2], 1) << "the older short test first";
    const std::vector<std::uint8_t> newest(tests.data.begin() + 26, tests.data.begin() + 35);
    EXPECT_EQ(newest, (std::vector<std::uint8_t>{2, 0x76, 0x2C, 0x01, 0, 0x04, 0x03, 0x02, 0x01}));
    const Sent errors = f(smart12(0xD5, 1, 0x01));
    EXPECT_EQ(sectorSum(errors.data), 0);
    EXPECT_EQ(errors.data[1], 1);
    EXPECT_EQ(errors.data[452], 1);
    // The error data of entry 1: error, count, LBA low/mid/high, device with LBA bits 27-24, status.
    const std::vector<std::uint8_t> registers(errors.data.begin() + 2 + 61, errors.data.begin() + 2 + 68);
    EXPECT_EQ(registers, (std::vector<std::uint8_t>{0x40, 1, 0x02, 0x01, 0x00, 0x47, 0x51}));
}

TEST(SataDrive, KeepsHostLogsInTheBenchFolderAndAbortsWritesToItsOwnLogs) {
    TempFolder folder;
    std::vector<std::uint8_t> page(512);
    std::iota(page.begin(), page.end(), std::uint8_t{7});
    {
        auto bench = Bench::createFolder(folder.path(), benchWithBridges({{{"drive", drive()}}}));
        EXPECT_EQ(send(*bench, disk(*bench, 1), smart12(0xD6, 1, 0x9F), page).outcome.scsiStatus,
                  kStatusGood);
        const Sent own = send(*bench, disk(*bench, 1), smart12(0xD6, 1, 0x06), page);
        ASSERT_EQ(own.outcome.sense.size(), 22u);
        EXPECT_EQ(own.outcome.sense[1], kSenseAbortedCommand);
        EXPECT_EQ(own.outcome.sense[8 + 3], 0x04);   // ABRT
        EXPECT_EQ(own.outcome.sense[8 + 13], 0x51);  // ERR
    }
    auto reopened = Bench::openFolder(folder.path());
    const Sent back = send(*reopened, disk(*reopened, 1), smart12(0xD5, 1, 0x9F));
    EXPECT_EQ(back.data, page);
    EXPECT_EQ(send(*reopened, disk(*reopened, 1), smart12(0xD5, 1, 0x80)).data,
              std::vector<std::uint8_t>(512, 0));
}

TEST(SataDrive, AbortsSmartWithoutItsSignatureAndAfterDisable) {
    Fixture f(drive());
    ScsiCommand unsigned_ = smart12(0xD0, 0, 0);
    unsigned_.cdb[7] = 0x00;
    EXPECT_EQ(f(unsigned_).outcome.sense[1], kSenseAbortedCommand);
    f(nonData16(0xD9, 0xB0));
    EXPECT_EQ(f(smart12(0xD0, 0, 0)).outcome.sense[1], kSenseAbortedCommand);
    f(nonData16(0xD8, 0xB0));
    EXPECT_EQ(f(smart12(0xD0, 0, 0)).outcome.scsiStatus, kStatusGood);
}

TEST(DriveFaults, AHungDriveTimesOutWhileTheBridgeAnswers) {
    Fixture f(drive(), {{{"kind", "drive_hang"}}});
    const std::uint64_t before = f.bench->nowMs();
    const Sent s = f(smart12(0xD0, 0, 0));
    EXPECT_FALSE(s.outcome.controlOk);
    EXPECT_EQ(s.outcome.systemError, 121u);
    EXPECT_EQ(f.bench->nowMs() - before, 65535u * 1000) << "the host waited its whole time-out";
    EXPECT_EQ(f(inquiry38()).outcome.scsiStatus, kStatusGood);
    EXPECT_EQ(f(registerRead(0x07F0, 7)).outcome.scsiStatus, kStatusGood);
    EXPECT_EQ(f(smart12(0xD5, 1, 6)).outcome.systemError, 121u) << "it stays hung";
}

TEST(DriveFaults, ACommandFaultCanNameTheAtaCommandAndItsFeature) {
    Fixture f(drive(), {{{"kind", "command"},
                         {"opcode", "0xA1"},
                         {"subcommand", "0xB0"},
                         {"feature", "0xD5"},
                         {"as", "check_condition"}}});
    EXPECT_EQ(f(smart12(0xD0, 0, 0)).outcome.scsiStatus, kStatusGood);
    const Sent failed = f(smart12(0xD5, 1, 6));
    EXPECT_EQ(failed.outcome.scsiStatus, kStatusCheckCondition);
    EXPECT_EQ(failed.outcome.sense[2], kSenseHardwareError);
}

}  // namespace
}  // namespace bench::testing
