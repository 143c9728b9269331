// Discovery details that one changed constant would break unnoticed: register lengths, equality against bit
// tests (the bench sets noise bits beside the ones read), the boundaries of the serial sources, admission,
// the export, the pauses of re-detection and the on-the-go requests.
#include <algorithm>
#include <memory>

#include "common/log/debug_log.h"
#include "common/records/exchange_records.h"
#include "devcore/discovery/register_decoding.h"
#include "devcore/transport/device_path.h"
#include "include/quibusb.h"
#include "tests/devcore/bench_fixture.h"

namespace devcore_test {
namespace {

using quib::devcore::USBDevEntry;
using Bytes = std::vector<std::uint8_t>;

class DiscoveryDetails : public ScanTest {
  protected:
    static json bridge(const std::string& id, json extra = json::object()) {
        json b = {{"id", id}, {"serial", "SN-" + id}};
        for (auto& [key, value] : extra.items()) b[key] = value;
        return b;
    }
};

TEST_F(DiscoveryDetails, FirmwareVersionIsReadAsSevenRegisterBytes) {
    ASSERT_EQ(scan(benchOfBridges({bridge("b", {{"firmware_version", "131112910000"}})})), 0);
    const auto trace = bridgeTrace();
    const auto read = std::find_if(trace.begin(), trace.end(), [](const bench::TraceRecord& r) {
        return r.cdb[0] == 0xE4 && r.cdb[3] == 0x07 && r.cdb[4] == 0xF0;
    });
    ASSERT_NE(read, trace.end());
    EXPECT_EQ(read->cdb, (Bytes{0xE4, 7, 0, 0x07, 0xF0, 0}));
    EXPECT_EQ(read->transferLength, 7u);
    EXPECT_EQ(entry(0).strFwVersion, "131112910000");
}

TEST_F(DiscoveryDetails, ChipTypeSelectorLooksAtAllFourLowBits) {
    // Register 0xC8FF reads 0x18 (member 1, MSignature 8) and 0x10 (MSignature 0).
    const json description = benchOfBridges({bridge("sig8", {{"device_type", 1}, {"msignature", 8}}),
                                             bridge("sig0", {{"device_type", 1}, {"msignature", 0}})});
    ASSERT_EQ(scan(description, "001_B0"), 0);
    EXPECT_EQ(serials(), std::vector<std::string>({"SN-sig0"}));
    ASSERT_EQ(scan(description, "001"), 0);
    EXPECT_EQ(serials(), std::vector<std::string>({"SN-sig8"}));
}

TEST_F(DiscoveryDetails, TransportModeIsEqualityForType7AndBitSevenForTheOthers) {
    const json sata = benchOfBridges({
        bridge("uasNoise", {{"uas", true}, {"register_noise", {{"0x9000", "0x01"}}}}),   // 0x81: UAS
        bridge("botNoise", {{"uas", false}, {"register_noise", {{"0x9000", "0x7F"}}}}),  // 0x7F: BOT
    });
    ASSERT_EQ(scan(sata), 0);
    EXPECT_EQ(entry(0).ucStreamMode, 1);
    EXPECT_EQ(entry(1).ucStreamMode, 0);

    const json pcie = benchOfBridges({
        bridge("uas", {{"family", "8500"}, {"uas", true}}),  // 0x01
        bridge("bitZero",
               {{"family", "8500"}, {"uas", true}, {"register_noise", {{"0x9000", "0x02"}}}}),  // 0x03
        bridge("bitSeven", {{"family", "8500"}, {"uas", false}, {"register_noise", {{"0x9000", "0x80"}}}}),
    });
    ASSERT_EQ(scan(pcie, "0", 1), 0);
    ASSERT_EQ(count(), 3);
    EXPECT_EQ(entry(0).ucStreamMode, 1);
    EXPECT_EQ(entry(1).ucStreamMode, 0);
    EXPECT_EQ(entry(2).ucStreamMode, 0);
}

TEST_F(DiscoveryDetails, PlusOnlyWhen90E5EqualsOne) {
    ASSERT_EQ(
        scan(benchOfBridges({
            bridge("plus", {{"link", "plus"}}),
            bridge("plusNoise", {{"link", "plus"}, {"register_noise", {{"0x90E5", "0x02"}}}}),    // 0x03
            bridge("superNoise", {{"link", "super"}, {"register_noise", {{"0x90E5", "0x02"}}}}),  // 0x02
        })),
        0);
    EXPECT_EQ(entry(0).strLinkStatus, "PLUS");
    EXPECT_EQ(entry(1).strLinkStatus, "SUPER");
    EXPECT_EQ(entry(2).strLinkStatus, "SUPER");
}

TEST_F(DiscoveryDetails, SpeedCodesOnRequestOnly) {
    ASSERT_EQ(
        scan(benchOfBridges({
                 bridge("b5", {{"family", "8500"}, {"link", "plus"}, {"lanes", 2}}),
                 bridge("b4",
                        {{"family", "8500"}, {"link", "plus"}, {"register_noise", {{"0x92B8", "0x21"}}}}),
                 bridge("b3", {{"family", "8500"}, {"link", "super"}, {"lanes", 2}}),
                 bridge("b2",
                        {{"family", "8500"}, {"link", "super"}, {"register_noise", {{"0x92B8", "0x01"}}}}),
                 bridge("a4", {{"family", "8500"}, {"device_type", 6}, {"link", "plus"}}),
                 bridge("a2", {{"family", "8500"},
                               {"device_type", 6},
                               {"link", "plus"},
                               {"register_noise", {{"0x90E5", "0x04"}}}}),
                 bridge("high", {{"family", "8500"}, {"link", "high"}}),
                 bridge("odd",
                        {{"family", "8500"}, {"link", "super"}, {"register_noise", {{"0x9100", "0x40"}}}}),
             }),
             "0", 1),
        0);
    ASSERT_EQ(count(), 8);
    const std::size_t before = bridgeTrace().size();
    const std::uint8_t expected[] = {5, 4, 3, 2, 4, 2, 1, 255};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(entry(i).ucSpeed, 255) << "the scan reads no speed";
        const auto handle = openDisk(entry(i).m_ucPhysicalAddress);
        std::uint8_t speed = 0;
        EXPECT_EQ(dev().ucGetUsbSpeed(handle, entry(i).m_ucDevType, speed), 0);
        EXPECT_EQ(speed, expected[i]) << entry(i).strSerialNumber;
        quib::platform::get().storage.close(handle);
    }
    EXPECT_GT(bridgeTrace().size(), before);
}

TEST_F(DiscoveryDetails, FactorySerialCharactersRunUpTo0x7A) {
    // 'z' is 0x7A, '{' is 0x7B; neither serial is anywhere else.
    const json description = benchOfBridges({
        bridge("z", {{"family", "8500"},
                     {"serial", "FSN-ZZZZ"},
                     {"instance_serial", "OTHER1"},
                     {"configured_serial", "X1"},
                     {"factory_config", "FSN-zzzzzzzzzzzzzzzz"}}),
        bridge("brace", {{"family", "8500"},
                         {"serial", "FSN-BRACE"},
                         {"instance_serial", "OTHER2"},
                         {"configured_serial", "X2"},
                         {"factory_config", "FSN-BRACE{{{{{{{{{{{"}}),
    });
    ASSERT_EQ(scan(description, "0", 1), 0);
    EXPECT_EQ(serials(), std::vector<std::string>({"FSN-ZZZZ"}));
}

TEST_F(DiscoveryDetails, DrivesOwnSerialStandsInOnlyForAWhollyBlankConfiguredSerial) {
    // Nineteen blank bytes and one character: the configured serial stands, the drive is not asked.
    ASSERT_EQ(scan(benchOfBridges({
                  bridge("blank", {{"serial", "DRIVE-A"},
                                   {"instance_serial", "OTHER1"},
                                   {"configured_serial", ""},
                                   {"drive", {{"serial", "DRIVE-A"}}}}),
                  bridge("oneChar", {{"serial", "DRIVE-B"},
                                     {"instance_serial", "OTHER2"},
                                     {"configured_serial", "X"},
                                     {"drive", {{"serial", "DRIVE-B"}}}}),
              })),
              0);
    EXPECT_EQ(serials(), std::vector<std::string>({"DRIVE-A"}));
}

TEST_F(DiscoveryDetails, NvmeDrivesSerialIsAskedOnlyInAPcieScan) {
    // A SATA bridge whose USB serial is its drive's, with a configured serial of its own.
    const json sata = benchOfBridges({bridge("s", {{"serial", "SSD-SERIAL"},
                                                   {"instance_serial", "OTHER"},
                                                   {"configured_serial", "CFG"},
                                                   {"drive", {{"serial", "SSD-SERIAL"}}}})});
    EXPECT_EQ(scan(sata), -4);
    const json pcie = benchOfBridges({bridge("p", {{"family", "8500"},
                                                   {"serial", "SSD-SERIAL"},
                                                   {"instance_serial", "OTHER"},
                                                   {"configured_serial", "CFG"},
                                                   {"drive", {{"serial", "SSD-SERIAL"}}}})});
    EXPECT_EQ(scan(pcie, "0", 1), 0);
}

TEST_F(DiscoveryDetails, StorageDescriptorSerialIsNoIdentitySource) {
    EXPECT_EQ(scan(benchOfBridges({bridge("d", {{"serial", "USB-ONLY"},
                                                {"instance_serial", "OTHER"},
                                                {"configured_serial", "CFG"},
                                                {"storage_serial", "USB-ONLY"}})})),
              -4);
}

TEST_F(DiscoveryDetails, LowerCaseUsbSerialFindsItsDisk) {
    ASSERT_EQ(scan(benchOfBridges({bridge("lower", {{"serial", "sn-lower-1"}})})), 0);
    EXPECT_EQ(serials(), std::vector<std::string>({"sn-lower-1"}));
}

TEST_F(DiscoveryDetails, AdmissionRefusesADiskThatReportsAnotherNumber) {
    EXPECT_EQ(scan(benchOfBridges({bridge("moved", {{"reported_device_number", 9}})})), -4);
    EXPECT_TRUE(
        debugContains("vTestHandleFromPhysicalAddress: strPhysicalAddress[\\\\.\\PHYSICALDRIVE1] != "
                      "StoDevNum.DeviceNumber[9] "));
}

TEST_F(DiscoveryDetails, UnreadablePackageRegisterGivesDeviceType255) {
    json description = benchOfBridges({bridge("d", {{"device_type", 3}})});
    description["faults"] =
        json::array({{{"kind", "command"}, {"opcode", 0xE4}, {"register", 0xC895}, {"times", 0}}});
    ASSERT_EQ(scan(description), 0);
    EXPECT_EQ(entry(0).m_ucDevType, 255);
    EXPECT_EQ(entry(0).m_strChipType, "Not Defined");
    EXPECT_EQ(entry(0).m_ucChipPackage, 255);
    const auto handle = openDisk(1);
    EXPECT_EQ(dev().ucGetDeviceType(handle, "7120"), 255);
    quib::platform::get().storage.close(handle);
}

TEST_F(DiscoveryDetails, DriveLettersAreSearchedFromD) {
    json description =
        benchOfBridges({bridge("c", {{"volume_letter", "C"}}), bridge("d", {{"volume_letter", "D"}})});
    description["system_volume_letter"] = "";
    ASSERT_EQ(scan(description), 0);
    EXPECT_EQ(m_list->Devs[0].m_cDriveLetter, 127);
    EXPECT_EQ(m_list->Devs[1].m_cDriveLetter, 'D');
}

TEST_F(DiscoveryDetails, ExportedGenerationOfAType7BridgeComesFromE495) {
    ASSERT_EQ(scan(benchOfBridges({bridge("g3", {{"family", "8500"}, {"generation", 3}}),
                                   bridge("g4", {{"family", "8500"}, {"generation", 4}}),
                                   bridge("a", {{"family", "8500"}, {"device_type", 6}, {"generation", 3}})}),
                   "0", 1),
              0);
    EXPECT_EQ(m_list->Devs[0].ucGeneration, 3);
    EXPECT_EQ(m_list->Devs[1].ucGeneration, 4);
    EXPECT_EQ(m_list->Devs[2].ucGeneration, 6);
}

TEST_F(DiscoveryDetails, OnTheGoStatusAsksForFourBytesOfLanguagesThenSixteenStatusBytes) {
    ASSERT_EQ(scan(benchOfBridges({bridge("otb", {{"otb_status", "AAAA0000000000000000000000000000"}})})), 0);
    const std::size_t mark = benchRef().controlTrace().size();
    std::int32_t status = 0;
    ASSERT_EQ(QuibUSBLib_Function_vGetOTBStatus(0, &status), 0);
    EXPECT_EQ(status, 5);
    const auto requests = benchRef().controlTrace();
    ASSERT_EQ(requests.size(), mark + 2);
    const auto& languages = requests[mark];
    EXPECT_EQ(languages.device, "otb");
    EXPECT_EQ(languages.bmRequest, 0x80);
    EXPECT_EQ(languages.bRequest, 6);
    EXPECT_EQ(languages.wValue, 0x0300);
    EXPECT_EQ(languages.wIndex, 0);
    EXPECT_EQ(languages.wLength, 4);
    const auto& otb = requests[mark + 1];
    EXPECT_EQ(otb.wValue, 0x03FF);
    EXPECT_EQ(otb.wIndex, 1);
    EXPECT_EQ(otb.wLength, 16);
    EXPECT_EQ(otb.bytes, 16u);
}

TEST_F(DiscoveryDetails, IdentityStringsAreAskedForInTheDevicesLanguage) {
    ASSERT_EQ(scan(benchOfBridges({bridge("b")})), 0);
    for (const auto& r : benchRef().controlTrace()) {
        if (r.device != "b" || (r.wValue >> 8) != 3) continue;
        EXPECT_EQ(r.wIndex, (r.wValue & 0xFF) == 0 ? 0 : 0x0409) << std::hex << r.wValue;
        EXPECT_TRUE(r.ok);
    }
    EXPECT_EQ(entry(0).strManufacturer, "KRV");
}

// ---- re-detection after a restart -----------------------------------------------------------------------

class RedetectionPauses : public DiscoveryDetails {
  protected:
    // Leaves the signature (1, index) in entry `index`'s chip and restarts it; returns the restart's time.
    std::uint64_t restartWithSignature(int index) {
        quib::devcore::ScopedDevice device(CQuibUSBDev::strDevicePathOf(entry(index)),
                                           quib::platform::kAccessRead | quib::platform::kAccessWrite);
        std::uint8_t one = 1, signature = static_cast<std::uint8_t>(index);
        EXPECT_EQ(dev().SCSI7120_AccessRegister(device.get(), &one, 1, quib::devcore::kRegRelinkFlag, 1), 0);
        EXPECT_EQ(
            dev().SCSI7120_AccessRegister(device.get(), &signature, 1, quib::devcore::kRegRelinkIndex, 1), 0);
        EXPECT_EQ(dev().SCSI7120_CPURST(device.get(), 0), 0);
        return benchRef().nowMs();
    }
    // Times of the commands after `mark` with the given operation code and register (0 for any).
    std::vector<std::uint64_t> timesOf(std::size_t mark, std::uint8_t op, std::uint16_t reg = 0) {
        std::vector<std::uint64_t> out;
        const auto trace = bridgeTrace();
        for (std::size_t i = mark; i < trace.size(); ++i) {
            const auto& r = trace[i];
            if (r.cdb[0] != op) continue;
            if (reg && ((r.cdb[3] << 8) | r.cdb[4]) != reg) continue;
            out.push_back(r.timeMs);
        }
        return out;
    }
};

TEST_F(RedetectionPauses, FailedOpensCost200AndPassesAreOneSecondApartFromDiskOne) {
    // Back after 5 s as disk 2; disks 1 and 2 are probed: (200 + 200 + 1000) ms a pass while it is away.
    ASSERT_EQ(scan(benchOfBridges({bridge("b", {{"restart_delay_ms", 5000}})})), 0);
    const std::uint64_t t0 = restartWithSignature(0);
    const std::size_t mark = bridgeTrace().size();
    ASSERT_TRUE(dev().bDetectTargetUSBDevice(0, 1, 0));
    // Passes at 0, 1400, 2800, 4200 (disk 2 still away at 4400), then 5600: disk 1 fails, disk 2 answers.
    EXPECT_EQ(timesOf(mark, 0xE4, 0xCA02), (std::vector<std::uint64_t>{t0 + 5800}));
    // 500 ms pass between the signature and the INQUIRY that proves the chip.
    EXPECT_EQ(timesOf(mark, 0x12), (std::vector<std::uint64_t>{t0 + 6300}));
    // The system disk 0 is never probed.
    for (const auto& r : benchRef().trace()) EXPECT_NE(r.device, "system_disk0");
}

TEST_F(RedetectionPauses, AFailedSignatureReadCosts500) {
    json description = benchOfBridges({bridge("b", {{"restart_delay_ms", 100}})});
    description["faults"] =
        json::array({{{"kind", "command"},
                      {"opcode", 0xE4},
                      {"register", 0xCA02},
                      {"bridge", "b"},
                      {"as", "check_condition"}}});  // a device status: the read is not repeated
    ASSERT_EQ(scan(description), 0);
    const std::uint64_t t0 = restartWithSignature(0);
    const std::size_t mark = bridgeTrace().size();
    ASSERT_TRUE(dev().bDetectTargetUSBDevice(0, 1, 0));
    // Pass 1: disk 1 fails (200), disk 2's signature read fails (500), then 1000; pass 2: disk 1 (200).
    EXPECT_EQ(timesOf(mark, 0xE4, 0xCA02), (std::vector<std::uint64_t>{t0 + 200, t0 + 1900}));
    EXPECT_EQ(timesOf(mark, 0x12), (std::vector<std::uint64_t>{t0 + 2400}));
}

TEST_F(RedetectionPauses, CdromBridgeAlternatesTwoNumbersAndSettles1500) {
    ASSERT_EQ(scan(benchOfBridges({bridge("cd", {{"cdrom", true}, {"restart_delay_ms", 3000}})})), 0);
    ASSERT_EQ(entry(0).ucCdromNumber, 0);
    const std::uint64_t t0 = restartWithSignature(0);
    const std::size_t mark = bridgeTrace().size();
    ASSERT_TRUE(dev().bDetectTargetUSBDevice(0, 3, 0));
    // One number a pass: CD-ROM 0, 1, 0 (away), then 1 (back since 3000) at 3600.
    EXPECT_EQ(timesOf(mark, 0xE4, 0xCA02), (std::vector<std::uint64_t>{t0 + 3600}));
    EXPECT_EQ(timesOf(mark, 0x12), (std::vector<std::uint64_t>{t0 + 5100}));
    EXPECT_EQ(entry(0).ucCdromNumber, 1);
}

}  // namespace
}  // namespace devcore_test
