// Byte-for-byte answers of a bench bridge to the vendor command set.
#include <gtest/gtest.h>

#include "bench/bridge/bridge_registers.h"
#include "bench/bridge/firmware_image.h"
#include "bench/drive/ata_identify.h"
#include "bench_test_support.h"

namespace bench::testing {
namespace {

class BridgeCommands : public ::testing::Test {
  protected:
    void SetUp() override {
        bench = Bench::fromJson(benchWithBridges(
            {{{"id", "sata"},
              {"serial", "SN0001"},
              {"drive", {{"serial", "WD-123"}, {"model", "Bench Disk"}, {"sectors", 1ull << 42}}}},
             {{"id", "nvme"},
              {"family", "8500"},
              {"serial", "SN0002"},
              {"drive", {{"serial", "NVME-SERIAL-7"}}}}}));
        sata = disk(*bench, 1);
        nvme = disk(*bench, 2);
    }
    std::shared_ptr<Bench> bench;
    Target sata, nvme;
};

TEST_F(BridgeCommands, InquiryCarriesTheChipNumberInBytes36And37) {
    const auto a = send(*bench, sata, inquiry38());
    ASSERT_TRUE(a.outcome.controlOk);
    EXPECT_EQ(a.outcome.scsiStatus, 0);
    EXPECT_EQ(a.outcome.bytesMoved, 38u);
    EXPECT_EQ(std::string(a.data.begin() + 8, a.data.begin() + 16), "KRV     ");
    EXPECT_EQ(std::string(a.data.begin() + 16, a.data.begin() + 32), "USB3.0 Bridge   ");
    EXPECT_EQ(a.data[36], 0x20);
    EXPECT_EQ(a.data[37], 0x71);

    const auto b = send(*bench, nvme, inquiry38());
    EXPECT_EQ(b.data[36], 0x00);
    EXPECT_EQ(b.data[37], 0x85);
}

TEST_F(BridgeCommands, RegisterReadWithLengthByteZeroReturns256Bytes) {
    bench->withChip("sata", [](BridgeChip& chip) {
        for (int i = 0; i < 256; ++i)
            chip.setRegister(static_cast<std::uint16_t>(0x5000 + i), static_cast<std::uint8_t>(i ^ 0x5A));
    });
    auto c = registerRead(0x5000, 256);
    ASSERT_EQ(c.cdb[1], 0);
    const auto r = send(*bench, sata, c);
    ASSERT_EQ(r.outcome.bytesMoved, 256u);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(r.data[static_cast<std::size_t>(i)], i ^ 0x5A) << i;
}

TEST_F(BridgeCommands, RegisterWriteChangesOneByteOnly) {
    bench->withChip("sata", [](BridgeChip& chip) {
        chip.setRegister(0xCA02, 0x11);
        chip.setRegister(0xCA03, 0x22);
    });
    EXPECT_EQ(send(*bench, sata, registerWrite(0xCA02, 0x01)).outcome.scsiStatus, 0);
    const auto r = send(*bench, sata, registerRead(0xCA02, 2));
    EXPECT_EQ(r.data, (std::vector<std::uint8_t>{0x01, 0x22}));
}

TEST_F(BridgeCommands, VersionRegisterHoldsTheRunningVersion) {
    const auto r = send(*bench, sata, registerRead(0x07F0, 7));
    EXPECT_EQ(r.data, (std::vector<std::uint8_t>{0x12, 0x04, 0x23, 0x91, 0xF0, 0x00, 0x00}));
}

TEST_F(BridgeCommands, ConfigurationBanksAndOemAreaAreSeparate) {
    std::vector<std::uint8_t> block(128);
    for (std::size_t i = 0; i < 128; ++i) block[i] = static_cast<std::uint8_t>(i);
    auto write = command({0xE1, 1, 0, 0, 0, 0}, 6, 0, 128, 60);
    ASSERT_EQ(send(*bench, sata, write, block).outcome.scsiStatus, 0);
    EXPECT_EQ(send(*bench, sata, command({0xE0, 1, 0, 0, 0, 0}, 6, 1, 128)).data, block);
    const auto bank0 = send(*bench, sata, command({0xE0, 0, 0, 0, 0, 0}, 6, 1, 128)).data;
    EXPECT_NE(bank0, block);
    // Bank 0 leaves the factory with the configured serial in bytes 4..23.
    EXPECT_EQ(std::string(bank0.begin() + 4, bank0.begin() + 10), "SN0001");
    EXPECT_EQ(bank0[10], 0xFF);
    EXPECT_EQ(bank0[126], 0x5A);
    const auto oem = send(*bench, sata, command({0xE0, 0xFF, 0, 0, 0, 0}, 6, 1, 128)).data;
    EXPECT_EQ(oem, std::vector<std::uint8_t>(128, 0xFF));
    EXPECT_EQ(send(*bench, sata, command({0xE0, 2, 0, 0, 0, 0}, 6, 1, 128)).outcome.scsiStatus,
              kStatusCheckCondition);
}

TEST_F(BridgeCommands, PiecewiseFirmwareWriteContinuesAndReadsBackBehindTheConfigurationBlock) {
    std::vector<std::uint8_t> stream(200000);
    for (std::size_t i = 0; i < stream.size(); ++i) stream[i] = static_cast<std::uint8_t>(i * 7 + (i >> 9));
    writeStreamInPieces(*bench, sata, 1, stream);
    EXPECT_EQ(bench->bridgeStatus("sata").romCode, false);  // bank 1 does not boot
    bench->withChip("sata", [&](BridgeChip& chip) { EXPECT_EQ(chip.firmwareBank(1), stream); });

    // L + 128 bytes: the bank's configuration block, then L bytes of the stream.
    const std::uint32_t length = 1000;
    const auto r = send(*bench, sata, firmwareRead(1, length + 128));
    ASSERT_EQ(r.outcome.bytesMoved, length + 128);
    const auto config = send(*bench, sata, command({0xE0, 1, 0, 0, 0, 0}, 6, 1, 128)).data;
    EXPECT_TRUE(std::equal(config.begin(), config.end(), r.data.begin()));
    EXPECT_TRUE(std::equal(stream.begin(), stream.begin() + length, r.data.begin() + 128));
}

TEST_F(BridgeCommands, AnotherCommandBetweenPiecesStartsTheStreamAgain) {
    const std::vector<std::uint8_t> first(100, 0xAA), second(50, 0xBB);
    send(*bench, sata, firmwareWrite(1, 100), first);
    send(*bench, sata, registerRead(0x07F0, 7));
    send(*bench, sata, firmwareWrite(1, 50), second);
    bench->withChip("sata", [&](BridgeChip& chip) { EXPECT_EQ(chip.firmwareBank(1), second); });
}

TEST_F(BridgeCommands, APauseBetweenPiecesStartsTheStreamAgain) {
    send(*bench, sata, firmwareWrite(1, 100), std::vector<std::uint8_t>(100, 0xAA));
    send(*bench, sata, firmwareWrite(1, 100), std::vector<std::uint8_t>(100, 0xAB));
    bench->withChip("sata", [&](BridgeChip& chip) { EXPECT_EQ(chip.firmwareBank(1).size(), 200u); });
    bench->sleepMs(500);
    send(*bench, sata, firmwareWrite(1, 10), std::vector<std::uint8_t>(10, 0xCC));
    bench->withChip("sata", [&](BridgeChip& chip) {
        EXPECT_EQ(chip.firmwareBank(1), std::vector<std::uint8_t>(10, 0xCC));
    });
}

TEST_F(BridgeCommands, FirmwareWriteWhosePieceLengthDisagreesWithTheTransferIsRefused) {
    const auto r = send(
        *bench, sata,
        [] {
            auto c = firmwareWrite(1, 100);
            c.transferLength = 99;
            return c;
        }(),
        std::vector<std::uint8_t>(99, 1));
    EXPECT_EQ(r.outcome.scsiStatus, kStatusCheckCondition);
}

TEST_F(BridgeCommands, UnknownAndFamilyForeignCommandsAnswerCheckCondition) {
    EXPECT_EQ(send(*bench, sata, command({0xF7, 0, 0, 0, 0, 0}, 6, 0, 0)).outcome.scsiStatus,
              kStatusCheckCondition);
    // PCIe configuration and factory configuration belong to the 8500 family.
    EXPECT_EQ(send(*bench, sata, command({0xEE, 0, 4, 0, 0, 0}, 6, 1, 4)).outcome.scsiStatus,
              kStatusCheckCondition);
    EXPECT_EQ(send(*bench, nvme, command({0xEE, 0, 4, 0, 0, 0}, 6, 1, 4)).outcome.scsiStatus, 0);
    const auto check = send(*bench, sata, command({0xF7, 0, 0, 0, 0, 0}, 6, 0, 0));
    EXPECT_EQ(check.outcome.sense[2], kSenseIllegalRequest);
    EXPECT_EQ(check.outcome.sense[12], kAscInvalidOpcode);
}

TEST_F(BridgeCommands, PcieConfigurationReadChecksLengthFlagAndWriteStoresFourBytes) {
    EXPECT_EQ(send(*bench, nvme, command({0xEE, 0, 8, 0, 0x10, 0}, 6, 1, 8)).outcome.scsiStatus,
              kStatusCheckCondition);
    ASSERT_EQ(
        send(*bench, nvme, command({0xEF, 0, 0, 0, 0x10, 0, 1, 2, 3, 4}, 10, 0, 0, 60)).outcome.scsiStatus,
        0);
    const auto r = send(*bench, nvme, command({0xEE, 0, 8, 0, 0x10, 1}, 6, 1, 8));
    EXPECT_EQ(std::vector<std::uint8_t>(r.data.begin(), r.data.begin() + 4),
              (std::vector<std::uint8_t>{1, 2, 3, 4}));
    EXPECT_EQ(send(*bench, nvme, command({0xEE, 0, 4, 0, 0x11, 0}, 6, 1, 4)).outcome.scsiStatus,
              kStatusCheckCondition);
}

TEST_F(BridgeCommands, FactoryConfigurationWrittenWithC3ComesBackFromVpdPageC8) {
    std::vector<std::uint8_t> block(124);
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>('A' + i % 26);
    const auto w =
        send(*bench, nvme, command({0xC3, 0x30, 0x0C, 0, 0, 0, 0, 0, 0, 124, 0}, 11, 0, 124, 60), block);
    ASSERT_EQ(w.outcome.scsiStatus, 0);
    const auto r = send(*bench, nvme, command({0x12, 1, 0xC8, 0, 0x81, 0}, 6, 1, 512, 60));
    ASSERT_EQ(r.outcome.scsiStatus, 0);
    EXPECT_TRUE(std::equal(block.begin(), block.end(), r.data.begin()));
    EXPECT_EQ(send(*bench, sata, command({0x12, 1, 0xC8, 0, 0x81, 0}, 6, 1, 512, 60)).outcome.scsiStatus,
              kStatusCheckCondition);
}

TEST_F(BridgeCommands, AtaIdentifyCarriesTheDriveSerialAndAn8500TranslatesItsNvmeSerial) {
    const auto identify = command({0xA1, 0x08, 0x0E, 0, 1, 0, 0, 0, 0, 0xEC, 0, 0}, 12, 1, 512, 65535);
    const auto a = send(*bench, sata, identify);
    ASSERT_EQ(a.outcome.bytesMoved, 512u);
    IdentifyData id{};
    std::copy(a.data.begin(), a.data.end(), id.begin());
    // ATA strings: the first character of each pair in the high byte of the word.
    EXPECT_EQ(a.data[20], 'D');
    EXPECT_EQ(a.data[21], 'W');
    EXPECT_EQ(ataString(id, 10, 10), "WD-123");
    EXPECT_EQ(ataString(id, 27, 20), "Bench Disk");
    std::uint8_t sum = 0;
    for (std::uint8_t b : a.data) sum = static_cast<std::uint8_t>(sum + b);
    EXPECT_EQ(sum, 0);

    const auto b = send(*bench, nvme, identify);
    std::copy(b.data.begin(), b.data.end(), id.begin());
    EXPECT_EQ(ataString(id, 10, 10), "NVME-SERIAL-7");
}

TEST_F(BridgeCommands, HardDiskWriteStoresSectorsAtTheLba) {
    std::vector<std::uint8_t> sectors(1024);
    for (std::size_t i = 0; i < sectors.size(); ++i) sectors[i] = static_cast<std::uint8_t>(i);
    // LBA 0x0102030405 in the byte order of the command, two sectors.
    const auto c =
        command({0xE6, 0, 0, 0, 0x35, 0, 0x05, 0x04, 0x03, 0x40, 0x02, 0x01, 0x00, 0, 2, 0}, 16, 0, 1024, 10);
    ASSERT_EQ(send(*bench, sata, c, sectors).outcome.scsiStatus, 0);
    bench->withChip("sata", [&](BridgeChip& chip) {
        const auto second = chip.driveSector(0x0102030406ull);
        ASSERT_TRUE(second);
        EXPECT_TRUE(std::equal(second->begin(), second->end(), sectors.begin() + 512));
    });
}

TEST_F(BridgeCommands, CpuResetAnswersGoodAndTakesTheChipOffTheBus) {
    const auto r = send(*bench, sata, cpuReset());
    EXPECT_TRUE(r.outcome.controlOk);
    EXPECT_EQ(r.outcome.scsiStatus, 0);
    EXPECT_FALSE(bench->bridgeStatus("sata").onBus);
}

TEST_F(BridgeCommands, SynchronizeCacheAnswersGood) {
    EXPECT_EQ(send(*bench, sata, command({0x35, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 10, 2, 0, 60)).outcome.scsiStatus,
              0);
}

TEST_F(BridgeCommands, DataDirectionMustFitTheCommand) {
    auto c = registerRead(0x9000, 1);
    c.dataIn = 0;
    EXPECT_EQ(send(*bench, sata, c).outcome.scsiStatus, kStatusCheckCondition);
}

// Registers derived from the high-level settings, as discovery decodes them.
struct RegisterCase {
    nlohmann::json bridge;
    std::uint16_t address;
    std::uint8_t expected;
};

class DerivedRegisters : public ::testing::TestWithParam<RegisterCase> {};

TEST_P(DerivedRegisters, ReadAsConfigured) {
    const auto bench = Bench::fromJson(benchWithBridges({GetParam().bridge}));
    const auto r = send(*bench, disk(*bench, 1), registerRead(GetParam().address, 1));
    EXPECT_EQ(r.data[0], GetParam().expected) << GetParam().bridge.dump();
}

INSTANTIATE_TEST_SUITE_P(
    Settings, DerivedRegisters,
    ::testing::Values(
        RegisterCase{{{"device_type", 1}, {"msignature", 2}}, 0xC8FF, 0x12},
        RegisterCase{{{"device_type", 5}, {"msignature", 0xA}}, 0xC8FF, 0x5A},
        RegisterCase{{{"device_type", 3}}, 0xC895, 0x02},
        RegisterCase{{{"device_type", 4}, {"package", 0x07}}, 0xC895, 0x05},
        RegisterCase{{{"device_type", 4}}, 0xC8FF, 0x32},
        RegisterCase{{{"family", "8500"}, {"device_type", 7}, {"msignature", 1}}, 0xC8FF, 0x11},
        RegisterCase{{{"family", "8500"}, {"device_type", 6}}, 0xC8FF, 0x02},
        RegisterCase{{{"uas", true}}, 0x9000, 0x80}, RegisterCase{{{"uas", false}}, 0x9000, 0x00},
        RegisterCase{{{"family", "8500"}, {"device_type", 7}, {"uas", true}}, 0x9000, 0x01},
        RegisterCase{{{"link", "high"}}, 0x9002, 1}, RegisterCase{{{"link", "plus"}}, 0x9002, 2},
        RegisterCase{{{"link", "plus"}}, 0x90E5, 1},
        RegisterCase{{{"family", "8500"}, {"device_type", 7}, {"link", "plus"}, {"lanes", 2}}, 0x9100, 2},
        RegisterCase{{{"family", "8500"}, {"device_type", 7}, {"link", "plus"}, {"lanes", 2}}, 0x92B8, 0x14},
        RegisterCase{{{"family", "8500"}, {"device_type", 7}, {"generation", 3}}, 0xE495, 0x14},
        RegisterCase{{{"family", "8500"}, {"device_type", 7}, {"generation", 4}}, 0xE495, 0x10},
        RegisterCase{{{"cc_orientation", 1}}, 0xCACB, 1},
        RegisterCase{{{"registers", {{"0x9002", "0x07"}}}}, 0x9002, 7}));

}  // namespace
}  // namespace bench::testing
