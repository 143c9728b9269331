// What the program builds around an update: the serial-number record, the serial-number image's name, the
// version report, the registry stamp and the closing summary.
#include <gtest/gtest.h>

#include <cstring>

#include "bench/bench.h"
#include "common/log/debug_log.h"
#include "common/records/exchange_records.h"
#include "frontend/bridge_summary.h"
#include "frontend/registry_stamp.h"
#include "frontend/serial_record.h"
#include "frontend/version_report.h"
#include "platform/bench/bench_backend.h"

namespace quib::frontend {
namespace {

std::unique_ptr<USBDevListExp> listOf(std::vector<std::string> versions) {
    auto list = std::make_unique<USBDevListExp>();
    std::memset(list.get(), 0, sizeof(USBDevListExp));
    list->nDevCount = static_cast<std::int32_t>(versions.size());
    for (std::size_t i = 0; i < versions.size(); ++i)
        records::storeText(list->Devs[i].cFwVersion, versions[i]);
    return list;
}

TEST(VersionReport, OneLinePerDevicePaddedToTwelve) {
    EXPECT_EQ(versionReportText(*listOf({"12042391F000", "13111291B000"})),
              "0:12042391F000\r\n1:13111291B000\r\n");
    EXPECT_EQ(versionReportText(*listOf({"1204239100"})), "0:001204239100\r\n");
    EXPECT_EQ(versionReportText(*listOf({})), "");
    std::vector<std::string> eleven(11, "131112910000");
    EXPECT_NE(versionReportText(*listOf(eleven)).find("\r\n10:131112910000\r\n"), std::string::npos);
}

TEST(SerialNumberRecord, FilledFromTheSerialAndTheFirstDevice) {
    auto list = listOf({"x"});
    records::storeText(list->Devs[0].cManufacturer, std::string(60, 'M'));
    records::storeText(list->Devs[0].cProduct, "Bridge");
    records::storeText(list->Devs[0].cVid, "3F10");
    records::storeText(list->Devs[0].cPid, "71ab");
    records::storeText(list->Devs[0].cDeviceRelease, "0100");
    const SerialNumberRecord r = buildSerialNumberRecord(L"SN123456", *list);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(r.cSerialNumber), 8), "SN123456");
    for (int i = 8; i < 20; ++i) EXPECT_EQ(r.cSerialNumber[i], 0xFF);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(r.cManufacturer), 44), std::string(44, 'M'));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(r.cProduct), 6), "Bridge");
    EXPECT_EQ(r.cProduct[6], 0);
    EXPECT_EQ(r.wVendorId, 0x3F10);
    EXPECT_EQ(r.wProductId, 0x71AB);
    EXPECT_EQ(r.wDeviceRelease, 0x0100);
    const SerialNumberRecord longer = buildSerialNumberRecord(L"ABCDEFGHIJKLMNOPQRSTUVWXYZ", *list);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(longer.cSerialNumber), 20), "ABCDEFGHIJKLMNOPQRST");
}

TEST(SerialNumberRecord, PrintableAsciiOnly) {
    EXPECT_FALSE(serialNumberFault(L"SN-0001 x"));
    EXPECT_TRUE(serialNumberFault(L""));
    EXPECT_TRUE(serialNumberFault(L"SN\x7F"));
    EXPECT_TRUE(serialNumberFault(L"S\u00e9rie"));
    EXPECT_EQ(serialImageName(L"131112_91_00_00.bin"), L"Config_131112_91_00_00.rom");
    EXPECT_EQ(serialImageName(L"binary.bin"), L"Config_romary.rom");
}

TEST(BridgeSummary, TheVersionAnImageNameCarries) {
    const std::pair<std::wstring, std::optional<std::wstring>> cases[] = {
        {L"131112_91_00_00.bin", L"131112910000"},
        {L"TV_PCIE_131112_91_00_01.bin", L"131112910001"},
        {L"Config_131112_91_00_00.rom", L"131112910000"},
        {L"Config_TV_PCIE_13111291B000.rom", L"13111291B000"},
        {L"131112_91_00.bin", std::nullopt},   // eleven characters before the dot
        {L"firmware_file.bin", std::nullopt},  // twelve characters, not a version
        {L"Config_131112.rom", std::nullopt},
        {L"E-VS-131112_51_00_00.bin", L"131112510000"},
    };
    for (const auto& [name, version] : cases) EXPECT_EQ(imageNameVersion(name), version) << name;
}

TEST(BridgeSummary, OneLinePerBridgeClaimingOnlyWhatTheLibraryProved) {
    auto list = listOf({"12042391f000", "12042391f000", ""});
    const char* serials[] = {"SNa", "SNb", ""};
    for (int i = 0; i < 3; ++i) {
        list->Devs[i].m_ucPhysicalAddress = static_cast<std::uint8_t>(i + 1);
        records::storeText(list->Devs[i].cSerialNumber, serials[i]);
    }
    const std::wstring a = L"PhysicalDrive 1: serial SNa, firmware 12042391f000 -> ";
    const std::wstring b = L"PhysicalDrive 2: serial SNb, firmware 12042391f000 -> ";
    const std::wstring c = L"PhysicalDrive 3: serial none, firmware none -> ";
    const std::wstring stopped = L"unchanged, not updated: the update stopped before the bridges";
    const struct {
        std::map<int, int> results;
        std::uint8_t drive;
        bool relink;
        std::wstring image, serial;
        std::vector<std::wstring> lines;
    } cases[] = {
        {{{0, 0}, {1, -7}, {2, -3}},
         255,
         true,
         L"Config_131112_91_00_00.rom",
         L"SN-0001",
         {a + L"131112910000, updated", b + L"not known, failed: Reload fail.",
          c + L"unchanged, not updated: not for this image"}},
        {{{0, 0}, {1, -12}},
         255,
         false,
         L"131112_91_00_00.bin",
         L"",
         {a + L"131112910000 (runs after a restart), updated",
          b + L"not known, failed: vUpdateFirmware fail, ErrorCode -12", c + stopped}},
        {{{1, 0}},
         2,
         true,
         L"image.bin",
         L"",
         {a + L"unchanged, not selected", b + L"not known, updated", c + L"unchanged, not selected"}},
        // The serial-number image failed: no bridge was reached.
        {{},
         2,
         true,
         L"131112_91_00_00.bin",
         L"ABCDEFGHIJKLMNOPQRSTUVWXYZ",
         {L"Serial number cut to 20 characters: ABCDEFGHIJKLMNOPQRST", a + L"unchanged, not selected",
          b + stopped, c + L"unchanged, not selected"}},
    };
    for (const auto& k : cases) {
        BridgeResults results;
        for (const auto& [index, result] : k.results) results.record(index, result);
        EXPECT_EQ(bridgeSummaryLines({*list, results, k.drive, k.image, k.relink, k.serial}), k.lines)
            << k.image;
    }
}

TEST(RegistryStamp, NumbersAndKeyPaths) {
    EXPECT_EQ(parseDword(L"150708"), 150708u);
    EXPECT_EQ(parseDword(L"0x1A"), 26u);
    EXPECT_EQ(parseDword(L" 0XFFFFFFFF "), 0xFFFFFFFFu);
    EXPECT_FALSE(parseDword(L"150708B10103"));
    EXPECT_FALSE(parseDword(L"0x100000000"));
    EXPECT_FALSE(parseDword(L"0x"));
    EXPECT_FALSE(parseDword(L"-1"));
    EXPECT_EQ(collapsedSubKey(L"SOFTWARE\\\\TORVANE\\\\\\FWUpdate"), L"SOFTWARE\\TORVANE\\FWUpdate");
}

class RegistryStampOnBench : public ::testing::Test {
  protected:
    void SetUp() override {
        bench = bench::Bench::fromJson({{"controllers", nlohmann::json::array()}});
        previous = platform::install(platform::makeBenchBackend(bench));
    }
    void TearDown() override { platform::install(std::move(previous)); }
    std::shared_ptr<bench::Bench> bench;
    std::unique_ptr<platform::Backend> previous;
};

TEST_F(RegistryStampOnBench, StringAndDwordValuesUnderTheCollapsedKey) {
    SettingsCopies settings;
    settings.reg_edit_subkey = L"SOFTWARE\\\\TORVANE\\\\FWUpdate";
    settings.reg_edit_keyname = L"VersionNumber";
    settings.reg_edit_type = L"REG_SZ";
    settings.reg_edit_value = L"150708B10103";
    vRegLiveUpdate(settings);
    auto value = bench->readRegistry("SOFTWARE\\TORVANE\\FWUpdate", "VersionNumber");
    ASSERT_TRUE(value);
    EXPECT_EQ(value->type, 1u);
    const std::vector<std::uint8_t> expected = {'1', 0,   '5', 0,   '0', 0,   '7', 0,   '0', 0,   '8', 0, 'B',
                                                0,   '1', 0,   '0', 0,   '1', 0,   '0', 0,   '3', 0,   0, 0};
    EXPECT_EQ(value->data, expected);

    settings.reg_edit_type = L"reg_dword";
    settings.reg_edit_value = L"0x10203";
    vRegLiveUpdate(settings);
    value = bench->readRegistry("SOFTWARE\\TORVANE\\FWUpdate", "VersionNumber");
    EXPECT_EQ(value->type, 4u);
    EXPECT_EQ(value->data, (std::vector<std::uint8_t>{0x03, 0x02, 0x01, 0x00}));

    settings.reg_edit_value = L"not a number";  // logged, not written
    vRegLiveUpdate(settings);
    EXPECT_EQ(bench->readRegistry("SOFTWARE\\TORVANE\\FWUpdate", "VersionNumber")->data,
              (std::vector<std::uint8_t>{0x03, 0x02, 0x01, 0x00}));
}

// Without the rights to create the key, the stamp says so in a line of its own and writes nothing.
TEST(RegistryStamp, KeyThatCannotBeCreatedIsLoggedAsSuch) {
    auto readOnly =
        bench::Bench::fromJson({{"controllers", nlohmann::json::array()},
                                {"registry_read_only", nlohmann::json::array({"SOFTWARE\\TORVANE"})}});
    auto previous = platform::install(platform::makeBenchBackend(readOnly));
    log::setLevel(3);
    SettingsCopies settings;
    settings.reg_edit_subkey = L"SOFTWARE\\\\TORVANE\\\\FWUpdate";  // as shipped: doubled
    settings.reg_edit_keyname = L"VersionNumber";
    settings.reg_edit_type = L"REG_SZ";
    settings.reg_edit_value = L"150708B10103";
    vRegLiveUpdate(settings);
    log::setLevel(0);
    platform::install(std::move(previous));
    EXPECT_FALSE(readOnly->registryKeyExists("SOFTWARE\\TORVANE\\FWUpdate"));
    bool created = false, set = false;
    for (const auto& line : readOnly->debugLines()) {
        created = created || line.find(
                                 "RegCreateKeyEx fail, szSubKey=SOFTWARE\\\\TORVANE\\\\FWUpdate, "
                                 "iReturn=5, dwErrorCode=5") != std::string::npos;
        set = set || line.find("RegSetValueEx fail") != std::string::npos;
    }
    EXPECT_TRUE(created);
    EXPECT_FALSE(set);
}

}  // namespace
}  // namespace quib::frontend
