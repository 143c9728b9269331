// Discovery over bench USB trees: which devices are recorded, under which numbers and locations, and
// what their registers say about them.
#include <memory>
#include <string>

#include "common/log/debug_log.h"
#include "common/records/exchange_records.h"
#include "devcore/transport/device_path.h"
#include "include/quibusb.h"
#include "tests/devcore/bench_fixture.h"

namespace devcore_test {
namespace {

using quib::devcore::USBDevEntry;

json hubPort(std::uint32_t port, json ports, std::uint32_t portCount = 4) {
    return {{"port", port}, {"hub", {{"port_count", portCount}, {"ports", std::move(ports)}}}};
}

using DiscoveryTest = ScanTest;

TEST_F(DiscoveryTest, NoBridgeMeansDeviceNotFound) {
    EXPECT_EQ(scan(benchOf(json::array({controller(json::array({{{"port", 1}, {"empty", true}}}))}))), -4);
    EXPECT_EQ(m_list->nDevCount, 0);
    EXPECT_EQ(count(), 0);
}

TEST_F(DiscoveryTest, NoHostControllerIsSaidInTheLog) {
    EXPECT_EQ(scan(benchOf(json::array())), -4);
    EXPECT_TRUE(debugContains("No USB host controller found"));
}

TEST_F(DiscoveryTest, RecordsEachBridgeWithItsIdentityAndRegisters) {
    ASSERT_EQ(scan(benchOf(json::array({controller(
                  json::array({bridgePort(1, "b0", "SN-0001",
                                          {{"device_type", 5},
                                           {"msignature", 10},
                                           {"firmware_version", "1311129A0000"},
                                           {"vid", 0x3f10},
                                           {"pid", 0x71ab},
                                           {"bcd_device", 0x01AF},
                                           {"manufacturer", "KRV Corp"},
                                           {"product", "Bridge Five"},
                                           {"link", "plus"},
                                           {"uas", false},
                                           {"cc_orientation", 1},
                                           {"package", 0x34}}),
                               bridgePort(3, "b1", "SN-0002", {{"device_type", 1}, {"link", "high"}})}))}))),
              0);
    ASSERT_EQ(count(), 2);
    const USBDevEntry& e = entry(0);
    EXPECT_EQ(e.ucSlotIndex, 0);
    EXPECT_EQ(e.m_ucPhysicalAddress, 1);
    EXPECT_EQ(e.ucIsCdrom, 0);
    EXPECT_EQ(e.strVid, "3F10");
    EXPECT_EQ(e.strPid, "71AB");
    EXPECT_EQ(e.strDeviceRelease, "01af");
    EXPECT_EQ(e.strManufacturer, "KRV Corp");
    EXPECT_EQ(e.strProduct, "Bridge Five");
    EXPECT_EQ(e.strSerialNumber, "SN-0001");
    EXPECT_EQ(e.strFwVersion, "1311129a0000");
    EXPECT_EQ(e.m_ucDevType, 5);
    EXPECT_EQ(e.m_strChipType, "E");
    EXPECT_EQ(e.strMSignature, "a");
    EXPECT_EQ(e.strChipTypeSelector, "101");
    EXPECT_EQ(e.ucGeneration, 5);
    EXPECT_EQ(e.ucStreamMode, 0);
    EXPECT_EQ(e.m_ucChipPackage, 0x34);
    EXPECT_EQ(e.ucCCOrientation, 1);
    EXPECT_EQ(e.strLinkStatus, "PLUS");
    EXPECT_EQ(e.ucSpeed, 255);  // stored only when the speed is asked for
    EXPECT_EQ(e.iLocation, 1);
    EXPECT_EQ(e.iPortNumber, 1);
    EXPECT_EQ(e.iPortCount, 4);
    EXPECT_EQ(e.strHostControllerHardwareId, "PCI\\VEN_8086&DEV_A36D&SUBSYS_72708086&REV_10");
    EXPECT_EQ(e.strHubDeviceName.rfind("\\\\.\\", 0), 0u);
    EXPECT_EQ(e.nWorkingValue1, -1);
    EXPECT_EQ(e.nWorkingValue2, -1);

    EXPECT_EQ(entry(1).m_ucPhysicalAddress, 2);
    EXPECT_EQ(entry(1).strLinkStatus, "HIGH");
    EXPECT_EQ(entry(1).ucStreamMode, 1);
    EXPECT_EQ(entry(1).ucCCOrientation, 0);
    EXPECT_EQ(entry(1).iLocation, 3);
    EXPECT_EQ(entry(1).strChipTypeSelector, "001");
    EXPECT_TRUE(debugContains("-****- DeviceType:[5]"));
}

TEST_F(DiscoveryTest, PcieBridgeLinkTextsAndGeneration) {
    ASSERT_EQ(
        scan(
            benchOf(json::array({controller(json::array(
                {bridgePort(1, "b", "SN-850B",
                            {{"family", "8500"},
                             {"device_type", 7},
                             {"link", "plus"},
                             {"lanes", 2},
                             {"generation", 3}}),
                 bridgePort(2, "a", "SN-850A", {{"family", "8500"}, {"device_type", 6}, {"link", "super"}}),
                 bridgePort(3, "c", "SN-850B-2",
                            {{"family", "8500"}, {"device_type", 7}, {"link", "super"}, {"uas", true}})}))})),
            "0", 1),
        0);
    ASSERT_EQ(count(), 3);
    EXPECT_EQ(entry(0).m_strChipType, "850B");
    EXPECT_EQ(entry(0).strLinkStatus, "PLUS x2");
    EXPECT_EQ(entry(0).ucGeneration, 3);
    EXPECT_EQ(entry(1).m_strChipType, "850A");
    EXPECT_EQ(entry(1).strLinkStatus, "SUPER x1");
    EXPECT_EQ(entry(1).ucGeneration, 6);
    EXPECT_EQ(entry(2).strLinkStatus, "SUPER x1");
    EXPECT_EQ(entry(2).ucStreamMode, 1);
}

TEST_F(DiscoveryTest, ScanForOneFamilyLeavesTheOtherOut) {
    const json description = benchOf(json::array({controller(json::array(
        {bridgePort(1, "sata", "SN-SATA"), bridgePort(2, "pcie", "SN-PCIE", {{"family", "8500"}})}))}));
    ASSERT_EQ(scan(description, "0", 0), 0);
    EXPECT_EQ(serials(), std::vector<std::string>({"SN-SATA"}));
    ASSERT_EQ(scan(description, "0", 1), 0);
    EXPECT_EQ(serials(), std::vector<std::string>({"SN-PCIE"}));
}

TEST_F(DiscoveryTest, TargetChipTypeFiltersBySelector) {
    const json description = benchOf(json::array(
        {controller(json::array({bridgePort(1, "b1", "SN-B", {{"device_type", 1}, {"msignature", 0}}),
                                 bridgePort(2, "c", "SN-C", {{"device_type", 2}}),
                                 bridgePort(3, "d", "SN-D", {{"device_type", 3}})}))}));
    ASSERT_EQ(scan(description, "001_B0"), 0);
    EXPECT_EQ(serials(), std::vector<std::string>({"SN-B"}));
    ASSERT_EQ(scan(description, "011_1"), 0);
    EXPECT_EQ(serials(), std::vector<std::string>({"SN-D"}));
    EXPECT_TRUE(debugContains("ChipType not match: strTargetChipType[011_1], strDevChipType[010]"));
    EXPECT_EQ(scan(description, "111"), -4);
}

TEST_F(DiscoveryTest, TwoBridgesWithOneSerialGetTheirOwnDisks) {
    ASSERT_EQ(scan(benchOf(json::array({controller(json::array(
                  {bridgePort(1, "first", "SAME-SERIAL"), bridgePort(2, "second", "SAME-SERIAL")}))}))),
              0);
    ASSERT_EQ(count(), 2);
    EXPECT_EQ(entry(0).m_ucPhysicalAddress, 1);
    EXPECT_EQ(entry(1).m_ucPhysicalAddress, 2);
    EXPECT_TRUE(debugContains("bSameDevFound , strValidSerialNumber SAME-SERIAL , Physical Address = 1"));
}

TEST_F(DiscoveryTest, SerialFoundThroughEveryIdentitySource) {
    // Each bridge carries its USB serial in one place only.
    ASSERT_EQ(scan(benchOf(json::array({controller(
                  json::array({bridgePort(1, "configured", "CFG-ONLY",
                                          {{"instance_serial", "OTHER1"}, {"configured_serial", "cfg-only"}}),
                               bridgePort(2, "instance", "INST-ONLY",
                                          {{"instance_serial", "inst-only"}, {"configured_serial", "X2"}}),
                               bridgePort(3, "drive", "DRIVE-ONLY",
                                          {{"instance_serial", "OTHER3"},
                                           {"configured_serial", ""},
                                           {"drive", {{"serial", "DRIVE-ONLY"}}}})}))}))),
              0);
    EXPECT_EQ(serials(), std::vector<std::string>({"CFG-ONLY", "INST-ONLY", "DRIVE-ONLY"}));
}

TEST_F(DiscoveryTest, PcieSerialFromFactoryBlockOrDrive) {
    ASSERT_EQ(
        scan(benchOf(json::array({controller(json::array(
                 {bridgePort(1, "factory", "FACTORY-SN-000000001",
                             {{"family", "8500"},
                              {"instance_serial", "OTHER1"},
                              {"configured_serial", "X1"},
                              {"factory_config", "FACTORY-SN-000000001"}}),
                  bridgePort(2, "ssd", "NVME-SN-2",
                             {{"family", "8500"},
                              {"instance_serial", "OTHER2"},
                              {"configured_serial", "X2"},
                              {"drive", {{"serial", "NVME-SN-2"}}}}),
                  bridgePort(
                      3, "none", "NOWHERE",
                      {{"family", "8500"}, {"instance_serial", "OTHER3"}, {"configured_serial", "X3"}})}))})),
             "0", 1),
        0);
    EXPECT_EQ(serials(), std::vector<std::string>({"FACTORY-SN-000000001", "NVME-SN-2"}));
    EXPECT_TRUE(debugContains("Invalid  ucPhysicalAddress:255, usLanguageID=1033, strSerialNumber:NOWHERE"));
}

TEST_F(DiscoveryTest, CdromBridgeIsOpenedAsCdromAndStopsLaterControllers) {
    ASSERT_EQ(
        scan(benchOf(json::array({controller(json::array({bridgePort(1, "disk", "SN-DISK"),
                                                          bridgePort(2, "cd", "SN-CD", {{"cdrom", true}})})),
                                  controller(json::array({bridgePort(1, "later", "SN-LATER")}))}))),
        0);
    ASSERT_EQ(count(), 2);
    const USBDevEntry& cd = entry(1);
    EXPECT_EQ(cd.ucIsCdrom, 1);
    EXPECT_EQ(cd.ucCdromNumber, 0);
    EXPECT_EQ(cd.m_ucPhysicalAddress, 127);
    EXPECT_EQ(CQuibUSBDev::strDevicePathOf(cd), "\\\\.\\CDROM0");
    EXPECT_EQ(cd.m_strChipType, "B");
    EXPECT_EQ(objects().devList()->ucCdromFound, 1);
    EXPECT_TRUE(debugContains("this  ucPhysicalAddress[0] is CDROM"));
    // The exported entry of a CD-ROM bridge has no disk number.
    EXPECT_EQ(m_list->Devs[1].m_ucPhysicalAddress, 127);
}

TEST_F(DiscoveryTest, PcieScanDoesNotLookForCdroms) {
    EXPECT_EQ(scan(benchOf(json::array({controller(
                       json::array({bridgePort(1, "cd", "SN-CD", {{"family", "8500"}, {"cdrom", true}})}))})),
                   "0", 1),
              -4);
    EXPECT_FALSE(debugContains("Try CD-ROM"));
}

TEST_F(DiscoveryTest, SeventeenthBridgeIsLeftOutAndReported) {
    json ports = json::array();
    for (std::uint32_t p = 1; p <= 17; ++p)
        ports.push_back(bridgePort(p, "b" + std::to_string(p), "SN-" + std::to_string(p)));
    ASSERT_EQ(scan(benchOf(json::array({controller(ports, 17)}))), 0);
    ASSERT_EQ(count(), 16);
    EXPECT_EQ(m_list->nDevCount, 16);
    EXPECT_EQ(entry(15).strSerialNumber, "SN-16");
    EXPECT_TRUE(debugContains("device list full (16 entries): strPhysicalAddress[\\\\.\\PHYSICALDRIVE17]"));
    // Nothing beyond the sixteenth record was written.
    EXPECT_EQ(m_list->Devs[16].m_ucPhysicalAddress, 0x7F);
}

TEST_F(DiscoveryTest, LocationNumbersThroughNestedHubs) {
    ASSERT_EQ(scan(benchOf(json::array(
                  {controller(json::array(
                       {bridgePort(1, "root1", "SN-R1"),
                        hubPort(2, json::array({hubPort(3, json::array({bridgePort(1, "deep", "SN-DEEP")})),
                                                bridgePort(4, "mid", "SN-MID")})),
                        bridgePort(3, "root3", "SN-R3")})),
                   controller(json::array({bridgePort(1, "second", "SN-SECOND")}))}))),
              0);
    ASSERT_EQ(count(), 5);
    EXPECT_EQ(serials(), std::vector<std::string>({"SN-R1", "SN-DEEP", "SN-MID", "SN-R3", "SN-SECOND"}));
    EXPECT_EQ(entry(0).iLocation, 1);
    EXPECT_EQ(entry(1).iLocation, 1 + 10 * 3 + 100 * 2);
    // Leaving the depth-2 hub sets the hub term to 3 + 1 - 4 x 1.
    EXPECT_EQ(entry(2).iLocation, 4 + 10 * 0 + 100 * 1);
    // Leaving the hub on the root keeps its port as the hub term.
    EXPECT_EQ(entry(3).iLocation, 3 + 10 * 2);
    EXPECT_EQ(entry(4).iLocation, 1 + 1000);
    EXPECT_EQ(entry(1).strHubDeviceName.rfind("\\\\?\\", 0), 0u);
    EXPECT_EQ(entry(1).iPortNumber, 1);
}

TEST_F(DiscoveryTest, FailedPortsCompositeAndDiskClassDevicesArePassedOver) {
    ASSERT_EQ(scan(benchOf(json::array({controller(
                  json::array(
                      {{{"port", 1}, {"failed", true}},
                       bridgePort(2, "composite", "SN-COMP", {{"description", "USB Composite Device"}}),
                       bridgePort(3, "prefix", "SN-PREFIX", {{"description", "Composite Storage"}}),
                       bridgePort(4, "diskclass", "SN-DISKCLASS", {{"driver_class", "disk"}}),
                       {{"port", 5}, {"device", {{"description", "USB Input Device"}, {"serial", "KBD-1"}}}},
                       bridgePort(6, "plain", "SN-PLAIN")}),
                  6)}))),
              0);
    EXPECT_EQ(serials(), std::vector<std::string>({"SN-PREFIX", "SN-PLAIN"}));
    EXPECT_TRUE(debugContains("Device FAILED enumeration"));
    EXPECT_TRUE(debugContains("strDriverKeyNaemLimit:{4D36E967-E325-11CE-BFC1-08002BE10318}"));
}

TEST_F(DiscoveryTest, DeviceWithoutSerialNumberIsNotTakenForAnyDisk) {
    ASSERT_EQ(scan(benchOf(json::array({controller(json::array(
                  {{{"port", 1}, {"device", {{"description", "USB Input Device"}, {"serial", ""}}}},
                   bridgePort(2, "bridge", "SN-BRIDGE")}))}))),
              0);
    ASSERT_EQ(count(), 1);
    EXPECT_EQ(entry(0).strSerialNumber, "SN-BRIDGE");
    EXPECT_EQ(entry(0).iPortNumber, 2);
}

TEST_F(DiscoveryTest, OnlyTwentyHostControllersTakePart) {
    // A bridge behind the last of N controllers, the others empty.
    auto bridgeBehindController = [](int n) {
        json controllers = json::array();
        for (int h = 0; h < n; ++h)
            controllers.push_back(controller(h + 1 < n ? json::array({{{"port", 1}, {"empty", true}}})
                                                       : json::array({bridgePort(1, "last", "SN-LAST")})));
        return benchOf(controllers);
    };
    ASSERT_EQ(scan(bridgeBehindController(20)), 0);
    EXPECT_EQ(entry(0).iLocation, 1 + 19 * 1000);
    EXPECT_EQ(scan(bridgeBehindController(21)), -4);
}

TEST_F(DiscoveryTest, ExportedListCarriesEntriesAndResetsTheRest) {
    json description = benchOf(json::array({controller(
        json::array({bridgePort(1, "b0", "SN-EXP-0", {{"volume_letter", "F"}, {"device_type", 2}}),
                     bridgePort(2, "b1", "SN-EXP-1")}))}));
    description["controllers"][0]["hardware_id"] = std::string(300, 'H');
    useBench(description);
    m_list = std::make_unique<USBDevListExp>();
    std::memset(static_cast<void*>(m_list.get()), 0x5C, sizeof(USBDevListExp));
    ASSERT_EQ(QuibUSBLib_Function_vScanUSBPort(m_list.get(), "0", 0), 0);
    ASSERT_EQ(m_list->nDevCount, 2);
    const USBDevInfoExp& first = m_list->Devs[0];
    EXPECT_EQ(quib::records::readText(first.cSerialNumber), "SN-EXP-0");
    EXPECT_EQ(first.m_cDriveLetter, 'F');
    EXPECT_EQ(m_list->Devs[1].m_cDriveLetter, 127);
    EXPECT_EQ(first.m_ucDevType, 2);
    EXPECT_EQ(std::int32_t{first.nWorkingValue1}, -1);
    EXPECT_EQ(quib::records::readText(first.cHostControllerHardwareId), std::string(254, 'H'));
    for (int k = 2; k < 32; ++k) {
        const USBDevInfoExp& rest = m_list->Devs[k];
        EXPECT_EQ(rest.cVid[0], 0);
        EXPECT_EQ(rest.m_ucDevType, 0xFF);
        EXPECT_EQ(rest.m_ucPhysicalAddress, 0x7F);
        EXPECT_EQ(rest.ucGeneration, 0xFF);
        EXPECT_EQ(std::int32_t{rest.nWorkingValue1}, 0);
        // The host controller text is left as it was.
        EXPECT_EQ(static_cast<unsigned char>(rest.cHostControllerHardwareId[0]), 0x5C);
    }
    EXPECT_EQ(objects().devList()->Devs[0].m_cDriveLetter, 'F');
}

TEST_F(DiscoveryTest, OlderScanSelectsByDeviceTypeAndReleasesAnEmptyList) {
    const json description = benchOf(json::array({controller(json::array(
        {bridgePort(1, "b", "SN-B", {{"device_type", 1}}), bridgePort(2, "e", "SN-E", {{"device_type", 5}}),
         bridgePort(3, "p", "SN-P", {{"family", "8500"}, {"device_type", 7}})}))}));
    useBench(description);
    quib::log::setLevel(3);
    USBDevListExp list;
    ASSERT_EQ(QuibUSBLib_vScanUSBPort(&list, 5), 0);
    ASSERT_EQ(list.nDevCount, 1);
    EXPECT_EQ(quib::records::readText(list.Devs[0].cSerialNumber), "SN-E");
    ASSERT_EQ(QuibUSBLib_vScanUSBPort(&list, 7), 0);
    EXPECT_EQ(quib::records::readText(list.Devs[0].cSerialNumber), "SN-P");
    EXPECT_TRUE(debugContains("ChipType not match: m_ucDevType[5], ucDevType[1]"));

    EXPECT_EQ(QuibUSBLib_vScanUSBPort(&list, 3), -4);
    EXPECT_EQ(objects().devList(), nullptr);
    EXPECT_EQ(list.nDevCount, 0);
    EXPECT_TRUE(debugContains("QUIB_DEVICE_NOT_FOUND"));
}

}  // namespace
}  // namespace devcore_test
