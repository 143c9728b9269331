// A bridge refuses every malformed command as the real chip does: each command the system sends is
// accepted as it is, and refused with CHECK CONDITION / ILLEGAL REQUEST / INVALID FIELD IN CDB when any
// one detail changes (CDB length, a reserved or fixed byte, the length against the transfer, direction).
#include <gtest/gtest.h>

#include "bench_test_support.h"

namespace bench::testing {
namespace {

struct Case {
    const char* name;
    bool pcie;
    ScsiCommand good;
    std::vector<std::size_t> mustBeZero;     // reserved bytes
    std::vector<std::size_t> mustKeep;       // bytes with one fixed value
    std::int64_t refusedTransferDelta = +1;  // a transfer length this far off is refused
};

std::vector<Case> cases() {
    auto sectors = [](std::uint8_t count) { return static_cast<std::uint32_t>(count) * 512u; };
    return {
        {"inquiry", false, inquiry38(), {1, 5, 6, 7, 8, 9, 10, 11}, {}, -1},
        {"factory read", true, command({0x12, 0x01, 0xC8, 0, 0x81, 0}, 6, 1, 512, 60), {5}, {}, -512 + 0x80},
        {"register read", false, registerRead(0x07F0, 7), {2, 5}, {}},
        {"register read 256", false, registerRead(0x5000, 256), {2, 5}, {}},
        {"register write", false, registerWrite(0xCA02, 1), {2, 5}, {}},
        {"configuration read", false, command({0xE0, 0, 0, 0, 0, 0}, 6, 1, 128), {2, 3, 4, 5}, {}},
        {"configuration write", false, command({0xE1, 0, 0, 0, 0, 0}, 6, 0, 128, 60), {2, 3, 4, 5}, {}},
        {"firmware read", false, firmwareRead(0, 4096), {}, {}},
        {"firmware write", false, firmwareWrite(1, 4096), {}, {}},
        {"hard-disk write",
         false,
         command({0xE6, 0, 0, 0, 0x35, 0, 0x10, 0, 0, 0x40, 0, 0, 0, 0, 2, 0}, 16, 0, sectors(2), 10),
         {1, 2, 3, 5, 13},
         {4, 9}},
        {"restart", false, cpuReset(0), {2, 3, 4, 5, 6, 7, 8, 9, 10, 11}, {}},
        {"cache flush", false, command({0x35}, 10, 2, 0, 60), {1, 2, 3, 4, 5, 6, 7, 8, 9}, {}},
        {"test unit ready", false, command({0x00}, 6, 0, 0), {1, 2, 3, 4, 5}, {}},
        {"read capacity", false, command({0x25}, 10, 1, 8), {1, 2, 3, 4, 5, 6, 7, 8, 9}, {}},
        {"ATA identify",
         false,
         command({0xA1, 0x08, 0x0E, 0, 1, 0, 0, 0, 0, 0xEC, 0, 0}, 12, 1, 512, 65535),
         {10, 11},
         {1, 2}},
        {"ATA read DMA ext",
         false,
         command({0x85, 0x15, 0x0E, 0, 0, 0, 2, 0, 0x20, 0, 0, 0, 0, 0x40, 0x25, 0}, 16, 1, sectors(2),
                 65535),
         {15},
         {2}},
        {"ATA write DMA ext",
         false,
         command({0x85, 0x17, 0x06, 0, 0, 0, 1, 0, 0x20, 0, 0, 0, 0, 0x40, 0x35, 0}, 16, 0, sectors(1),
                 65535),
         {15},
         {2}},
        {"request sense", false, command({0x03, 0, 0, 0, 18, 0}, 6, 1, 18), {1, 2, 3, 5}, {}},
        {"mode sense 6", false, command({0x1A, 0, 0x3F, 0, 192, 0}, 6, 1, 192), {1, 3, 5}, {}},
        {"mode sense 10",
         false,
         command({0x5A, 0, 0x3F, 0, 0, 0, 0, 0, 192, 0}, 10, 1, 192),
         {1, 3, 4, 5, 6, 9},
         {}},
        {"read 10", false, command({0x28, 0, 0, 0, 0, 8, 0, 0, 2, 0}, 10, 1, sectors(2)), {1, 6, 9}, {}},
        {"read capacity 16",
         false,
         command({0x9E, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 32, 0, 0}, 16, 1, 32),
         {2, 3, 4, 5, 6, 7, 8, 9, 14, 15},
         {1}},
        {"prevent allow medium removal", false, command({0x1E, 0, 0, 0, 1, 0}, 6, 0, 0), {1, 2, 3, 5}, {}},
        {"start stop unit", false, command({0x1B, 0, 0, 0, 1, 0}, 6, 0, 0), {1, 2, 3, 5}, {}},
        {"PCIe configuration read", true, command({0xEE, 0, 8, 0, 0x10, 1}, 6, 1, 8), {}, {5}},
        {"PCIe configuration write",
         true,
         command({0xEF, 0, 0, 0, 0x80, 0, 1, 2, 3, 4}, 10, 0, 0, 60),
         {1, 2, 5},
         {}},
        {"factory write",
         true,
         command({0xC3, 0x30, 0x0C, 0, 0, 0, 0, 0, 0, 124, 0}, 11, 0, 124, 60),
         {3, 4, 5, 6, 7, 8, 10},
         {1, 2, 9}},
    };
}

class CommandRules : public ::testing::TestWithParam<Case> {
  protected:
    // A fresh bench for every command sent, so that a restart or a write changes nothing for the next.
    Sent sendFresh(const ScsiCommand& c) {
        auto bench =
            Bench::fromJson(benchWithBridges({{{"id", "sata"}}, {{"id", "nvme"}, {"family", "8500"}}}));
        return send(*bench, disk(*bench, GetParam().pcie ? 2 : 1), c);
    }
    void expectRefused(const ScsiCommand& c, const std::string& what) {
        SCOPED_TRACE(what);
        const Sent s = sendFresh(c);
        ASSERT_TRUE(s.outcome.controlOk);
        EXPECT_EQ(s.outcome.scsiStatus, kStatusCheckCondition);
        EXPECT_EQ(s.outcome.sense[2], kSenseIllegalRequest);
        EXPECT_EQ(s.outcome.sense[12], kAscInvalidFieldInCdb);
        EXPECT_EQ(s.outcome.bytesMoved, 0u);
    }
};

TEST_P(CommandRules, TheCommandAsSentIsAnswered) {
    const Sent s = sendFresh(GetParam().good);
    ASSERT_TRUE(s.outcome.controlOk);
    EXPECT_EQ(s.outcome.scsiStatus, kStatusGood);
}

TEST_P(CommandRules, AnyOtherCdbLengthIsRefused) {
    for (std::uint8_t length : {6, 10, 11, 12, 16}) {
        if (length == GetParam().good.cdbLength) continue;
        // A 6-byte command may travel in a 12-byte CDB (INQUIRY does); no other length is known.
        if (GetParam().good.cdb[0] == 0x12 && length == (GetParam().good.cdbLength == 6 ? 12 : 6)) continue;
        ScsiCommand c = GetParam().good;
        c.cdbLength = length;
        expectRefused(c, "CDB length " + std::to_string(length));
    }
}

TEST_P(CommandRules, ReservedAndFixedBytesAreChecked) {
    for (const std::size_t at : GetParam().mustBeZero) {
        ScsiCommand c = GetParam().good;
        c.cdb[at] = 0x02;
        expectRefused(c, "reserved byte " + std::to_string(at));
    }
    for (const std::size_t at : GetParam().mustKeep) {
        ScsiCommand c = GetParam().good;
        c.cdb[at] ^= 0x01;
        expectRefused(c, "fixed byte " + std::to_string(at));
    }
}

TEST_P(CommandRules, TransferLengthAndDirectionMustFitTheCdb) {
    ScsiCommand c = GetParam().good;
    c.transferLength = static_cast<std::uint32_t>(c.transferLength + GetParam().refusedTransferDelta);
    expectRefused(c, "transfer length " + std::to_string(c.transferLength));
    if (GetParam().good.transferLength > 0) {
        ScsiCommand flipped = GetParam().good;
        flipped.dataIn = flipped.dataIn == 1 ? 0 : 1;
        expectRefused(flipped, "direction");
    }
}

INSTANTIATE_TEST_SUITE_P(EveryCommand, CommandRules, ::testing::ValuesIn(cases()),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             std::string name;
                             for (const char* p = info.param.name; *p; ++p)
                                 if (std::isalnum(static_cast<unsigned char>(*p))) name += *p;
                             return name;
                         });

TEST(CommandRules, UnknownOperationCodeAndOtherFamilyCommandsAreInvalidOpcodes) {
    auto bench = Bench::fromJson(benchWithBridges({{{"id", "sata"}}}));
    for (const auto& c : {command({0xF7}, 6, 0, 0), command({0xEE, 0, 4, 0, 0x10, 0}, 6, 1, 4),
                          command({0xC3, 0x30, 0x0C, 0, 0, 0, 0, 0, 0, 124, 0}, 11, 0, 124, 60)}) {
        const Sent s = send(*bench, disk(*bench, 1), c);
        EXPECT_EQ(s.outcome.scsiStatus, kStatusCheckCondition);
        EXPECT_EQ(s.outcome.sense[12], kAscInvalidOpcode) << std::hex << int(c.cdb[0]);
    }
}

TEST(CommandRules, RegisterNoiseSitsBesideTheDerivedBitsAndSurvivesARestart) {
    auto bench = Bench::fromJson(benchWithBridges(
        {{{"id", "b"},
          {"device_type", 1},
          {"msignature", 0},
          {"restart_delay_ms", 10},
          {"register_noise",
           {{"0x9000", "0x01"}, {"0x90E5", "0x06"}, {"0xC8FF", "0x80"}, {"0xC895", "0x81"}}}}}));
    auto readAll = [&] {
        std::vector<std::uint8_t> values;
        for (std::uint16_t address : {0x9000, 0x90E5, 0xC8FF, 0xC895})
            values.push_back(
                send(*bench, disk(*bench, bench->bridgeStatus("b").diskNumber), registerRead(address, 1))
                    .data[0]);
        return values;
    };
    // UAS (bit 7) plus noise 0x01; not plus (0) with 0x06; member 1, MSignature 0 plus 0x80; package 0x81.
    EXPECT_EQ(readAll(), (std::vector<std::uint8_t>{0x81, 0x06, 0x90, 0x81}));
    send(*bench, disk(*bench, 1), cpuReset());
    bench->sleepMs(10);
    EXPECT_EQ(readAll(), (std::vector<std::uint8_t>{0x81, 0x06, 0x90, 0x81}));
}

TEST(CommandRules, StorageSerialAndReportedDeviceNumberAreConfigurable) {
    auto bench = Bench::fromJson(benchWithBridges({{{"id", "b"},
                                                    {"serial", "USB-SN"},
                                                    {"storage_serial", "DESCRIPTOR-SN"},
                                                    {"reported_device_number", 9}}}));
    std::uint32_t error = 0;
    const Target byNumber = disk(*bench, 1);
    EXPECT_EQ(bench->storageInfo(byNumber, error)->serial, "DESCRIPTOR-SN");
    EXPECT_EQ(bench->deviceNumber(byNumber, error)->number, 9u);
    // Through its interface path the disk reports its true number.
    std::optional<Target> byInterface;
    for (const auto& i : bench->interfaces("{53F56307-B6BF-11D0-94F2-00A0C91EFB8B}"))
        if (i.devicePath.find("usb-sn") != std::string::npos) byInterface = openPath(*bench, i.devicePath);
    ASSERT_TRUE(byInterface);
    EXPECT_EQ(bench->deviceNumber(*byInterface, error)->number, 1u);
}

}  // namespace
}  // namespace bench::testing
