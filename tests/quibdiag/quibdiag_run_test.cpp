// quibdiag as a process over a bench with one SATA (7120) bridge and one PCIe (8500) bridge: what it prints
// for scripts, and what the bench holds after the commands that change something.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "bench/bridge/bridge_chip.h"
#include "tests/quibdiag/diag_runner.h"

namespace quibdiag_test {
namespace {

using nlohmann::json;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint64_t kHiddenSectors = 8;  // the SATA bridge reports its drive this much smaller

json mixedBench() {
    json sata = {
        {"id", "sata"},
        {"serial", "SN-SATA"},
        {"family", "7120"},
        {"device_type", 1},
        {"registers", {{"0xCA34", "0x20"}}},
        {"volume_letter", "E"},
        {"drive",
         {{"kind", "sata"},
          {"read_mib_per_s", 400},
          {"write_mib_per_s", 200},
          {"serial", "ATA-SERIAL"},
          {"model", "Bench SATA"},
          {"firmware", "F1"},
          {"sectors", 1000000},
          {"hidden_sectors", kHiddenSectors},
          {"smart",
           {{"attributes",
             {{{"id", 5}, {"flags", 0x33}, {"value", 100}, {"worst", 99}, {"threshold", 36}, {"raw", 12}},
              {{"id", 194}, {"flags", 0x22}, {"value", 113}, {"worst", 98}, {"raw", 37}}}},
            {"self_tests",
             {{{"type", "extended"},
               {"status", "read_failure"},
               {"remaining", 30},
               {"hours", 1200},
               {"lba", 123456}},
              {{"type", "short"}, {"status", "completed"}, {"hours", 1100}}}},
            {"errors", {{{"hours", 1190}, {"command", 0x25}, {"lba", 4096}, {"error", 0x40}}}}}}}}};
    json pcie = {{"id", "pcie"},
                 {"serial", "SN-PCIE"},
                 {"family", "8500"},
                 {"device_type", 7},
                 {"registers", {{"0xB4AE", "0x24"}}},
                 {"drive",
                  {{"kind", "nvme"},
                   {"serial", "NVME-SERIAL"},
                   {"model", "Bench NVMe"},
                   {"firmware", "N1.0"},
                   {"sectors", 2000000}}}};
    return {{"system_disks", 1},
            {"controllers",
             {{{"ports",
                {{"port_count", 4},
                 {"ports", {{{"port", 1}, {"bridge", sata}}, {{"port", 2}, {"bridge", pcie}}}}}}}}}};
}

Bytes pattern(std::size_t size, std::uint8_t seed) {
    Bytes b(size);
    for (std::size_t i = 0; i < size; ++i) b[i] = static_cast<std::uint8_t>(seed + i * 7);
    return b;
}

class QuibdiagRunTest : public ::testing::Test {
  protected:
    DiagBench m_bench{mixedBench()};

    DiagRun ok(std::vector<std::string> arguments) {
        arguments.push_back("--json");
        DiagRun r = m_bench.run(arguments);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return r;
    }
    std::uint8_t reg(const std::string& chip, std::uint16_t address) {
        std::uint8_t value = 0;
        m_bench.open()->withChip(chip, [&](bench::BridgeChip& c) { value = c.registerByte(address); });
        return value;
    }
    Bytes memory(const std::string& chip, bench::BridgeChip::Memory which) {
        Bytes bytes;
        m_bench.open()->withChip(chip, [&](bench::BridgeChip& c) { bytes = c.memory(which); });
        return bytes;
    }
};

TEST_F(QuibdiagRunTest, ListNumbersSataBridgesFirst) {
    const json list = ok({"list"}).json().at("bridges");
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0]["index"], 0);
    EXPECT_EQ(list[0]["family"], "7120");
    EXPECT_EQ(list[0]["serial"], "SN-SATA");
    EXPECT_EQ(list[0]["chip_type"], "B");
    EXPECT_EQ(list[0]["disk"], 1);
    EXPECT_EQ(list[0]["usb_speed"], 2);
    EXPECT_EQ(list[1]["family"], "8500");
    EXPECT_EQ(list[1]["serial"], "SN-PCIE");
    EXPECT_EQ(list[1]["chip_type"], "850B");
}

TEST_F(QuibdiagRunTest, GpioWriteDrivesOnlyThatPin) {
    const json r = ok({"gpio", "write", "-b", "0", "--pin", "2", "--level", "1"}).json();
    EXPECT_EQ(r["pin"], 2);
    EXPECT_EQ(reg("sata", 0xCA22), 0);  // made a GPIO
    EXPECT_EQ(reg("sata", 0xCA30), 0x04);
    EXPECT_EQ(reg("sata", 0xCA32), 0x04);
    EXPECT_EQ(reg("pcie", 0xCA30), 0x00);
    ok({"gpio", "write", "-b", "0", "--pin", "7", "--level", "1"});
    EXPECT_EQ(reg("sata", 0xCA30), 0x84);
    EXPECT_EQ(reg("sata", 0xCA32), 0x84);
}

TEST_F(QuibdiagRunTest, GpioReadGivesThePinsInputLevel) {
    EXPECT_EQ(ok({"gpio", "read", "-b", "0", "--pin", "5"}).json()["level"], 1);
    EXPECT_EQ(ok({"gpio", "read", "-b", "0", "--pin", "4"}).json()["level"], 0);
    EXPECT_EQ(reg("sata", 0xCA30) & 0x30, 0);  // both made inputs
}

TEST_F(QuibdiagRunTest, PowerOffSwitchesTheDriveAndStateSeesIt) {
    ok({"power", "off", "-b", "0"});
    EXPECT_EQ(reg("sata", 0xCA84) & 1, 1);
    EXPECT_EQ(reg("sata", 0xCA85) & 1, 0);
    EXPECT_EQ(ok({"power", "state", "-b", "0"}).json()["drive_answers"], false);
    ok({"power", "on", "-b", "0"});
    EXPECT_EQ(reg("sata", 0xCA85) & 1, 1);
    const json state = ok({"power", "state", "-b", "0"}).json();
    EXPECT_EQ(state["drive_answers"], true);
    EXPECT_EQ(state["sectors"], 1000000 - kHiddenSectors);
}

TEST_F(QuibdiagRunTest, EepromWriteThenDumpRoundTrips) {
    const Bytes written = pattern(300, 0x11);
    m_bench.writeFile("eeprom.bin", written);
    ok({"eeprom", "write", "-b", "0", "--in", m_bench.path("eeprom.bin")});
    const Bytes held = memory("sata", bench::BridgeChip::kOemEeprom);
    ASSERT_GE(held.size(), written.size());
    EXPECT_TRUE(std::equal(written.begin(), written.end(), held.begin()));
    ok({"eeprom", "dump", "-b", "0", "--length", "300", "--out", m_bench.path("dump.bin")});
    EXPECT_EQ(m_bench.readFile("dump.bin"), written);
}

TEST_F(QuibdiagRunTest, VendorWriteCarriesTheFileToTheDrive) {
    const Bytes sector = pattern(512, 0x40);
    m_bench.writeFile("sector.bin", sector);
    // The 7120's WRITE DMA EXT wrapper: LBA 5, one sector.
    ok({"vendor", "write", "-b", "0", "--cdb", "e6 00 00 00 35 00 05 00 00 40 00 00 00 00 01 00", "--in",
        m_bench.path("sector.bin")});
    std::optional<Bytes> stored;
    m_bench.open()->withChip("sata", [&](bench::BridgeChip& c) { stored = c.driveSector(5); });
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(*stored, sector);
}

TEST_F(QuibdiagRunTest, VendorReadShowsTheAnswer) {
    const json r = ok({"vendor", "read", "-b", "0", "--cdb", "9e 10 00 00 00 00 00 00 00 00 00 00 00 20",
                       "--length", "32"})
                       .json();
    EXPECT_EQ(r["cdb"], "9e100000000000000000000000200000");
    EXPECT_EQ(r["data"].get<std::string>().substr(0, 24),
              "00000000000f423700000200");  // last LBA 999991, 512 bytes
}

TEST_F(QuibdiagRunTest, PcieLinkIsReadAndSet) {
    json r = ok({"speed", "get", "-b", "1"}).json();
    EXPECT_EQ(r["pcie_generation"], 1);
    EXPECT_EQ(r["pcie_width"], 2);
    ok({"speed", "set-pcie", "-b", "1", "--gen", "3", "--width", "1"});
    EXPECT_EQ(reg("pcie", 0xB4AE), 0x31);
    r = ok({"speed", "get", "-b", "1"}).json();
    EXPECT_EQ(r["pcie_link"], "Gen3 x1");
}

TEST_F(QuibdiagRunTest, NvmeIdentifyAndHealthAreDecoded) {
    const json controller = ok({"nvme", "identify", "-b", "1"}).json()["controller"];
    EXPECT_EQ(controller["model"], "Bench NVMe");
    EXPECT_EQ(controller["serial"], "NVME-SERIAL");
    EXPECT_EQ(controller["firmware"], "N1.0");
    const json ns = ok({"nvme", "identify", "-b", "1", "--namespace"}).json()["namespace"];
    EXPECT_EQ(ns["size_blocks"], 2000000);
    EXPECT_EQ(ns["size_bytes"], 2000000ull * 512);
    const json health = ok({"nvme", "log", "-b", "1", "--page", "2"}).json()["decoded"];
    EXPECT_EQ(health["temperature_celsius"], 35);
    EXPECT_EQ(health["power_on_hours"], 1234);
    EXPECT_EQ(health["unsafe_shutdowns"], 7);
    EXPECT_EQ(health["percentage_used"], 3);
}

TEST_F(QuibdiagRunTest, NvmePacketReadRunsTheEntryAndSavesTheData) {
    // Identify (0x06) of the controller (CNS 1), command identifier 0x1234.
    std::string entry = "06 00 34 12";
    for (int i = 4; i < 64; ++i) entry += i == 40 ? " 01" : " 00";
    m_bench.writeText("identify.hex", entry + "\n");
    const json r = ok({"nvme", "packet", "read", "-b", "1", "--entry", m_bench.path("identify.hex"),
                       "--length", "4096", "--out", m_bench.path("identify.bin")})
                       .json();
    EXPECT_EQ(r["command_id"], 0x1234);
    const Bytes data = m_bench.readFile("identify.bin");
    ASSERT_EQ(data.size(), 4096u);
    EXPECT_EQ(std::string(data.begin() + 24, data.begin() + 34), "Bench NVMe");
    const auto cdbs = m_bench.tracedCdbs();
    ASSERT_GE(cdbs.size(), 3u);
    EXPECT_EQ(cdbs[cdbs.size() - 3].substr(0, 6), "ea5a80");
    EXPECT_EQ(cdbs[cdbs.size() - 2].substr(0, 6), "eb5a81");
    EXPECT_EQ(cdbs[cdbs.size() - 1].substr(0, 6), "eb5a82");
}

// The speed test on bridge 0's volume E: (400 MiB/s reading, 200 writing: reported 300): it passes at the
// speeds the drive gives and fails above them; the drive holds what it held before either way.
TEST_F(QuibdiagRunTest, RwtestSpeedPassesAtTheDrivesSpeedsAndLeavesItsContents) {
    const json passed = ok({"rwtest", "speed", "-b", "0", "--read-min", "400", "--write-min", "300"}).json();
    EXPECT_EQ(passed["volume"], "E:");
    EXPECT_EQ(passed["passed"], true);
    const DiagRun failed = m_bench.run({"rwtest", "speed", "-b", "0", "--write-min", "301", "--json"});
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_NE(failed.err.find("speed test of E: failed"), std::string::npos) << failed.err;
    std::size_t writes = 0;
    for (const std::string& cdb : m_bench.tracedCdbs()) writes += cdb.rfind("2a", 0) == 0;
    EXPECT_EQ(writes, 8u + 3 * 8u);  // one place for the pass, three for the failure; four writes per pass
    const auto bench = m_bench.open();
    for (const std::uint64_t place : {0x41000ull, 0xF000ull, 0x28000ull})
        EXPECT_EQ(bench->driveBytes("sata", (1ull << 20) + place * 512, 262144), Bytes(262144, 0));
}

// Formatting bridge 0's drive: the volume comes back at the letter given, as FAT32 with the label; then
// the file test copies the reference file onto it and compares.
TEST_F(QuibdiagRunTest, FormatGivesTheDriveOneVolumeAndTheFileTestUsesIt) {
    const json formatted =
        ok({"format", "-b", "0", "--fs", "FAT32", "--letter", "F", "--label", "QDIAG"}).json();
    EXPECT_EQ(formatted["volume"], "F:");
    EXPECT_EQ(formatted["file_system"], "fat32");
    EXPECT_EQ(formatted["table"], "mbr");
    const auto bench = m_bench.open();
    std::uint32_t error = 0;
    const auto facts = bench->volumeFacts("F:\\", error);
    ASSERT_TRUE(facts) << error;
    EXPECT_EQ(facts->fileSystem, "FAT32");
    EXPECT_EQ(facts->label, "QDIAG");
    EXPECT_FALSE(std::filesystem::exists(m_bench.path("DiskPartTarget1.sc")));

    m_bench.writeFile("rwtestbin.txt", pattern(70000, 3));
    const json tested = ok({"rwtest", "file", "-b", "0", "--count", "2"}).json();
    EXPECT_EQ(tested["volume"], "F:");
    EXPECT_EQ(tested["rounds"], 2);
    std::uint32_t readError = 0;
    EXPECT_EQ(m_bench.open()->readVolumeFile("F:\\rwtestbin.txt", readError), pattern(70000, 3));
}

TEST_F(QuibdiagRunTest, IdentifyDecodesTheDrivesAnswer) {
    const json id = ok({"identify", "-b", "0"}).json()["identify"];
    EXPECT_EQ(id["model"], "Bench SATA");
    EXPECT_EQ(id["serial"], "ATA-SERIAL");
    EXPECT_EQ(id["firmware"], "F1");
    EXPECT_EQ(id["sectors"], 1000000);
    EXPECT_EQ(id["capacity_bytes"], 512000000);
    EXPECT_EQ(id["logical_sector_size"], 512);
    EXPECT_EQ(id["smart_supported"], true);
    EXPECT_EQ(id["checksum_valid"], true);
}

TEST_F(QuibdiagRunTest, LastSectorWriteOfTheWrongSizeSendsNothingToTheDrive) {
    m_bench.writeFile("sector4k.bin", pattern(4096, 1));
    const DiagRun r = m_bench.run({"last-sector", "write", "-b", "0", "--in", m_bench.path("sector4k.bin")});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("the bridge's sectors are 512"), std::string::npos) << r.err;
    for (const std::string& cdb : m_bench.tracedCdbs()) EXPECT_NE(cdb.substr(0, 2), "85") << cdb;
}

TEST_F(QuibdiagRunTest, LastSectorWriteThenReadRoundTrips) {
    const Bytes sector = pattern(512, 0x5A);
    m_bench.writeFile("sector.bin", sector);
    const json written = ok({"last-sector", "write", "-b", "0", "--in", m_bench.path("sector.bin")}).json();
    EXPECT_EQ(written["lba"], 1000000 - kHiddenSectors);
    std::optional<Bytes> stored;
    m_bench.open()->withChip("sata",
                             [&](bench::BridgeChip& c) { stored = c.driveSector(1000000 - kHiddenSectors); });
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(*stored, sector);
    ok({"last-sector", "read", "-b", "0", "--out", m_bench.path("back.bin")});
    EXPECT_EQ(m_bench.readFile("back.bin"), sector);
}

TEST_F(QuibdiagRunTest, SmartAttributesAreDecoded) {
    const json smart = ok({"smart", "-b", "0"}).json()["smart"];
    EXPECT_EQ(smart["checksum_valid"], true);
    EXPECT_EQ(smart["thresholds_available"], false);
    const json& a = smart["attributes"];
    ASSERT_EQ(a.size(), 2u);
    EXPECT_EQ(a[0]["id"], 5);
    EXPECT_EQ(a[0]["name"], "Reallocated_Sector_Ct");
    EXPECT_EQ(a[0]["prefailure"], true);
    EXPECT_EQ(a[0]["value"], 100);
    EXPECT_EQ(a[0]["worst"], 99);
    EXPECT_EQ(a[0]["raw"], 12);
    EXPECT_EQ(a[1]["name"], "Temperature_Celsius");
    EXPECT_EQ(a[1]["prefailure"], false);
    EXPECT_EQ(a[1]["raw"], 37);
}

TEST_F(QuibdiagRunTest, SmartLogsAreDecoded) {
    const json tests = ok({"log", "read", "-b", "0", "--address", "6"}).json()["decoded"];
    EXPECT_EQ(tests["kind"], "self_test_log");
    EXPECT_EQ(tests["checksum_valid"], true);
    ASSERT_EQ(tests["entries"].size(), 2u);
    EXPECT_EQ(tests["entries"][0]["test_name"], "extended off-line");
    EXPECT_EQ(tests["entries"][0]["result"], "read failure");
    EXPECT_EQ(tests["entries"][0]["remaining_percent"], 30);
    EXPECT_EQ(tests["entries"][0]["failing_lba"], 123456);
    EXPECT_EQ(tests["entries"][1]["lifetime_hours"], 1100);
    const json errors = ok({"log", "read", "-b", "0", "--address", "1"}).json()["decoded"];
    EXPECT_EQ(errors["error_count"], 1);
    ASSERT_EQ(errors["entries"].size(), 1u);
    EXPECT_EQ(errors["entries"][0]["command_name"], "READ DMA EXT");
    EXPECT_EQ(errors["entries"][0]["lba"], 4096);
    EXPECT_EQ(errors["entries"][0]["lifetime_hours"], 1190);
    const json directory = ok({"log", "read", "-b", "0", "--address", "0"}).json()["decoded"];
    std::set<int> addresses;
    for (const json& log : directory["logs"]) addresses.insert(log["address"].get<int>());
    EXPECT_TRUE(addresses.count(0x01) && addresses.count(0x06) && addresses.count(0x80)) << directory.dump();
}

TEST_F(QuibdiagRunTest, SmartLogWriteLandsInTheHostLog) {
    const Bytes page = pattern(512, 0x21);
    m_bench.writeFile("page.bin", page);
    ok({"log", "write", "-b", "0", "--address", "0x81", "--in", m_bench.path("page.bin")});
    const Bytes held = memory("sata", bench::BridgeChip::kSmartHostLogs);
    constexpr std::size_t kLogBytes = 16 * 512;  // each host log holds 16 sectors
    ASSERT_GE(held.size(), 2 * kLogBytes);
    EXPECT_TRUE(std::equal(page.begin(), page.end(), held.begin() + kLogBytes));
    ok({"log", "read", "-b", "0", "--address", "0x81", "--out", m_bench.path("back.bin")});
    EXPECT_EQ(m_bench.readFile("back.bin"), page);
}

// Refusals: the plain one-line message, the exit code, and what reached the bench.
struct Refusal {
    const char* name;
    std::vector<std::string> arguments;
    int exitCode;
    const char* message;
    bool scans;  // the refusal needs the bridge list; otherwise nothing at all is sent
};

class QuibdiagRefusalTest : public QuibdiagRunTest, public ::testing::WithParamInterface<Refusal> {
  protected:
    void SetUp() override {
        m_bench.writeFile("big.bin", Bytes(65537, 0xAB));
        m_bench.writeFile("short.bin", Bytes(511, 0));
        m_bench.writeFile("binary-entry.bin", Bytes(64, 0x06));
        m_bench.writeFile("odd.bin", Bytes(1000, 0));
        std::string entry;
        for (int i = 0; i < 64; ++i) entry += "00 ";
        m_bench.writeText("entry.hex", entry);
    }
};

TEST_P(QuibdiagRefusalTest, RefusedWithoutTouchingTheDevice) {
    const Refusal& c = GetParam();
    std::vector<std::string> arguments;
    for (const std::string& a : c.arguments)
        arguments.push_back(a.rfind("@", 0) == 0 ? m_bench.path(a.substr(1)) : a);
    const DiagRun r = m_bench.run(arguments);
    EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    const auto cdbs = m_bench.tracedCdbs();
    if (!c.scans) {
        EXPECT_TRUE(cdbs.empty());
        return;
    }
    // A scan reads; nothing that writes or reaches the drive may follow a refusal.
    const std::set<std::string> changing = {"e1", "e3", "e5", "e6", "e8", "ea", "eb", "ec", "ef", "c3", "85"};
    for (const std::string& cdb : cdbs) EXPECT_EQ(changing.count(cdb.substr(0, 2)), 0u) << cdb;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, QuibdiagRefusalTest,
    ::testing::Values(
        Refusal{"unknown_command", {"frobnicate"}, 2, "quibdiag:", false},
        Refusal{"bridge_missing", {"uart"}, 2, "--bridge", false},
        Refusal{"pin_out_of_range",
                {"gpio", "write", "-b", "0", "--pin", "8", "--level", "1"},
                2,
                "--pin",
                false},
        Refusal{"eeprom_file_too_big",
                {"eeprom", "write", "-b", "0", "--in", "@big.bin"},
                2,
                "65537 bytes",
                false},
        Refusal{"eeprom_file_missing",
                {"eeprom", "write", "-b", "0", "--in", "@none.bin"},
                4,
                "no such file",
                false},
        Refusal{"entry_binary",
                {"nvme", "packet", "none", "-b", "1", "--entry", "@binary-entry.bin"},
                2,
                "not a hex text file",
                false},
        Refusal{"packet_length_odd",
                {"nvme", "packet", "write", "-b", "1", "--entry", "@entry.hex", "--in", "@odd.bin"},
                2,
                "multiple of 512",
                false},
        Refusal{"cdb_too_long",
                {"vendor", "read", "-b", "0", "--cdb", "00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f 10",
                 "--length", "0"},
                2,
                "17 bytes",
                false},
        Refusal{"usb_mode_out_of_range", {"speed", "set-usb", "-b", "0", "--mode", "7"}, 2, "--mode", false},
        Refusal{"no_such_bridge", {"power", "off", "-b", "2"}, 3, "no bridge 2: 2 found", true},
        Refusal{
            "nvme_on_sata_bridge", {"nvme", "log", "-b", "0", "--page", "2"}, 2, "need an 8500 bridge", true},
        Refusal{"rwtest_without_volume", {"rwtest", "speed", "-b", "1"}, 1, "has no volume", true},
        Refusal{"format_unknown_file_system",
                {"format", "-b", "0", "--fs", "fat16", "--letter", "F"},
                2,
                "expected fat32, exfat or ntfs",
                false},
        Refusal{"format_onto_drive_c",
                {"format", "-b", "0", "--fs", "ntfs", "--letter", "C"},
                2,
                "not a letter a bridge's volume takes",
                false},
        Refusal{"pcie_link_on_sata_bridge",
                {"speed", "set-pcie", "-b", "0", "--gen", "1", "--width", "1"},
                2,
                "8500 bridges",
                true}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    DriveCases, QuibdiagRefusalTest,
    ::testing::Values(Refusal{"log_file_short",
                              {"log", "write", "-b", "0", "--address", "0x80", "--in", "@short.bin"},
                              2,
                              "exactly 512",
                              false},
                      Refusal{"log_address_not_host",
                              {"log", "write", "-b", "0", "--address", "0x06", "--in", "@short.bin"},
                              2,
                              "--address",
                              false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quibdiag_test
