// The NVMe pass-through exports against a bench PCIe bridge: the requests they send and their refusals.
#include <vector>

#include "bench/bridge/bridge_chip.h"
#include "tests/devcore/bench_fixture.h"

namespace devcore_test {
namespace {

using Bytes = std::vector<std::uint8_t>;

class NvmeServicesTest : public ScanTest {
  protected:
    // One PCIe bridge "p" with an NVMe drive, on disk 1; entry 0 after a scan for PCIe bridges.
    void scanPcie(json registers = json::object(), json faults = json::array()) {
        json description = benchOfBridges({{{"id", "p"},
                                            {"serial", "SN-P"},
                                            {"family", "8500"},
                                            {"device_type", 7},
                                            {"registers", registers},
                                            {"drive",
                                             {{"kind", "nvme"},
                                              {"serial", "NVME-SERIAL-1"},
                                              {"model", "Bench NVMe 1TB"},
                                              {"firmware", "FW1.2"},
                                              {"sectors", 2000000}}}}});
        description["faults"] = std::move(faults);
        ASSERT_EQ(scan(description, "0", 1), 0);
        ASSERT_EQ(count(), 1);
        m_mark = bridgeTrace().size();
    }
    std::vector<bench::TraceRecord> sentSinceScan() {
        auto trace = bridgeTrace();
        return {trace.begin() + static_cast<std::ptrdiff_t>(m_mark), trace.end()};
    }

    // An admin submission entry: opcode, command identifier, namespace, CDW10.
    static Bytes submission(std::uint8_t opcode, std::uint16_t cid, std::uint32_t nsid, std::uint32_t cdw10) {
        Bytes entry(64, 0);
        entry[0] = opcode;
        entry[2] = static_cast<std::uint8_t>(cid);
        entry[3] = static_cast<std::uint8_t>(cid >> 8);
        for (int i = 0; i < 4; ++i) {
            entry[4 + i] = static_cast<std::uint8_t>(nsid >> (8 * i));
            entry[40 + i] = static_cast<std::uint8_t>(cdw10 >> (8 * i));
        }
        return entry;
    }
    static std::string text(const Bytes& data, std::size_t from, std::size_t length) {
        std::string t(data.begin() + static_cast<std::ptrdiff_t>(from),
                      data.begin() + static_cast<std::ptrdiff_t>(from + length));
        return t.substr(0, t.find_last_not_of(' ') + 1);
    }
    bench::NvmeBridge& nvme() {
        bench::NvmeBridge* found = nullptr;
        benchRef().withChip("p", [&](bench::BridgeChip& chip) { found = chip.nvme(); });
        return *found;
    }

    std::size_t m_mark = 0;
    Bytes m_submission = Bytes(64, 0);
};

TEST_F(NvmeServicesTest, FixedCommandsSendTheirCdbsAndReturnTheDrivesData) {
    scanPcie();
    Bytes identify(4096);
    ASSERT_EQ(QuibUSBLib_NVME_GetIdentify(0, identify.data(), 1), 0);
    Bytes log(512);
    ASSERT_EQ(QuibUSBLib_NVME_GetLogPage(0, log.data(), 0xDEAD, 0x00010002), 0);
    Bytes security(512);
    ASSERT_EQ(QuibUSBLib_NVME_SecurityProtocolIn(0, security.data(), 0x200), 0);
    const auto sent = sentSinceScan();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0].cdb, (Bytes{0xE6, 0x06, 0x00, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(sent[0].transferLength, 4096u);
    EXPECT_EQ(sent[0].timeoutSeconds, 60u);
    EXPECT_EQ(sent[0].inputSize, 80u + 4096u);
    EXPECT_EQ(sent[1].cdb,
              (Bytes{0xE6, 0x02, 0x00, 0x02, 0, 0, 0, 0x7F, 0, 0, 0, 0, 0x00, 0x01, 0x00, 0x02}));
    EXPECT_EQ(sent[2].cdb, (Bytes{0xA2, 0x00, 0x01, 0x80, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00}));
    // What the drive holds: identity and health as it reports them.
    EXPECT_EQ(text(identify, 4, 20), "NVME-SERIAL-1");
    EXPECT_EQ(text(identify, 24, 40), "Bench NVMe 1TB");
    EXPECT_EQ(text(identify, 64, 8), "FW1.2");
    EXPECT_EQ(log, nvme().admin().logPage(0x02, 512));
    EXPECT_EQ(log[1] | (log[2] << 8), 308);  // composite temperature in kelvin
}

TEST_F(NvmeServicesTest, DataInPacketSendsThreePhasesAndTheDriveExecutesTheEntry) {
    scanPcie();
    Bytes data(4096, 0xEE);
    const Bytes entry = submission(0x06, 0x1234, 0, 0x01);  // Identify controller
    ASSERT_EQ(QuibUSBLib_NVMePacket_DataInPhaseCmd(0, 0x07, entry.data(), data.data(), 4096), 0);
    const auto sent = sentSinceScan();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0].cdb,
              (Bytes{0xEA, 0x5A, 0x80, 0x07, 0x01, 0, 0, 0, 0, 0, 0x00, 0x00, 0x00, 0x40, 0, 0}));
    EXPECT_EQ(sent[0].dataIn, 0);
    EXPECT_EQ(sent[1].cdb,
              (Bytes{0xEB, 0x5A, 0x81, 0x07, 0x01, 0, 0, 0, 0, 0, 0x00, 0x00, 0x10, 0x00, 0, 0}));
    EXPECT_EQ(sent[1].dataIn, 1);
    EXPECT_EQ(sent[2].cdb,
              (Bytes{0xEB, 0x5A, 0x82, 0x07, 0x01, 0, 0, 0, 0, 0, 0x00, 0x00, 0x00, 0x10, 0, 0}));
    EXPECT_EQ(text(data, 4, 20), "NVME-SERIAL-1");
    EXPECT_EQ(nvme().admin().commandsExecuted(), 1u);

    // Without data: Get Features; the data phase is a zero-byte read.
    m_mark = bridgeTrace().size();
    const Bytes getFeature = submission(0x0A, 7, 0, 0x04);
    ASSERT_EQ(QuibUSBLib_NVMePacket_NonDataPhaseCmd(0, 0, getFeature.data()), 0);
    const auto plain = sentSinceScan();
    ASSERT_EQ(plain.size(), 3u);
    EXPECT_EQ(plain[1].cdb[0], 0xEB);
    EXPECT_EQ(plain[1].cdb[4], 0x00);
    EXPECT_EQ(plain[1].transferLength, 0u);
    EXPECT_EQ(nvme().admin().commandsExecuted(), 2u);
}

TEST_F(NvmeServicesTest, DataPhasesLongerThanTheRequestGoDirectOnTheCallersBuffer) {
    scanPcie();
    Bytes data(128 * 1024, 0xEE);
    const Bytes entry = submission(0x06, 1, 0, 0x01);
    ASSERT_EQ(QuibUSBLib_NVMePacket_DataInPhaseCmd(0, 0, entry.data(), data.data(),
                                                   static_cast<std::uint32_t>(data.size())),
              0);
    const auto sent = sentSinceScan();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_FALSE(sent[0].direct);
    EXPECT_TRUE(sent[1].direct);
    EXPECT_EQ(sent[1].transferLength, 128u * 1024u);
    EXPECT_EQ(text(data, 4, 20), "NVME-SERIAL-1");
    EXPECT_EQ(data[100000], 0);  // what the drive did not return reads as zeros, never as stale bytes
}

TEST_F(NvmeServicesTest, FailingPhasesAndLostCompletionsAreFailures) {
    struct Case {
        const char* name;
        json fault;
        const char* logged;
    };
    const Case cases[] = {
        {"submission",
         {{"kind", "command"}, {"opcode", 0xEA}, {"subcommand", 0x80}},
         "Failed NVMEPACKET_SENDCMD_OPCODE"},
        {"data",
         {{"kind", "command"}, {"opcode", 0xEB}, {"subcommand", 0x81}, {"as", "check_condition"}},
         "Failed NVMEPACKET_DATAPHASE_OPCODE"},
        {"completion",
         {{"kind", "command"}, {"opcode", 0xEB}, {"subcommand", 0x82}},
         "Failed NVMEPACKET_GETCOMPLETION_OPCODE"},
        {"lost completion", {{"kind", "completion_lost"}}, "NVMe Completion entry is invalid!!"},
    };
    for (const Case& c : cases) {
        scanPcie(json::object(), json::array({c.fault}));
        Bytes data(512);
        const Bytes entry = submission(0x02, 3, 0xFFFFFFFF, 0x007F0002);  // SMART / health log
        EXPECT_EQ(QuibUSBLib_NVMePacket_DataInPhaseCmd(0, 0, entry.data(), data.data(), 512), -1) << c.name;
        EXPECT_TRUE(debugContains(c.logged)) << c.name;
    }
}

TEST_F(NvmeServicesTest, PacketLengthsThatAreNotWholeSectorsOrAbove64MiBAreRefusedBeforeTheDiskIsOpened) {
    scanPcie();
    Bytes data(4096);
    for (std::uint32_t length : {1000u, 511u, 0x4000000u + 512u})
        EXPECT_EQ(QuibUSBLib_NVMePacket_DataInPhaseCmd(0, 0, m_submission.data(), data.data(), length), -10);
    EXPECT_EQ(QuibUSBLib_NVMePacket_DataOutPhaseCmd(0, 0, m_submission.data(), data.data(), 1000), -10);
    EXPECT_EQ(QuibUSBLib_NVMePacket_DataInPhaseCmd(0, 0, m_submission.data(), nullptr, 512), -10);
    EXPECT_EQ(QuibUSBLib_NVMePacket_NonDataPhaseCmd(0, 0, nullptr), -10);
    EXPECT_TRUE(debugContains("Invaild NVMe Buffer Length(1000)"));
    EXPECT_TRUE(sentSinceScan().empty());
}

TEST_F(NvmeServicesTest, LinkModeIsDecodedFromTheBridgesRegister) {
    struct Case {
        const char* value;
        std::uint8_t generation, width;
    };
    for (const Case& c : {Case{"24", 1, 2}, Case{"13", 0, 0xFF}, Case{"31", 2, 0}, Case{"02", 0xFF, 1}}) {
        scanPcie({{"B4AE", c.value}});
        std::uint8_t mode[2] = {0xAA, 0xAA};
        ASSERT_EQ(QuibUSBLib_NVME_SpeedMode(0, 0, mode), 0) << c.value;
        EXPECT_EQ(mode[0], c.generation) << c.value;
        EXPECT_EQ(mode[1], c.width) << c.value;
        ASSERT_EQ(sentSinceScan().size(), 1u);
        EXPECT_EQ(sentSinceScan()[0].cdb, (Bytes{0xE4, 0x01, 0x00, 0xB4, 0xAE, 0x00}));
    }
}

TEST_F(NvmeServicesTest, LinkModeSetSendsGenerationAndWidthAndRefusesAnUnknownPart) {
    scanPcie();
    std::uint8_t unknownWidth[2] = {1, 0xFF}, unknownGeneration[2] = {0xFF, 1};
    EXPECT_EQ(QuibUSBLib_NVME_SpeedMode(0, 1, unknownWidth), -10);
    EXPECT_EQ(QuibUSBLib_NVME_SpeedMode(0, 1, unknownGeneration), -10);
    EXPECT_EQ(QuibUSBLib_NVME_SpeedMode(0, 1, nullptr), -10);
    EXPECT_TRUE(debugContains("ucPCIELane==PCIELANE_UNKNOW"));
    EXPECT_TRUE(sentSinceScan().empty());

    std::uint8_t gen3x4[2] = {2, 2};
    ASSERT_EQ(QuibUSBLib_NVME_SpeedMode(0, 1, gen3x4), 0);
    const auto sent = sentSinceScan();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].cdb, (Bytes{0xEC, 0x02, 0x02, 0x00, 0x00, 0x00}));
    EXPECT_EQ(sent[0].transferLength, 0u);
    EXPECT_EQ(sent[0].timeoutSeconds, 3u);
    EXPECT_EQ(sent[0].outputSize, 80u);
}

TEST_F(NvmeServicesTest, ResetPausesAfterTheCommandAndLedDirectionChoosesTheTransfer) {
    scanPcie();
    const std::uint64_t before = benchRef().nowMs();
    QuibUSBLib_NVME_Reset(0);
    EXPECT_GE(benchRef().nowMs() - before, 200u);
    ASSERT_EQ(sentSinceScan().size(), 1u);
    EXPECT_EQ(sentSinceScan()[0].cdb, (Bytes{0xEA, 0x5A, 0x01, 0x00, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));

    m_mark = bridgeTrace().size();
    QuibUSBLib_NVME_LEDControl(0, 0, 0x07);
    QuibUSBLib_NVME_LEDControl(0, 1, 0x07);
    EXPECT_EQ(QuibUSBLib_NVME_LEDControl(0, 2, 0x07), -10);  // no such direction: nothing sent
    const auto sent = sentSinceScan();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].cdb[0], 0xEB);
    EXPECT_EQ(sent[1].cdb[0], 0xEA);
    for (const auto& r : sent) {
        EXPECT_EQ(r.cdb[2], 0x03);
        EXPECT_EQ(r.cdb[3], 0x07);
        EXPECT_EQ(r.transferLength, 0u);
    }
}

TEST_F(NvmeServicesTest, EveryExportGivesMinus5ForADiskItCannotOpen) {
    scanPcie();
    Bytes buffer(4096);
    std::uint8_t mode[2] = {0, 0};
    const int results[] = {
        QuibUSBLib_NVME_GetIdentify(3, buffer.data(), 1),
        QuibUSBLib_NVME_GetLogPage(3, buffer.data(), 0, 2),
        QuibUSBLib_NVME_SecurityProtocolIn(3, buffer.data(), 0),
        QuibUSBLib_NVMePacket_NonDataPhaseCmd(3, 0, m_submission.data()),
        QuibUSBLib_NVMePacket_DataInPhaseCmd(3, 0, m_submission.data(), buffer.data(), 512),
        QuibUSBLib_NVMePacket_DataOutPhaseCmd(3, 0, m_submission.data(), buffer.data(), 512),
        QuibUSBLib_NVME_Reset(3),
        QuibUSBLib_NVME_SpeedMode(3, 0, mode),
        QuibUSBLib_NVME_LEDControl(3, 0, 1),
    };
    for (std::size_t i = 0; i < std::size(results); ++i) EXPECT_EQ(results[i], -5) << "export " << i;
    EXPECT_TRUE(sentSinceScan().empty());
}

}  // namespace
}  // namespace devcore_test
