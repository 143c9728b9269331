// Re-finding a restarted bridge by its relink signature, on the bench's virtual clock.
#include <memory>

#include "common/log/debug_log.h"
#include "devcore/discovery/register_decoding.h"
#include "devcore/transport/device_path.h"
#include "include/quibusb.h"
#include "tests/devcore/bench_fixture.h"

namespace devcore_test {
namespace {

using quib::devcore::USBDevEntry;

class RelinkDetectionTest : public BenchTest {
  protected:
    void scan(json description, int bridgeType = 0) {
        useBench(description);
        quib::log::setLevel(3);
        USBDevListExp list;
        ASSERT_EQ(QuibUSBLib_Function_vScanUSBPort(&list, "0", bridgeType), 0);
    }
    USBDevEntry& entry(int i) {
        return quib::devcore::libraryObjects().devList()->Devs[static_cast<std::size_t>(i)];
    }

    // Leaves the signature (1, signature) in the chip of entry `index` and restarts it.
    void restartWithSignature(int index, std::uint8_t signature) {
        quib::devcore::ScopedDevice device(CQuibUSBDev::strDevicePathOf(entry(index)),
                                           quib::platform::kAccessRead | quib::platform::kAccessWrite);
        ASSERT_TRUE(device.valid());
        std::uint8_t one = 1;
        ASSERT_EQ(dev().SCSI7120_AccessRegister(device.get(), &one, 1, quib::devcore::kRegRelinkFlag, 1), 0);
        ASSERT_EQ(
            dev().SCSI7120_AccessRegister(device.get(), &signature, 1, quib::devcore::kRegRelinkIndex, 1), 0);
        ASSERT_EQ(dev().SCSI7120_CPURST(device.get(), 0), 0);
    }
};

TEST_F(RelinkDetectionTest, RestartedBridgeIsFoundUnderItsNewNumberAndItsEntryRewritten) {
    scan(benchOf(json::array({controller(json::array(
        {bridgePort(
             1, "b0", "SN-RELINK-0",
             {{"volume_letter", "G"}, {"restart_delay_ms", 3000}, {"drive", {{"bytes_per_sector", 4096}}}}),
         bridgePort(2, "b1", "SN-RELINK-1")}))})));
    ASSERT_EQ(entry(0).m_ucPhysicalAddress, 1);
    const std::string version = entry(0).strFwVersion;
    entry(0).strFwVersion.clear();
    entry(0).strSerialNumber.clear();
    entry(0).m_cDriveLetter = 127;

    restartWithSignature(0, 0);
    const std::uint64_t start = benchRef().nowMs();
    ASSERT_TRUE(dev().bDetectTargetUSBDevice(0, 2, 0));
    EXPECT_GE(benchRef().nowMs() - start, 3000u);

    const int newNumber = benchRef().bridgeStatus("b0").diskNumber;
    EXPECT_NE(newNumber, 1);
    EXPECT_EQ(entry(0).m_ucPhysicalAddress, newNumber);
    EXPECT_EQ(entry(0).strFwVersion, version);
    EXPECT_EQ(entry(0).strSerialNumber, "SN-RELINK-0");
    EXPECT_EQ(entry(0).m_cDriveLetter, 'G');
    EXPECT_EQ(entry(0).dwBytesPerSector, 4096u);
    EXPECT_EQ(entry(1).m_ucPhysicalAddress, 2);
    EXPECT_TRUE(debugContains("ucTargetNum [0] Found device!!!"));
}

TEST_F(RelinkDetectionTest, BridgeThatNeverComesBackTimesOutAfterSixtySeconds) {
    json description = benchOf(json::array({controller(json::array({bridgePort(1, "b0", "SN-GONE")}))}));
    description["faults"] = json::array({{{"kind", "never_returns"}, {"bridge", "b0"}}});
    scan(description);
    restartWithSignature(0, 0);
    const std::uint64_t start = benchRef().nowMs();
    EXPECT_FALSE(dev().bDetectTargetUSBDevice(0, 3, 0));
    const std::uint64_t waited = benchRef().nowMs() - start;
    EXPECT_GE(waited, 60000u);
    EXPECT_LT(waited, 70000u);
    EXPECT_TRUE(debugContains("[0] *** Timeout *** iRelinkTimeOut[60]"));
    EXPECT_EQ(entry(0).m_ucPhysicalAddress, 1);
}

TEST_F(RelinkDetectionTest, AnotherBridgesSignatureIsNotTaken) {
    scan(benchOf(
        json::array({controller(json::array({bridgePort(1, "b0", "SN-A"), bridgePort(2, "b1", "SN-B")}))})));
    // Entry 1's chip carries the signature of index 1; entry 0 is searched for.
    restartWithSignature(1, 1);
    EXPECT_FALSE(dev().bDetectTargetUSBDevice(0, 3, 0));
    EXPECT_EQ(entry(0).m_ucPhysicalAddress, 1);
}

TEST_F(RelinkDetectionTest, OnlyDisksUpToOneAboveTheCountAreProbed) {
    scan(benchOf(json::array({controller(json::array({bridgePort(1, "b0", "SN-A")}))})));
    restartWithSignature(0, 0);
    // The bridge comes back as disk 2; probing 1..2 finds it, probing 1..1 does not.
    EXPECT_FALSE(dev().bDetectTargetUSBDevice(0, 0, 0));
    EXPECT_TRUE(dev().bDetectTargetUSBDevice(0, 1, 0));
    EXPECT_EQ(entry(0).m_ucPhysicalAddress, 2);
}

TEST_F(RelinkDetectionTest, FamilyOfTheBridgeTypeIsRequired) {
    scan(benchOf(json::array({controller(json::array({bridgePort(1, "b0", "SN-A")}))})));
    restartWithSignature(0, 0);
    EXPECT_FALSE(dev().bDetectTargetUSBDevice(0, 3, 1));
}

TEST_F(RelinkDetectionTest, CdromBridgeComesBackOneAboveTheRestartCount) {
    scan(benchOf(json::array({controller(json::array({bridgePort(1, "cd", "SN-CD", {{"cdrom", true}})}))})));
    ASSERT_EQ(entry(0).ucIsCdrom, 1);
    ASSERT_EQ(entry(0).ucCdromNumber, 0);
    restartWithSignature(0, 0);
    ASSERT_TRUE(dev().bDetectTargetUSBDevice(0, 3, 0));
    EXPECT_EQ(entry(0).ucCdromNumber, benchRef().bridgeStatus("cd").cdromNumber);
    EXPECT_EQ(entry(0).ucCdromNumber, 1);
}

TEST_F(RelinkDetectionTest, CdromBridgeIsAwaitedFiveMinutes) {
    json description =
        benchOf(json::array({controller(json::array({bridgePort(1, "cd", "SN-CD", {{"cdrom", true}})}))}));
    description["faults"] = json::array({{{"kind", "never_returns"}, {"bridge", "cd"}}});
    scan(description);
    restartWithSignature(0, 0);
    const std::uint64_t start = benchRef().nowMs();
    EXPECT_FALSE(dev().bDetectTargetUSBDevice(0, 3, 0));
    EXPECT_GE(benchRef().nowMs() - start, 300000u);
    EXPECT_TRUE(debugContains("*** Timeout *** iRelinkTimeOut[300]"));
}

}  // namespace
}  // namespace devcore_test
