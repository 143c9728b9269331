// What every vendor command puts on the wire, as the bench's trace recorded it: CDB bytes and length,
// direction, transfer length, time-out and the sizes of the control call.
#include <cstring>
#include <vector>

#include "tests/devcore/bench_fixture.h"

namespace devcore_test {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Expected {
    Bytes cdb;
    std::uint8_t dataIn;
    std::uint32_t transfer;
    std::uint32_t timeout;
    std::uint32_t outputSize;  // the input size is always the whole 65616-byte record
};

class CommandTraceTest : public BenchTest {
  protected:
    void SetUp() override {
        json description = benchOf(json::array({controller(json::array(
            {bridgePort(1, "sata", "SN-SATA-1",
                        {{"device_type", 2}, {"drive", {{"sectors", 0xFFFFFFFFFFFFull}}}}),
             bridgePort(2, "pcie", "SN-PCIE-1",
                        {{"family", "8500"}, {"device_type", 7}, {"restart_number", "same"}})}))}));
        description["faults"] = json::array({{{"kind", "command"},
                                              {"bridge", "sata"},
                                              {"opcode", 0xE4},
                                              {"register", 0x9000},
                                              {"times", 2}}});
        useBench(description);
        m_sata = openDisk(1);
        m_pcie = openDisk(2);
    }
    void TearDown() override {
        quib::platform::get().storage.close(m_sata);
        quib::platform::get().storage.close(m_pcie);
        BenchTest::TearDown();
    }

    // Records of the commands the last action sent.
    std::vector<bench::TraceRecord> since(std::size_t mark) {
        auto all = bridgeTrace();
        return std::vector<bench::TraceRecord>(all.begin() + static_cast<std::ptrdiff_t>(mark), all.end());
    }
    void expectRecord(const bench::TraceRecord& r, const Expected& e, const char* what) {
        SCOPED_TRACE(what);
        EXPECT_EQ(r.cdb, e.cdb);
        EXPECT_EQ(r.cdbLength, e.cdb.size());
        EXPECT_EQ(r.dataIn, e.dataIn);
        EXPECT_EQ(r.transferLength, e.transfer);
        EXPECT_EQ(r.timeoutSeconds, e.timeout);
        EXPECT_FALSE(r.direct);
        EXPECT_EQ(r.inputSize, 65616u);
        EXPECT_EQ(r.outputSize, e.outputSize);
        expectHeader(r);
    }
    // Every request carries the same header: 44 bytes, address 0/0/0, 24 sense bytes at 48, data at 80.
    static void expectHeader(const bench::TraceRecord& r) {
        EXPECT_EQ(r.header.length, 44u);
        EXPECT_EQ(r.header.pathId, 0u);
        EXPECT_EQ(r.header.targetId, 0u);
        EXPECT_EQ(r.header.lun, 0u);
        EXPECT_EQ(r.header.senseInfoLength, 24u);
        EXPECT_EQ(r.header.senseInfoOffset, 48u);
        EXPECT_EQ(r.header.dataBufferOffset, 80u);
    }
    // Runs one action and checks that it sent exactly one command.
    template <typename Action>
    void expectSingle(Action&& action, const Expected& e, const char* what) {
        const std::size_t mark = bridgeTrace().size();
        action();
        const auto records = since(mark);
        ASSERT_EQ(records.size(), 1u) << what;
        expectRecord(records[0], e, what);
    }

    quib::platform::DeviceHandle m_sata = quib::platform::kInvalidHandle;
    quib::platform::DeviceHandle m_pcie = quib::platform::kInvalidHandle;
};

TEST_F(CommandTraceTest, InquiryAndRegisterAccess) {
    std::uint8_t buffer[512] = {};
    expectSingle([&] { EXPECT_EQ(dev().SCSI7120_Inquiry(buffer, m_sata), 0); },
                 {{0x12, 0, 0, 0, 38, 0, 0, 0, 0, 0, 0, 0}, 1, 38, 3, 118}, "inquiry");
    expectSingle([&] { EXPECT_EQ(dev().SCSI7120_AccessRegister(m_sata, buffer, 0, 0x07F0, 7), 0); },
                 {{0xE4, 7, 0, 0x07, 0xF0, 0}, 1, 7, 3, 87}, "register read");
    expectSingle([&] { EXPECT_EQ(dev().SCSI7120_AccessRegister(m_sata, buffer, 0, 0xC800, 256), 0); },
                 {{0xE4, 0, 0, 0xC8, 0x00, 0}, 1, 256, 3, 336}, "256-byte register read");
    buffer[0] = 0x5A;
    expectSingle([&] { EXPECT_EQ(dev().SCSI7120_AccessRegister(m_sata, buffer, 1, 0xCA02, 4), 0); },
                 {{0xE5, 0x5A, 0, 0xCA, 0x02, 0}, 0, 0, 60, 80}, "register write");
}

TEST_F(CommandTraceTest, RegisterReadRetriesRepeatTheSameCommand) {
    std::uint8_t mode = 0;
    const std::size_t mark = bridgeTrace().size();
    ASSERT_EQ(dev().SCSI7120_AccessRegister(m_sata, &mode, 0, 0x9000, 1), 0);
    const auto records = since(mark);
    ASSERT_EQ(records.size(), 3u);
    for (std::size_t i = 0; i < records.size(); ++i) {
        expectRecord(records[i], {{0xE4, 1, 0, 0x90, 0x00, 0}, 1, 1, 3, 81}, "attempt");
        EXPECT_EQ(records[i].controlOk, i == 2);
    }
    EXPECT_EQ(records[2].timeMs - records[0].timeMs, 40u);
    EXPECT_EQ(mode, 0x80);
    // Written straight to the debugger channel, whatever the log level.
    EXPECT_TRUE(debugContains("\n::DeviceIoControl success after retry: 2\n"));
}

TEST_F(CommandTraceTest, ConfigurationAndFirmwareAreas) {
    std::vector<std::uint8_t> buffer(200000, 0x42);
    expectSingle([&] { EXPECT_EQ(dev().SCSI7120_AccessConfigEEPROM(m_sata, 0, buffer.data(), 1), 0); },
                 {{0xE0, 1, 0, 0, 0, 0}, 1, 128, 3, 208}, "configuration read");
    expectSingle([&] { EXPECT_EQ(dev().SCSI7120_AccessConfigEEPROM(m_sata, 1, buffer.data(), 1), 0); },
                 {{0xE1, 1, 0, 0, 0, 0}, 0, 128, 60, 208}, "configuration write");
    expectSingle(
        [&] { EXPECT_EQ(dev().SCSI7120_AccessFirmwareEEPROM(buffer.data(), m_sata, 0, 1000, 0), 0); },
        {{0xE2, 0, 0, 0, 0x03, 0xE8}, 1, 1000, 3, 1080}, "firmware read");

    const std::size_t mark = bridgeTrace().size();
    ASSERT_EQ(dev().SCSI7120_AccessFirmwareEEPROM(buffer.data(), m_sata, 1, 200000, 1), 0);
    const auto pieces = since(mark);
    ASSERT_EQ(pieces.size(), 4u);
    const std::uint32_t lengths[] = {65536, 65536, 65536, 3392};
    for (std::size_t i = 0; i < 4; ++i) {
        const std::uint32_t n = lengths[i];
        expectRecord(pieces[i],
                     {{0xE3, 1, static_cast<std::uint8_t>(n >> 24), static_cast<std::uint8_t>(n >> 16),
                       static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n)},
                      0,
                      n,
                      60,
                      80 + n},
                     "firmware piece");
    }
}

TEST_F(CommandTraceTest, DirectFirmwareTransfer) {
    std::vector<std::uint8_t> buffer(70000, 0x42);
    const std::size_t mark = bridgeTrace().size();
    ASSERT_EQ(dev().SCSI7120_AccessFirmwareEEPROM_Direct(70000, m_sata, 1, buffer.data(), 0), 0);
    ASSERT_EQ(dev().SCSI7120_AccessFirmwareEEPROM_Direct(70000, m_sata, 0, buffer.data(), 0), 0);
    const auto records = since(mark);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].cdb, (Bytes{0xE3, 0, 0x00, 0x01, 0x11, 0x70}));
    EXPECT_EQ(records[1].cdb, (Bytes{0xE2, 0, 0x00, 0x01, 0x11, 0x70}));
    for (const auto& r : records) {
        EXPECT_TRUE(r.direct);
        EXPECT_EQ(r.transferLength, 70000u);
    }
    EXPECT_EQ(records[0].dataIn, 0);
    EXPECT_EQ(records[0].timeoutSeconds, 60u);
    EXPECT_EQ(records[1].dataIn, 1);
    EXPECT_EQ(records[1].timeoutSeconds, 3u);
}

TEST_F(CommandTraceTest, HardDiskRestartAndCacheFlush) {
    std::vector<std::uint8_t> sectors(1024, 0x11);
    expectSingle(
        [&] {
            EXPECT_EQ(dev().SCSI7120_AccessHardDisk(m_sata, 1, 0x89ABCDEF, 0x0123, sectors.data(), 2), 0);
        },
        {{0xE6, 0, 0, 0, 0x35, 0, 0xEF, 0xCD, 0xAB, 0x40, 0x89, 0x23, 0x01, 0, 2, 0}, 0, 1024, 10, 1104},
        "hard-disk write");
    expectSingle([&] { EXPECT_EQ(dev().SCSI_SyncCache10(m_sata), 0); },
                 {{0x35, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 2, 0, 60, 80}, "cache flush");
    expectSingle([&] { EXPECT_EQ(dev().SCSI7120_CPURST(m_sata, 3), 0); },
                 {{0xE8, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 1, 0, 3, 80}, "restart");
}

TEST_F(CommandTraceTest, SpeedSelectionMapsToRestartModes) {
    const std::uint8_t modes[] = {7, 6, 5, 4, 3};
    for (std::uint8_t speed = 1; speed <= 5; ++speed) {
        const auto handle = openDisk(2);
        const std::size_t mark = bridgeTrace().size();
        dev().nSetUSBMaxSpeedbyKRV8504VendorCmd(handle, speed);
        quib::platform::get().storage.close(handle);
        const auto records = since(mark);
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0].cdb[1], modes[speed - 1]) << int(speed);
        benchRef().sleepMs(10000);  // the chip comes back
    }
    const auto handle = openDisk(2);
    const std::size_t mark = bridgeTrace().size();
    dev().nSetUSBMaxSpeedbyKRV8504VendorCmd(handle, 9);
    quib::platform::get().storage.close(handle);
    ASSERT_EQ(since(mark).size(), 1u);
    EXPECT_EQ(since(mark)[0].cdb[1], 9);
}

TEST_F(CommandTraceTest, PcieConfigurationAndFactoryBlock) {
    std::uint8_t buffer[512] = {};
    expectSingle([&] { EXPECT_EQ(dev().SCSI850X_PCIeConfiguration_ReadDword(8, m_pcie, 0x10, buffer), 0); },
                 {{0xEE, 0, 8, 0, 0x10, 1}, 1, 8, 3, 88}, "configuration-space read of 8");
    expectSingle([&] { EXPECT_EQ(dev().SCSI850X_PCIeConfiguration_ReadDword(4, m_pcie, 0x104, buffer), 0); },
                 {{0xEE, 0, 4, 0x01, 0x04, 0}, 1, 4, 3, 84}, "configuration-space read of 4");
    const std::uint8_t dword[4] = {0xDE, 0xAD, 0xBE, 0xEF};
    expectSingle([&] { EXPECT_EQ(dev().SCSI850X_PCIeConfiguration_WriteDword(0x80, m_pcie, dword, 4), 0); },
                 {{0xEF, 0, 0, 0, 0x80, 0, 0xDE, 0xAD, 0xBE, 0xEF}, 0, 0, 60, 80},
                 "configuration-space write");
    expectSingle([&] { EXPECT_EQ(dev().SCSI8502_FactoryConfigure_Write(buffer, m_pcie), 0); },
                 {{0xC3, 0x30, 0x0C, 0, 0, 0, 0, 0, 0, 124, 0}, 0, 124, 60, 204}, "factory write");
    expectSingle([&] { EXPECT_EQ(dev().SCSI8502_FactoryConfigure_Read(m_pcie, buffer), 0); },
                 {{0x12, 0x01, 0xC8, 0, 0x81, 0}, 1, 512, 60, 592}, "factory read");
}

TEST_F(CommandTraceTest, AtaIdentify) {
    std::uint8_t identify[512];
    expectSingle([&] { EXPECT_TRUE(dev().ATAPassThrough_Identify(m_sata, identify)); },
                 {{0xA1, 0x08, 0x0E, 0, 1, 0, 0, 0, 0, 0xEC, 0, 0}, 1, 512, 65535, 592}, "identify");
}

TEST_F(CommandTraceTest, VendorPassThroughSplitsIntoPiecesWithTheCallersCdb) {
    // ATA PASS-THROUGH(16) WRITE DMA EXT of 128 sectors at LBA 0x0102: every 64 KiB piece carries it.
    const Bytes cdb = {0x85, 0x17, 0x06, 0, 0, 0, 128, 0, 0x02, 0, 0x01, 0, 0, 0x40, 0x35, 0};
    std::uint8_t tail[13];
    std::copy(cdb.begin() + 3, cdb.end(), tail);

    std::vector<std::uint8_t> data(131072, 0x5A);
    const std::size_t mark = bridgeTrace().size();
    ASSERT_EQ(dev().SCSI_VEN_PASSTHROUGH_CMD(tail, m_sata, 1, 0x85, 0x17, 0x06, data.data(), 131072), 0);
    const auto pieces = since(mark);
    ASSERT_EQ(pieces.size(), 2u);
    for (const auto& piece : pieces) expectRecord(piece, {cdb, 0, 65536, 60, 65616}, "write piece");

    // Without data the command still goes out once (and this chip refuses it: no sectors to move).
    const std::size_t before = bridgeTrace().size();
    EXPECT_EQ(dev().SCSI_VEN_PASSTHROUGH_CMD(tail, m_sata, 1, 0x85, 0x17, 0x06, nullptr, 0), -1);
    ASSERT_EQ(since(before).size(), 1u);
    expectRecord(since(before)[0], {cdb, 0, 0, 60, 80}, "no data");

    const Bytes read = {0xE4, 0x10, 0, 0x07, 0xF0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    std::copy(read.begin() + 3, read.end(), tail);
    expectSingle(
        [&] {
            EXPECT_EQ(dev().SCSI_VEN_PASSTHROUGH_CMD(tail, m_sata, 0, 0xE4, 0x10, 0x00, data.data(), 16), -1);
        },
        {read, 1, 16, 3, 96}, "read (refused by the chip: a register read has a 6-byte CDB)");
}

}  // namespace
}  // namespace devcore_test
