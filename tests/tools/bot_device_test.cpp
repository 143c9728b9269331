// A bench bridge as a bulk-only mass-storage device: control requests, the command / data / status
// exchange, sense data, stalls and the restart that takes it off the bus.
#include "tools/usbredir/bot_device.h"

#include <gtest/gtest.h>

#include "bench_test_support.h"

namespace quib::redir {
namespace {

using bench::testing::benchWithBridges;
using Status = TransferResult::Status;

std::vector<std::uint8_t> cbw(std::uint32_t tag, std::uint32_t length, bool in,
                              std::vector<std::uint8_t> cdb) {
    std::vector<std::uint8_t> b(31, 0);
    const std::uint32_t signature = 0x43425355;
    for (int i = 0; i < 4; ++i) {
        b[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(signature >> (8 * i));
        b[4 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(tag >> (8 * i));
        b[8 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(length >> (8 * i));
    }
    b[12] = in ? 0x80 : 0x00;
    b[14] = static_cast<std::uint8_t>(cdb.size());
    std::copy(cdb.begin(), cdb.end(), b.begin() + 15);
    return b;
}

struct Csw {
    std::uint32_t tag = 0, residue = 0;
    std::uint8_t status = 0xFF;
};
Csw parseCsw(const TransferResult& r) {
    EXPECT_EQ(r.status, Status::Ok);
    EXPECT_EQ(r.data.size(), 13u);
    Csw c;
    if (r.data.size() != 13) return c;
    EXPECT_EQ(r.data[0], 'U');
    EXPECT_EQ(r.data[3], 'S');
    c.tag = r.data[4] | (r.data[5] << 8) | (r.data[6] << 16) | (static_cast<std::uint32_t>(r.data[7]) << 24);
    c.residue =
        r.data[8] | (r.data[9] << 8) | (r.data[10] << 16) | (static_cast<std::uint32_t>(r.data[11]) << 24);
    c.status = r.data[12];
    return c;
}

class BotDeviceTest : public ::testing::Test {
  protected:
    explicit BotDeviceTest(nlohmann::json bridge = {{"id", "b"}, {"uas", false}})
        : m_bench(bench::Bench::fromJson(benchWithBridges({bridge}))), m_device(m_bench, "b") {
        m_device.attach();
        EXPECT_EQ(m_device.control({0x00, 9, 1, 0, 0}, {}).status, Status::Ok);  // SET_CONFIGURATION 1
    }
    std::shared_ptr<bench::Bench> m_bench;
    BotDevice m_device;
};

TEST_F(BotDeviceTest, DescriptorsComeFromTheBenchAndAreTraced) {
    const TransferResult d = m_device.control({0x80, 6, 0x0100, 0, 18}, {});
    ASSERT_EQ(d.status, Status::Ok);
    ASSERT_EQ(d.data.size(), 18u);
    EXPECT_EQ(d.data[8] | (d.data[9] << 8), 0x3F10);
    EXPECT_EQ(d.data[10] | (d.data[11] << 8), 0x7120);
    const auto trace = m_bench->controlTrace();
    ASSERT_EQ(trace.size(), 1u);
    EXPECT_EQ(trace[0].device, "b");
    EXPECT_EQ(trace[0].wValue, 0x0100);
    // A string in a language the device does not list stalls, as the bench answers it.
    EXPECT_EQ(m_device.control({0x80, 6, 0x0301, 0x0407, 255}, {}).status, Status::Stall);
}

TEST_F(BotDeviceTest, ClassRequestsAreAnsweredByTheDevice) {
    const TransferResult lun = m_device.control({0xA1, 0xFE, 0, 0, 1}, {});
    ASSERT_EQ(lun.status, Status::Ok);
    EXPECT_EQ(lun.data, std::vector<std::uint8_t>{0});
    EXPECT_EQ(m_device.control({0x21, 0xFF, 0, 0, 0}, {}).status, Status::Ok);
    EXPECT_EQ(m_device.control({0x21, 0x42, 0, 0, 0}, {}).status, Status::Stall);
    EXPECT_TRUE(m_bench->controlTrace().empty());
}

TEST_F(BotDeviceTest, InquiryGoesToTheBridgeWithItsDataAndStatus) {
    EXPECT_EQ(m_device.bulkOut(kBulkOutEndpoint, cbw(7, 36, true, {0x12, 0, 0, 0, 36, 0})).accepted, 31u);
    const TransferResult data = m_device.bulkIn(kBulkInEndpoint, 36);
    ASSERT_EQ(data.status, Status::Ok);
    ASSERT_EQ(data.data.size(), 36u);
    EXPECT_EQ(std::string(data.data.begin() + 8, data.data.begin() + 11), "KRV");
    const Csw csw = parseCsw(m_device.bulkIn(kBulkInEndpoint, 13));
    EXPECT_EQ(csw.tag, 7u);
    EXPECT_EQ(csw.residue, 0u);
    EXPECT_EQ(csw.status, 0);
    const auto trace = m_bench->trace();
    ASSERT_EQ(trace.size(), 1u);
    EXPECT_EQ(trace[0].cdbLength, 6);
    EXPECT_EQ(trace[0].transferLength, 36u);
    EXPECT_EQ(trace[0].dataIn, 1);
}

TEST_F(BotDeviceTest, AShortAnswerEndsTheDataPhaseAndLeavesAResidue) {
    m_device.bulkOut(kBulkOutEndpoint, cbw(8, 64, true, {0x12, 0, 0, 0, 64, 0}));
    const TransferResult data = m_device.bulkIn(kBulkInEndpoint, 64);
    EXPECT_EQ(data.data.size(), 38u);  // the bridge answers 38 bytes
    EXPECT_EQ(parseCsw(m_device.bulkIn(kBulkInEndpoint, 13)).residue, 26u);
}

TEST_F(BotDeviceTest, ACheckConditionFailsTheStatusAndRequestSenseTellsWhy) {
    m_device.bulkOut(kBulkOutEndpoint, cbw(1, 0, false, {0xF7, 0, 0, 0, 0, 0}));
    EXPECT_EQ(parseCsw(m_device.bulkIn(kBulkInEndpoint, 13)).status, 1);
    m_device.bulkOut(kBulkOutEndpoint, cbw(2, 18, true, {0x03, 0, 0, 0, 18, 0}));
    const TransferResult sense = m_device.bulkIn(kBulkInEndpoint, 18);
    ASSERT_EQ(sense.data.size(), 18u);
    EXPECT_EQ(sense.data[2], bench::kSenseIllegalRequest);
    EXPECT_EQ(sense.data[12], bench::kAscInvalidOpcode);
    EXPECT_EQ(parseCsw(m_device.bulkIn(kBulkInEndpoint, 13)).status, 0);
}

// A host asking for a data phase of gigabytes gets a phase error, not a buffer of that size.
TEST_F(BotDeviceTest, AHugeDataPhaseIsAPhaseError) {
    for (const bool in : {true, false}) {
        m_device.bulkOut(kBulkOutEndpoint, cbw(6, 0xFFFFFFFF, in, {0xE2, 0, 0, 0, 0, 0}));
        const Csw csw = parseCsw(m_device.bulkIn(kBulkInEndpoint, 13));
        EXPECT_EQ(csw.status, 2);
        EXPECT_EQ(csw.residue, 0xFFFFFFFFu);
    }
    EXPECT_TRUE(m_bench->trace().empty());
}

TEST_F(BotDeviceTest, DataOutIsCollectedBeforeTheCommandRuns) {
    std::vector<std::uint8_t> block(128, 0x5A);
    m_device.bulkOut(kBulkOutEndpoint, cbw(3, 128, false, {0xE1, 0xFF, 0, 0, 0, 0}));
    EXPECT_EQ(m_device.bulkIn(kBulkInEndpoint, 13).status, Status::Pending);
    m_device.bulkOut(kBulkOutEndpoint, std::vector<std::uint8_t>(block.begin(), block.begin() + 64));
    EXPECT_TRUE(m_bench->trace().empty());
    m_device.bulkOut(kBulkOutEndpoint, std::vector<std::uint8_t>(block.begin() + 64, block.end()));
    const Csw csw = parseCsw(m_device.bulkIn(kBulkInEndpoint, 13));
    EXPECT_EQ(csw.status, 0);
    EXPECT_EQ(csw.residue, 0u);
    m_bench->withChip(
        "b", [](bench::BridgeChip& chip) { EXPECT_EQ(chip.memory(bench::BridgeChip::kOemEeprom)[0], 0x5A); });
}

TEST_F(BotDeviceTest, AnInvalidCommandBlockStallsBothPipesUntilCleared) {
    std::vector<std::uint8_t> bad = cbw(4, 0, false, {0x00, 0, 0, 0, 0, 0});
    bad[0] = 0;  // no signature
    EXPECT_EQ(m_device.bulkOut(kBulkOutEndpoint, bad).status, Status::Stall);
    EXPECT_EQ(m_device.bulkIn(kBulkInEndpoint, 13).status, Status::Stall);
    EXPECT_EQ(m_device.control({0x82, 0, 0, kBulkInEndpoint, 2}, {}).data[0], 1);  // GET_STATUS: halted
    // Reset recovery: the class reset, then both halts cleared.
    m_device.control({0x21, 0xFF, 0, 0, 0}, {});
    m_device.control({0x02, 1, 0, kBulkInEndpoint, 0}, {});
    m_device.control({0x02, 1, 0, kBulkOutEndpoint, 0}, {});
    m_device.bulkOut(kBulkOutEndpoint, cbw(5, 0, false, {0x00, 0, 0, 0, 0, 0}));
    EXPECT_EQ(parseCsw(m_device.bulkIn(kBulkInEndpoint, 13)).tag, 5u);
}

TEST_F(BotDeviceTest, AnUnconfiguredDeviceStallsItsBulkPipes) {
    m_device.setConfiguration(0);
    EXPECT_EQ(m_device.bulkOut(kBulkOutEndpoint, cbw(1, 0, false, {0x00, 0, 0, 0, 0, 0})).status,
              Status::Stall);
}

TEST_F(BotDeviceTest, ARestartLeavesTheBusOnlyAfterItsStatusWentOut) {
    m_device.bulkOut(kBulkOutEndpoint, cbw(9, 0, false, {0xE8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_FALSE(m_device.onBus());
    EXPECT_FALSE(m_device.takeLeftBus());  // the status is still to be read
    EXPECT_EQ(parseCsw(m_device.bulkIn(kBulkInEndpoint, 13)).status, 0);
    EXPECT_TRUE(m_device.takeLeftBus());
    EXPECT_FALSE(m_device.takeLeftBus());
    m_bench->sleepMs(2000);
    EXPECT_TRUE(m_device.onBus());
}

class UasBridge : public BotDeviceTest {
  protected:
    UasBridge() : BotDeviceTest({{"id", "b"}, {"uas", true}}) {}
};

TEST_F(UasBridge, TheConfigurationIsPresentedAsBulkOnly) {
    const TransferResult c = m_device.control({0x80, 6, 0x0200, 0, 255}, {});
    ASSERT_EQ(c.status, Status::Ok);
    ASSERT_GE(c.data.size(), 18u);
    EXPECT_EQ(c.data[9 + 5], 0x08);
    EXPECT_EQ(c.data[9 + 7], 0x50);
}

}  // namespace
}  // namespace quib::redir
