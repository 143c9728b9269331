// The built library, loaded like its callers load it: by file name over a bench folder, entry points
// bound by name.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "include/quibusb.h"
#include "platform/backends.h"
#include "tests/common/loaded_library.h"
#include "tests/common/temp_path.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

constexpr std::size_t kListCount = 0;
constexpr std::size_t kDevs = 4;
constexpr std::size_t kRecord = 2308;

json bridge(std::uint32_t port, json fields) {
    return {{"port", port}, {"bridge", std::move(fields)}};
}

json benchDescription() {
    json ports = json::array(
        {bridge(1, {{"id", "e"},
                    {"serial", "EXP-SN-0"},
                    {"vid", 0x1D6B},
                    {"pid", 0x0A1B},
                    {"bcd_device", 0x020C},
                    {"manufacturer", "KRV Corp"},
                    {"product", "Bridge E"},
                    {"firmware_version", "131112910000"},
                    {"device_type", 5},
                    {"link", "plus"},
                    {"uas", true},
                    {"cc_orientation", 1},
                    {"volume_letter", "E"},
                    {"otb_status", "AAAA000102030405060708090A0B0C0D"}}),
         bridge(2, {{"id", "c"},
                    {"serial", "EXP-SN-1"},
                    {"device_type", 2},
                    {"link", "high"},
                    {"uas", false},
                    {"otb_status", "AA55000000000000000000000000000000"}}),
         bridge(4,
                {{"id", "b"}, {"serial", "EXP-SN-2"}, {"device_type", 1}, {"registers", {{"9002", "07"}}}})});
    ports[1]["bridge"]["otb_status"] = "AA550000000000000000000000000000";
    return {{"system_disks", 1},
            {"system_volume_letter", "C"},
            {"controllers", json::array({{{"hardware_id", "PCI\\VEN_8086&DEV_15B6&SUBSYS_00000000&REV_02"},
                                          {"ports", {{"port_count", 4}, {"ports", ports}}}}})}};
}

using quib::testing::clearBenchFolder;
using quib::testing::closeLibrary;
using quib::testing::openError;
using quib::testing::setBenchFolder;
using quib::testing::symbol;
void* openLibrary() {
    return quib::testing::openLibrary(QUIBUSB_PATH);
}

// Reads a value at a byte offset of a record, as a caller in another language would.
template <typename T>
T at(const void* base, std::size_t offset) {
    T value;
    std::memcpy(&value, static_cast<const std::uint8_t*>(base) + offset, sizeof value);
    return value;
}
std::string textAt(const void* base, std::size_t offset) {
    return std::string(static_cast<const char*>(base) + offset);
}

class EntryPointTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_folder = quib::testing::freshTempPath("devcore_entry");
        fs::remove_all(m_folder);
        fs::create_directories(m_folder);
        std::ofstream(m_folder / "bench.json") << benchDescription().dump(2);
        setBenchFolder(m_folder);
        m_library = openLibrary();
        ASSERT_NE(m_library, nullptr) << openError();
        bind(CloseDev, "QuibUSBLib_CloseDev");
        bind(ScanUSBPort, "QuibUSBLib_Function_vScanUSBPort");
        bind(OlderScan, "QuibUSBLib_vScanUSBPort");
        bind(SetDllDebugLevel, "QuibUSBLib_Function_vSetDllDebugLevel");
        bind(ShowUSBStatus, "QuibUSBLib_vShowUSBStatus");
        bind(ShowUSBProtocol, "QuibUSBLib_vShowUSBProtocol");
        bind(DetectCCOrientation, "QuibUSBLib_vDetectCCOrientation");
        bind(IsKRV630X, "QuibUSBLib_vIsKRV630X");
        bind(IsKRVUSBDev, "QuibUSBLib_vIsKRVUSBDev");
        bind(AccessRegister, "QuibUSBLib_K610X_AccessRegister");
        bind(GetOTBStatus, "QuibUSBLib_Function_vGetOTBStatus");
        bind(BuildBinFile, "QuibUSBLib_Function_BuildBinFile");
        bind(UpdateFirmware, "QuibUSBLib_Function_vUpdateFirmware");
        bind(ShowPDVersion, "QuibUSBLib_Function_vShowPDVersion");
        bind(UpdatePDFirmware, "QuibUSBLib_Function_vUpdatePDFirmware");
        bind(InitialPD, "QuibUSBLib_Function_vInitialPD");
        bind(ClosePD, "QuibUSBLib_Function_vClosePD");
    }
    void TearDown() override {
        if (m_library) closeLibrary(m_library);
        clearBenchFolder();
        std::error_code ec;
        fs::remove_all(m_folder, ec);
    }
    template <typename F>
    void bind(F*& f, const char* name) {
        f = reinterpret_cast<F*>(symbol(m_library, name));
        ASSERT_NE(f, nullptr) << name;
    }
    std::string debugLog() {
        std::ifstream in(m_folder / "debug.log", std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    static std::size_t occurrences(const std::string& text, const std::string& what) {
        std::size_t n = 0;
        for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
        return n;
    }
    int32_t scan(USBDevListExp& list) { return ScanUSBPort(&list, "0", 0); }
    // Replaces the bench; only before the first entry-point call of a test.
    void useDescription(const json& description) {
        std::ofstream(m_folder / "bench.json", std::ios::trunc) << description.dump(2);
    }

    fs::path m_folder;
    void* m_library = nullptr;
    decltype(QuibUSBLib_CloseDev)* CloseDev = nullptr;
    decltype(QuibUSBLib_Function_vScanUSBPort)* ScanUSBPort = nullptr;
    decltype(QuibUSBLib_vScanUSBPort)* OlderScan = nullptr;
    decltype(QuibUSBLib_Function_vSetDllDebugLevel)* SetDllDebugLevel = nullptr;
    decltype(QuibUSBLib_vShowUSBStatus)* ShowUSBStatus = nullptr;
    decltype(QuibUSBLib_vShowUSBProtocol)* ShowUSBProtocol = nullptr;
    decltype(QuibUSBLib_vDetectCCOrientation)* DetectCCOrientation = nullptr;
    decltype(QuibUSBLib_vIsKRV630X)* IsKRV630X = nullptr;
    decltype(QuibUSBLib_vIsKRVUSBDev)* IsKRVUSBDev = nullptr;
    decltype(QuibUSBLib_K610X_AccessRegister)* AccessRegister = nullptr;
    decltype(QuibUSBLib_Function_vGetOTBStatus)* GetOTBStatus = nullptr;
    decltype(QuibUSBLib_Function_BuildBinFile)* BuildBinFile = nullptr;
    decltype(QuibUSBLib_Function_vUpdateFirmware)* UpdateFirmware = nullptr;
    decltype(QuibUSBLib_Function_vShowPDVersion)* ShowPDVersion = nullptr;
    decltype(QuibUSBLib_Function_vUpdatePDFirmware)* UpdatePDFirmware = nullptr;
    decltype(QuibUSBLib_Function_vInitialPD)* InitialPD = nullptr;
    decltype(QuibUSBLib_Function_vClosePD)* ClosePD = nullptr;
};

#ifndef _WIN32  // the Windows export table is checked by the packaging tests
TEST(LibraryFile, ExportsOnlyItsEntryPoints) {
    FILE* pipe = ::popen("nm -D --defined-only " QUIBUSB_PATH " 2>/dev/null", "r");
    ASSERT_NE(pipe, nullptr);
    std::set<std::string> names;
    char line[512];
    while (std::fgets(line, sizeof line, pipe)) {
        std::istringstream fields(line);
        std::string address, kind, name;
        fields >> address >> kind >> name;
        if (!name.empty()) names.insert(name);
    }
    if (::pclose(pipe) != 0 || names.empty()) GTEST_SKIP() << "nm is not available";
    // Exactly the entry points the public header declares.
    std::ifstream header(QUIBUSB_HEADER);
    const std::string text((std::istreambuf_iterator<char>(header)), std::istreambuf_iterator<char>());
    std::set<std::string> declared;
    const std::regex declaration(R"(QUIBUSB_CALL\s+(QuibUSBLib_\w+)\s*\()");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), declaration); it != std::sregex_iterator();
         ++it)
        declared.insert((*it)[1]);
    EXPECT_GE(declared.size(), 27u);  // the header parsed
    EXPECT_EQ(names, declared);
}
#endif

TEST_F(EntryPointTest, ScanFillsEveryFieldAtItsByteOffset) {
    auto list = std::make_unique<USBDevListExp>();
    std::memset(static_cast<void*>(list.get()), 0xA5, sizeof(USBDevListExp));
    ASSERT_EQ(scan(*list), 0);
    const void* base = list.get();
    EXPECT_EQ(at<std::int32_t>(base, kListCount), 3);

    const std::size_t e0 = kDevs;
    EXPECT_EQ(textAt(base, e0 + 0), "1D6B");
    EXPECT_EQ(textAt(base, e0 + 255), "0A1B");
    EXPECT_EQ(textAt(base, e0 + 510), "KRV Corp");
    EXPECT_EQ(textAt(base, e0 + 765), "Bridge E");
    EXPECT_EQ(textAt(base, e0 + 1020), "EXP-SN-0");
    EXPECT_EQ(textAt(base, e0 + 1275), "131112910000");
    EXPECT_EQ(at<std::uint8_t>(base, e0 + 1530), 'E');
    EXPECT_EQ(at<std::uint8_t>(base, e0 + 1531), 5);
    EXPECT_EQ(textAt(base, e0 + 1532), "020c");
    EXPECT_EQ(textAt(base, e0 + 1787), "PLUS");
    EXPECT_EQ(at<std::uint8_t>(base, e0 + 2042), 1);
    EXPECT_EQ(at<std::int32_t>(base, e0 + 2043), -1);
    EXPECT_EQ(at<std::int32_t>(base, e0 + 2047), -1);
    EXPECT_EQ(textAt(base, e0 + 2051), "PCI\\VEN_8086&DEV_15B6&SUBSYS_00000000&REV_02");
    EXPECT_EQ(at<std::uint8_t>(base, e0 + 2306), 5);
    // Texts are terminated inside their field, the rest of the field is cleared.
    EXPECT_EQ(at<std::uint8_t>(base, e0 + 1020 + 254), 0);

    const std::size_t e1 = kDevs + kRecord;
    EXPECT_EQ(textAt(base, e1 + 1020), "EXP-SN-1");
    EXPECT_EQ(at<std::uint8_t>(base, e1 + 1530), 127);
    EXPECT_EQ(at<std::uint8_t>(base, e1 + 1531), 2);
    EXPECT_EQ(textAt(base, e1 + 1787), "HIGH");
    EXPECT_EQ(at<std::uint8_t>(base, e1 + 2042), 2);
    EXPECT_EQ(at<std::uint8_t>(base, e1 + 2306), 2);

    for (std::size_t k = 3; k < 32; ++k) {
        const std::size_t e = kDevs + k * kRecord;
        EXPECT_EQ(at<std::uint8_t>(base, e + 0), 0) << k;
        EXPECT_EQ(at<std::uint8_t>(base, e + 1275), 0) << k;
        EXPECT_EQ(at<std::uint8_t>(base, e + 1530), 0) << k;
        EXPECT_EQ(at<std::uint8_t>(base, e + 1531), 0xFF) << k;
        EXPECT_EQ(at<std::uint8_t>(base, e + 2042), 0x7F) << k;
        EXPECT_EQ(at<std::int32_t>(base, e + 2043), 0) << k;
        EXPECT_EQ(at<std::uint8_t>(base, e + 2051), 0xA5) << k;
        EXPECT_EQ(at<std::uint8_t>(base, e + 2306), 0xFF) << k;
    }
}

json hub(std::uint32_t port, json ports) {
    return {{"port", port}, {"hub", {{"port_count", 4}, {"ports", std::move(ports)}}}};
}
json rootHub(json ports) {
    return {{"hardware_id", "PCI\\VEN_1022&DEV_149C"},
            {"ports", {{"port_count", 4}, {"ports", std::move(ports)}}}};
}

TEST_F(EntryPointTest, ScanOfAMixedTreeExportsEachBridgeOnce) {
    useDescription(
        {{"system_disks", 1},
         {"controllers",
          json::array(
              {rootHub(json::array(
                   {bridge(1, {{"id", "twin1"}, {"serial", "SAME-SN"}}),
                    bridge(2, {{"id", "twin2"}, {"serial", "SAME-SN"}}),
                    hub(3, json::array(
                               {hub(2, json::array({bridge(1, {{"id", "deep"}, {"serial", "DEEP-SN"}})}))})),
                    bridge(4, {{"id", "pcie"}, {"serial", "PCIE-SN"}, {"family", "8500"}})})),
               rootHub(json::array({bridge(1, {{"id", "cd"}, {"serial", "CD-SN"}, {"cdrom", true}})})),
               rootHub(json::array({bridge(1, {{"id", "after"}, {"serial", "AFTER-SN"}})}))})}});
    ASSERT_EQ(SetDllDebugLevel(3), 0);
    auto list = std::make_unique<USBDevListExp>();
    ASSERT_EQ(scan(*list), 0);
    const void* base = list.get();
    // The other family's bridge is left out; nothing is walked after the CD-ROM bridge's controller.
    ASSERT_EQ(at<std::int32_t>(base, kListCount), 4);
    const char* serials[] = {"SAME-SN", "SAME-SN", "DEEP-SN", "CD-SN"};
    std::set<std::uint8_t> disks;
    for (std::size_t k = 0; k < 4; ++k) {
        const std::size_t e = kDevs + k * kRecord;
        EXPECT_EQ(textAt(base, e + 1020), serials[k]) << k;
        EXPECT_EQ(textAt(base, e + 1275), "12042391f000") << k;
        if (k < 3) disks.insert(at<std::uint8_t>(base, e + 2042));
    }
    // The twins got disks of their own.
    EXPECT_EQ(disks, (std::set<std::uint8_t>{1, 2, 3}));
    // The CD-ROM bridge has no disk number.
    EXPECT_EQ(at<std::uint8_t>(base, kDevs + 3 * kRecord + 2042), 0x7F);

    const std::string log = debugLog();
    // Port 1 of the hub on port 2 of the hub on root port 3: 1 + 10 x 2 + 100 x 2.
    EXPECT_NE(log.find("iLocation[221] VID[3F10] PID[7120] SerialNumber[DEEP-SN]"), std::string::npos);
    EXPECT_NE(log.find("is CDROM"), std::string::npos);
    EXPECT_EQ(log.find("SerialNumber[AFTER-SN]"), std::string::npos);
}

TEST_F(EntryPointTest, SeventeenthBridgeIsLeftOut) {
    json controllers = json::array();
    for (int h = 0; h < 5; ++h) {
        json ports = json::array();
        for (int p = 1; p <= 4 && h * 4 + p <= 17; ++p)
            ports.push_back(
                bridge(static_cast<std::uint32_t>(p), {{"serial", "SN-" + std::to_string(h * 4 + p)}}));
        controllers.push_back(rootHub(ports));
    }
    useDescription({{"system_disks", 1}, {"controllers", controllers}});
    ASSERT_EQ(SetDllDebugLevel(2), 0);
    auto list = std::make_unique<USBDevListExp>();
    std::memset(static_cast<void*>(list.get()), 0xA5, sizeof(USBDevListExp));
    ASSERT_EQ(scan(*list), 0);
    const void* base = list.get();
    EXPECT_EQ(at<std::int32_t>(base, kListCount), 16);
    EXPECT_EQ(textAt(base, kDevs + 15 * kRecord + 1020), "SN-16");
    for (std::size_t k = 16; k < 32; ++k) {
        EXPECT_EQ(at<std::uint8_t>(base, kDevs + k * kRecord + 1020), 0) << k;
        EXPECT_EQ(at<std::uint8_t>(base, kDevs + k * kRecord + 2042), 0x7F) << k;
    }
    EXPECT_NE(debugLog().find("device list full (16 entries)"), std::string::npos);
    char text[128] = {};
    EXPECT_EQ(ShowUSBStatus(15, text), 0);
    EXPECT_EQ(ShowUSBStatus(16, text), -10);
}

TEST_F(EntryPointTest, StatusEntryPointsBeforeAndAfterTheScan) {
    char text[128] = "untouched";
    std::uint8_t byte = 0xEE;
    std::int32_t value = 77;
    // No list yet: every device entry point refuses without touching the caller's memory.
    EXPECT_EQ(ShowUSBStatus(0, text), -10);
    EXPECT_EQ(ShowUSBProtocol(0, &byte), -10);
    EXPECT_EQ(DetectCCOrientation(0, &byte), -10);
    EXPECT_EQ(IsKRV630X(0), -10);
    EXPECT_EQ(IsKRVUSBDev(0, 2), -10);
    EXPECT_EQ(GetOTBStatus(0, &value), -10);
    EXPECT_STREQ(text, "untouched");
    EXPECT_EQ(byte, 0xEE);
    EXPECT_EQ(value, 77);

    USBDevListExp list;
    ASSERT_EQ(scan(list), 0);
    ASSERT_EQ(ShowUSBStatus(0, text), 0);
    EXPECT_STREQ(text, "PLUS");
    ASSERT_EQ(ShowUSBStatus(1, text), 0);
    EXPECT_STREQ(text, "HIGH");
    std::strcpy(text, "untouched");
    // An unknown speed value leaves the link text empty, as does a cleared entry.
    EXPECT_EQ(ShowUSBStatus(2, text), -1);
    EXPECT_EQ(ShowUSBStatus(5, text), -1);
    EXPECT_STREQ(text, "untouched");

    ASSERT_EQ(ShowUSBProtocol(0, &byte), 0);
    EXPECT_EQ(byte, 2);
    ASSERT_EQ(ShowUSBProtocol(1, &byte), 0);
    EXPECT_EQ(byte, 3);
    EXPECT_EQ(ShowUSBProtocol(5, &byte), -13);

    ASSERT_EQ(DetectCCOrientation(0, &byte), 0);
    EXPECT_EQ(byte, 5);
    // Device types up to 4 report orientation 0 without reading it.
    ASSERT_EQ(DetectCCOrientation(1, &byte), 0);
    EXPECT_EQ(byte, 4);
    byte = 0xEE;
    EXPECT_EQ(DetectCCOrientation(5, &byte), -3);
    EXPECT_EQ(byte, 0xEE);

    EXPECT_EQ(IsKRV630X(1), 0);
    EXPECT_EQ(IsKRV630X(0), -3);
    EXPECT_EQ(IsKRVUSBDev(0, 5), 0);
    EXPECT_EQ(IsKRVUSBDev(1, 2), 0);
    EXPECT_EQ(IsKRVUSBDev(1, 3), -3);
    EXPECT_EQ(IsKRVUSBDev(0, 4), -3);
    EXPECT_EQ(IsKRVUSBDev(1, 4), -3);

    for (std::uint8_t index : {16, 17, 255}) {
        EXPECT_EQ(ShowUSBStatus(index, text), -10);
        EXPECT_EQ(ShowUSBProtocol(index, &byte), -10);
        EXPECT_EQ(DetectCCOrientation(index, &byte), -10);
        EXPECT_EQ(IsKRV630X(index), -10);
        EXPECT_EQ(IsKRVUSBDev(index, 2), -10);
        EXPECT_EQ(GetOTBStatus(index, &value), -10);
    }

    ASSERT_EQ(CloseDev(), 0);
    EXPECT_EQ(ShowUSBStatus(0, text), -10);
    EXPECT_EQ(DetectCCOrientation(0, &byte), -10);
    EXPECT_EQ(IsKRV630X(1), -10);
    EXPECT_STREQ(text, "untouched");
}

TEST_F(EntryPointTest, CloseDevTwiceSucceedsAndLogsOnce) {
    ASSERT_EQ(SetDllDebugLevel(3), 0);
    USBDevListExp list;
    ASSERT_EQ(scan(list), 0);
    EXPECT_EQ(CloseDev(), 0);
    EXPECT_EQ(CloseDev(), 0);
    const std::string log = debugLog();
    EXPECT_EQ(occurrences(log, "\r\nMSG::QuibUSBLib_CloseDev:"), 1u);
    EXPECT_EQ(occurrences(log, ": g_DevList = NULL"), 1u);
    EXPECT_EQ(occurrences(log, "QuibUSBLib_Function_vScanUSBPort:"), 2u);  // the two record-size lines
}

TEST_F(EntryPointTest, WithoutADebugLevelTheLibraryIsSilent) {
    USBDevListExp list;
    ASSERT_EQ(scan(list), 0);
    EXPECT_EQ(CloseDev(), 0);
    EXPECT_EQ(debugLog().find("MSG::"), std::string::npos);
}

TEST_F(EntryPointTest, RegisterAccessWithAHandleOpenedByAnotherModule) {
    auto backend = quib::platform::makeBenchBackend(m_folder.string());
    auto& storage = backend->platform().storage;
    const auto handle =
        storage.open("\\\\.\\PHYSICALDRIVE1", quib::platform::kAccessRead | quib::platform::kAccessWrite);
    ASSERT_TRUE(quib::platform::isValid(handle));
    std::uint8_t version[7] = {};
    ASSERT_EQ(AccessRegister(reinterpret_cast<QUIB_HANDLE>(handle), 0, 0x07F0, version, 7), 0);
    const std::uint8_t expected[6] = {0x13, 0x11, 0x12, 0x91, 0x00, 0x00};
    EXPECT_EQ(std::memcmp(version, expected, 6), 0);
    EXPECT_EQ(AccessRegister(nullptr, 0, 0x07F0, version, 7), -10);
    EXPECT_EQ(AccessRegister(reinterpret_cast<QUIB_HANDLE>(handle), 0, 0x07F0, version, 300), -10);
    storage.close(handle);
}

TEST_F(EntryPointTest, OnTheGoStatus) {
    std::int32_t status = 0;
    EXPECT_EQ(GetOTBStatus(0, &status), -10);
    USBDevListExp list;
    ASSERT_EQ(scan(list), 0);
    ASSERT_EQ(GetOTBStatus(0, &status), 0);
    EXPECT_EQ(status, 5);
    ASSERT_EQ(GetOTBStatus(1, &status), 0);
    EXPECT_EQ(status, 6);
    // A bridge without the status request does not function for it (system error 31).
    status = 77;
    EXPECT_EQ(GetOTBStatus(2, &status), -10);
    EXPECT_EQ(status, 77);
}

TEST_F(EntryPointTest, OlderScanByDeviceType) {
    USBDevListExp list;
    ASSERT_EQ(OlderScan(&list, 2), 0);
    EXPECT_EQ(list.nDevCount, 1);
    EXPECT_STREQ(list.Devs[0].cSerialNumber, "EXP-SN-1");
    EXPECT_EQ(OlderScan(&list, 6), -4);
    char text[128];
    EXPECT_EQ(ShowUSBStatus(0, text), -10);
}

TEST_F(EntryPointTest, PDEntryPointsRefuseBadArguments) {
    ASSERT_EQ(SetDllDebugLevel(1), 0);
    // Only the library's own object is taken; a foreign pointer is refused, never used.
    EXPECT_EQ(InitialPD(nullptr), -10);
    int foreign = 0;
    EXPECT_EQ(InitialPD(reinterpret_cast<QuibPowerDelivery*>(&foreign)), -10);
    EXPECT_EQ(InitialPD(QUIB_LIBRARY_PD), 0);

    ExchangeData exchange{};
    EXPECT_EQ(ShowPDVersion(0, nullptr), -10);
    EXPECT_EQ(UpdatePDFirmware(0, nullptr), -10);
    EXPECT_EQ(ShowPDVersion(4, &exchange), -10);
    EXPECT_EQ(UpdatePDFirmware(255, &exchange), -10);
    EXPECT_NE(debugLog().find("device index [4] out of range"), std::string::npos);

    // Closing twice is harmless, and the next call works on a fresh object.
    EXPECT_EQ(ClosePD(), 0);
    EXPECT_EQ(ClosePD(), 0);
    EXPECT_EQ(InitialPD(QUIB_LIBRARY_PD), 0);
}

}  // namespace
