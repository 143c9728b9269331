// Vendor commands against bench bridges: answers, argument checks, judging and retries.
#include <cstring>
#include <numeric>
#include <vector>

#include "bench/bridge/bridge_registers.h"
#include "common/log/debug_log.h"
#include "tests/devcore/bench_fixture.h"

namespace devcore_test {
namespace {

using quib::platform::DeviceHandle;

// A SATA bridge on disk 1 and a PCIe bridge on disk 2.
json twoBridgeBench(json faults = json::array()) {
    json description = benchOf(json::array({controller(json::array(
        {bridgePort(1, "sata", "SN-SATA-1", {{"device_type", 2}, {"drive", {{"serial", "WD-SERIAL-77"}}}}),
         bridgePort(2, "pcie", "SN-PCIE-1",
                    {{"family", "8500"}, {"device_type", 7}, {"drive", {{"serial", "NVME-SER-99"}}}})}))}));
    description["faults"] = std::move(faults);
    return description;
}

json failing(std::uint8_t opcode, std::uint32_t times, bool checkCondition = false) {
    return json::array({{{"kind", "command"},
                         {"opcode", opcode},
                         {"nth", 1},
                         {"times", times},
                         {"as", checkCondition ? "check_condition" : "control"}}});
}

class VendorCommandTest : public BenchTest {
  protected:
    void SetUp() override { useFaults(json::array()); }
    void TearDown() override {
        closeDisks();
        BenchTest::TearDown();
    }
    // Builds the bench with these faults and opens both disks.
    void useFaults(json faults) {
        closeDisks();
        useBench(twoBridgeBench(std::move(faults)));
        m_sata = openDisk(1);
        m_pcie = openDisk(2);
        ASSERT_TRUE(quib::platform::isValid(m_sata));
        ASSERT_TRUE(quib::platform::isValid(m_pcie));
    }
    void closeDisks() {
        if (m_backend == nullptr) return;
        quib::platform::get().storage.close(m_sata);
        quib::platform::get().storage.close(m_pcie);
    }
    std::uint8_t chipRegister(const std::string& id, std::uint16_t address) {
        std::uint8_t value = 0;
        benchRef().withChip(id, [&](bench::BridgeChip& chip) { value = chip.registerByte(address); });
        return value;
    }

    DeviceHandle m_sata = quib::platform::kInvalidHandle;
    DeviceHandle m_pcie = quib::platform::kInvalidHandle;
};

TEST_F(VendorCommandTest, RefusedArgumentsSendNothing) {
    quib::log::setLevel(2);
    std::uint8_t buffer[300] = {};
    const std::size_t before = traceSize();
    EXPECT_EQ(dev().SCSI7120_Inquiry(buffer, quib::platform::kInvalidHandle), -10);
    EXPECT_EQ(dev().SCSI7120_AccessRegister(0, buffer, 0, 0x07F0, 7), -10);
    EXPECT_EQ(dev().SCSI7120_AccessRegister(m_sata, buffer, 0, 0x07F0, 257), -10);
    EXPECT_EQ(dev().SCSI7120_AccessRegister(m_sata, buffer, 0, 0x07F0, 0), -10);
    EXPECT_EQ(dev().SCSI7120_AccessRegister(m_sata, nullptr, 0, 0x07F0, 1), -10);
    EXPECT_EQ(dev().SCSI7120_AccessConfigEEPROM(quib::platform::kInvalidHandle, 0, buffer, 0), -10);
    EXPECT_EQ(dev().SCSI7120_AccessFirmwareEEPROM(buffer, m_sata, 0, 65537, 0), -10);
    EXPECT_EQ(dev().SCSI7120_AccessFirmwareEEPROM(buffer, 0, 1, 16, 0), -10);
    EXPECT_EQ(dev().SCSI7120_AccessHardDisk(0, 1, 0, 0, buffer, 1), -10);
    EXPECT_EQ(dev().SCSI7120_AccessHardDisk(m_sata, 1, 0, 0x10000, buffer, 1), -10);
    EXPECT_EQ(dev().SCSI7120_AccessHardDisk(m_sata, 1, 0, 0, buffer, 65), -10);
    EXPECT_EQ(dev().SCSI7120_AccessHardDisk(m_sata, 1, 0, 0, buffer, 0), -10);
    EXPECT_EQ(dev().nSetUSBMaxSpeedbyKRV8504VendorCmd(0, 1), -10);
    EXPECT_EQ(dev().SCSI850X_PCIeConfiguration_ReadDword(4, 0, 0, buffer), -10);
    EXPECT_EQ(dev().SCSI850X_PCIeConfiguration_ReadDword(6, m_pcie, 0, buffer), -10);
    EXPECT_EQ(dev().SCSI850X_PCIeConfiguration_ReadDword(4, m_pcie, 2, buffer), -10);
    EXPECT_EQ(dev().SCSI850X_PCIeConfiguration_ReadDword(0, m_pcie, 0, buffer), -10);
    EXPECT_EQ(dev().SCSI850X_PCIeConfiguration_ReadDword(4100, m_pcie, 0, buffer), -10);
    EXPECT_EQ(dev().SCSI850X_PCIeConfiguration_WriteDword(0, m_pcie, buffer, 8), -10);
    EXPECT_EQ(dev().SCSI850X_PCIeConfiguration_WriteDword(6, m_pcie, buffer, 4), -10);
    EXPECT_EQ(dev().SCSI8502_FactoryConfigure_Write(buffer, 0), -10);
    EXPECT_EQ(dev().SCSI8502_FactoryConfigure_Read(0, buffer), -10);
    EXPECT_EQ(dev().SCSI_VEN_PASSTHROUGH_CMD(nullptr, m_sata, 0, 0xE4, 0, 0, buffer, 1), -10);
    EXPECT_EQ(traceSize(), before);
    // A refused PCIe access warns twice: the parameters and the alignment rule.
    EXPECT_TRUE(debugContains("Offset/Length must be Multiple of 4"));
}

TEST_F(VendorCommandTest, ReadOnlyOrNothingToWriteSendsNothing) {
    std::uint8_t buffer[512] = {};
    const std::size_t before = traceSize();
    EXPECT_EQ(dev().SCSI7120_AccessHardDisk(m_sata, 0, 0, 0, buffer, 1), 0);
    EXPECT_EQ(dev().SCSI7120_AccessFirmwareEEPROM(buffer, m_sata, 1, 0, 0), 0);
    EXPECT_EQ(traceSize(), before);
}

TEST_F(VendorCommandTest, RegisterWriteSendsOnlyTheFirstByte) {
    const std::uint8_t before = chipRegister("sata", 0xCA03);
    std::uint8_t value[4] = {0x5A, static_cast<std::uint8_t>(before + 1), 0x11, 0x22};
    ASSERT_EQ(dev().SCSI7120_AccessRegister(m_sata, value, 1, 0xCA02, 4), 0);
    EXPECT_EQ(chipRegister("sata", 0xCA02), 0x5A);
    EXPECT_EQ(chipRegister("sata", 0xCA03), before);
}

TEST_F(VendorCommandTest, RegisterReadGivesUpAfterThirtyRepeatsAndZeroesTheHead) {
    useFaults(failing(0xE4, 0));
    const std::uint64_t start = benchRef().nowMs();
    std::uint8_t buffer[8];
    std::memset(buffer, 0xEE, sizeof buffer);
    EXPECT_EQ(dev().SCSI7120_AccessRegister(m_sata, buffer, 0, 0x07F0, 7), -1);
    EXPECT_EQ(bridgeTrace().size(), 31u);
    EXPECT_EQ(benchRef().nowMs() - start, 30u * 20u);
    const std::uint8_t expected[8] = {0, 0, 0, 0, 0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_EQ(std::memcmp(buffer, expected, sizeof buffer), 0);
}

TEST_F(VendorCommandTest, FailedOneByteReadZeroesOnlyThatByte) {
    useFaults(failing(0xE4, 0));
    std::uint8_t buffer[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_EQ(dev().SCSI7120_AccessRegister(m_sata, buffer, 0, 0x9000, 1), -1);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(buffer[1], 0xEE);
}

TEST_F(VendorCommandTest, CheckConditionIsJudgedAtOnceWithoutRepeats) {
    useFaults(failing(0xE4, 1, true));
    quib::log::setLevel(1);
    std::uint8_t value = 0xEE;
    EXPECT_EQ(dev().SCSI7120_AccessRegister(m_sata, &value, 0, 0x9000, 1), -1);
    EXPECT_EQ(bridgeTrace().size(), 1u);
    EXPECT_EQ(value, 0);
    EXPECT_TRUE(debugContains("ScsiStatus:2"));
}

TEST_F(VendorCommandTest, AnExceptionInsideTheRegisterReadIsAFailure) {
    quib::log::setLevel(1);
    throwOnPassThrough(1);
    std::uint8_t buffer[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_EQ(dev().SCSI7120_AccessRegister(m_sata, buffer, 0, 0x07F0, 4), -1);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(buffer[3], 0);
    EXPECT_TRUE(debugContains("CQuibUSBDev::SCSI7120_AccessRegister"));
    EXPECT_TRUE(debugContains("catch(...)"));
}

TEST_F(VendorCommandTest, ConfigurationAreaWriteAndReadBack) {
    std::uint8_t block[128];
    std::iota(block, block + 128, 0);
    ASSERT_EQ(dev().SCSI7120_AccessConfigEEPROM(m_sata, 1, block, 1), 0);
    std::uint8_t readBack[128] = {};
    ASSERT_EQ(dev().SCSI7120_AccessConfigEEPROM(m_sata, 0, readBack, 1), 0);
    EXPECT_EQ(std::memcmp(block, readBack, 128), 0);
    std::uint8_t bank0[128] = {};
    ASSERT_EQ(dev().SCSI7120_AccessConfigEEPROM(m_sata, 0, bank0, 0), 0);
    EXPECT_NE(std::memcmp(block, bank0, 128), 0);
}

TEST_F(VendorCommandTest, FirmwareWriteInPiecesReadsBackBehindTheConfigurationBlock) {
    std::vector<std::uint8_t> stream(200000);
    for (std::size_t i = 0; i < stream.size(); ++i) stream[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    ASSERT_EQ(dev().SCSI7120_AccessFirmwareEEPROM(stream.data(), m_sata, 1, 200000, 1), 0);

    std::vector<std::uint8_t> head(65536);
    ASSERT_EQ(dev().SCSI7120_AccessFirmwareEEPROM(head.data(), m_sata, 0, 65536, 1), 0);
    EXPECT_TRUE(std::equal(head.begin() + 128, head.end(), stream.begin()));
    bool bankMatches = false;
    benchRef().withChip("sata",
                        [&](bench::BridgeChip& chip) { bankMatches = chip.firmwareBank(1) == stream; });
    EXPECT_TRUE(bankMatches);
}

TEST_F(VendorCommandTest, DirectFirmwareTransfersTheWholeLengthAtOnce) {
    std::vector<std::uint8_t> stream(70000, 0x3C);
    stream[69999] = 0x77;
    ASSERT_EQ(dev().SCSI7120_AccessFirmwareEEPROM_Direct(70000, m_sata, 1, stream.data(), 1), 0);
    std::vector<std::uint8_t> readBack(70128);
    ASSERT_EQ(dev().SCSI7120_AccessFirmwareEEPROM_Direct(70128, m_sata, 0, readBack.data(), 1), 0);
    EXPECT_TRUE(std::equal(readBack.begin() + 128, readBack.end(), stream.begin()));
}

TEST_F(VendorCommandTest, HardDiskWriteReachesTheDriveSectors) {
    std::vector<std::uint8_t> sectors(1024);
    std::iota(sectors.begin(), sectors.end(), 0);
    ASSERT_EQ(dev().SCSI7120_AccessHardDisk(m_sata, 1, 0x00123456, 0, sectors.data(), 2), 0);
    std::optional<std::vector<std::uint8_t>> second;
    benchRef().withChip("sata", [&](bench::BridgeChip& chip) { second = chip.driveSector(0x00123457); });
    ASSERT_TRUE(second.has_value());
    EXPECT_TRUE(std::equal(second->begin(), second->end(), sectors.begin() + 512));
}

TEST_F(VendorCommandTest, RestartOnAnInvalidHandleIsStillSentAndFails) {
    quib::log::setLevel(1);
    EXPECT_EQ(dev().SCSI7120_CPURST(quib::platform::kInvalidHandle, 0), -1);
    EXPECT_TRUE(debugContains("SCSI7120_CPURST: hDev not valid"));
    EXPECT_TRUE(debugContains("SCSI7120_CPURST: IOCTL_SCSI_PASS_THROUGH Fail"));
    EXPECT_EQ(dev().SCSI_SyncCache10(quib::platform::kInvalidHandle), -1);
    EXPECT_TRUE(debugContains("SCSI_SyncCache10: hDev not valid"));
}

TEST_F(VendorCommandTest, PcieConfigurationWriteAndReadBack) {
    const std::uint8_t dword[4] = {0xDE, 0xAD, 0xBE, 0xEF};
    ASSERT_EQ(dev().SCSI850X_PCIeConfiguration_WriteDword(0x80, m_pcie, dword, 4), 0);
    std::uint8_t readBack[8] = {};
    ASSERT_EQ(dev().SCSI850X_PCIeConfiguration_ReadDword(8, m_pcie, 0x80, readBack), 0);
    EXPECT_EQ(std::memcmp(readBack, dword, 4), 0);
    // The SATA family does not know the command.
    EXPECT_EQ(dev().SCSI850X_PCIeConfiguration_ReadDword(4, m_sata, 0, readBack), -1);
}

TEST_F(VendorCommandTest, PcieConfigurationReadMakesNineAttemptsThenZeroesTheBuffer) {
    useFaults(failing(0xEE, 0));
    std::uint8_t buffer[8];
    std::memset(buffer, 0xEE, sizeof buffer);
    EXPECT_EQ(dev().SCSI850X_PCIeConfiguration_ReadDword(8, m_pcie, 0, buffer), -1);
    EXPECT_EQ(bridgeTrace().size(), 9u);
    for (std::uint8_t b : buffer) EXPECT_EQ(b, 0);
}

TEST_F(VendorCommandTest, PcieConfigurationReadStopsAtADeviceStatus) {
    useFaults(failing(0xEE, 1, true));
    std::uint8_t buffer[4];
    EXPECT_EQ(dev().SCSI850X_PCIeConfiguration_ReadDword(4, m_pcie, 0, buffer), -1);
    EXPECT_EQ(bridgeTrace().size(), 1u);
}

TEST_F(VendorCommandTest, FactoryConfigurationWriteAndReadBack) {
    std::uint8_t block[124];
    std::memset(block, 'F', sizeof block);
    std::memcpy(block, "FACTORY-SERIAL-00042", 20);
    ASSERT_EQ(dev().SCSI8502_FactoryConfigure_Write(block, m_pcie), 0);
    std::uint8_t result[512] = {};
    ASSERT_EQ(dev().SCSI8502_FactoryConfigure_Read(m_pcie, result), 0);
    EXPECT_EQ(std::memcmp(result, block, sizeof block), 0);
}

TEST_F(VendorCommandTest, VendorPassThroughPlacesEveryPieceReadAtItsOffset) {
    // READ DMA EXT of 128 sectors at LBA 8 through ATA PASS-THROUGH(16): each 64 KiB piece reads them.
    std::vector<std::uint8_t> sectors(32768);
    for (std::size_t i = 0; i < sectors.size(); ++i) sectors[i] = static_cast<std::uint8_t>(i * 7 + 3);
    ASSERT_EQ(dev().SCSI7120_AccessHardDisk(m_sata, 1, 8, 0, sectors.data(), 64), 0);
    const std::uint8_t tail[13] = {0, 0, 0, 128, 0, 8, 0, 0, 0, 0, 0x40, 0x25, 0};
    std::vector<std::uint8_t> buffer(131072, 0xEE);
    ASSERT_EQ(dev().SCSI_VEN_PASSTHROUGH_CMD(tail, m_sata, 0, 0x85, 0x15, 0x0E, buffer.data(), 131072), 0);
    for (std::size_t piece = 0; piece < 2; ++piece) {
        const auto at = buffer.begin() + static_cast<std::ptrdiff_t>(piece * 65536);
        EXPECT_TRUE(std::equal(sectors.begin(), sectors.end(), at)) << piece;
        // Sectors never written read as zeros.
        EXPECT_TRUE(std::all_of(at + 32768, at + 65536, [](std::uint8_t b) { return b == 0; })) << piece;
    }
}

TEST_F(VendorCommandTest, AtaIdentifyGivesTheDrivesSerialNumber) {
    std::string serial;
    ASSERT_TRUE(dev().ATAPassThrough_GetHDSerialNumber(m_sata, serial));
    EXPECT_EQ(serial, "WD-SERIAL-77");
    ASSERT_TRUE(dev().ATAPassThrough_GetSSDSerialNumber(m_pcie, serial));
    EXPECT_EQ(serial, "NVME-SER-99");
}

}  // namespace
}  // namespace devcore_test
