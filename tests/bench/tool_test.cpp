// quibbench: the demo bench it creates by default, images, and the command line itself.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "bench/bridge/firmware_image.h"
#include "bench_test_support.h"
#include "tools/bench_report.h"
#include "tools/demo_bench.h"

namespace bench::testing {
namespace {

std::vector<std::uint8_t> readBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

TEST(DemoBench, DefaultsGiveOneTypeBBridgeRunning12042391F000AtSuperSpeedOverUas) {
    auto b = Bench::fromJson(tool::describeBench({}));
    const Target t = disk(*b, 1);
    EXPECT_EQ(send(*b, t, inquiry38()).data[36], 0x20);
    EXPECT_EQ(send(*b, t, registerRead(0xC8FF, 1)).data[0], 0x12);  // member 1 ("B"), MSignature 2
    EXPECT_EQ(send(*b, t, registerRead(0x07F0, 6)).data,
              (std::vector<std::uint8_t>{0x12, 0x04, 0x23, 0x91, 0xF0, 0x00}));
    EXPECT_EQ(send(*b, t, registerRead(0x9002, 1)).data[0], 2);
    EXPECT_EQ(send(*b, t, registerRead(0x90E5, 1)).data[0], 0);
    EXPECT_EQ(send(*b, t, registerRead(0x9000, 1)).data[0], 0x80);
    EXPECT_EQ(b->interfaces(kHostControllerInterfaceGuid).size(), 1u);
    EXPECT_EQ(b->diskNumbersPresent(), (std::vector<int>{0, 1}));
    std::uint32_t error = 0;
    EXPECT_TRUE(b->volumeNameForMountPoint("C:\\", error));
    const auto d = b->volumeNameForMountPoint("D:\\", error);
    ASSERT_TRUE(d);
    EXPECT_EQ((*b->diskExtents(openPath(*b, "\\\\.\\D:"), error))[0].diskNumber, 1u);
}

TEST(DemoBench, ChoicesReachTheBridges) {
    tool::BenchChoices c;
    c.bridges = 3;
    c.family = "8500";
    c.link = "plus";
    c.lanes = 2;
    c.uas = false;
    auto b = Bench::fromJson(tool::describeBench(c));
    ASSERT_EQ(b->description().bridges.size(), 3u);
    EXPECT_EQ(b->description().bridges[2].deviceType, 7);
    EXPECT_EQ(send(*b, disk(*b, 3), registerRead(0x92B8, 1)).data[0], 0x14);
    EXPECT_EQ(send(*b, disk(*b, 3), registerRead(0x9000, 1)).data[0], 0x00);
    c.deviceType = 3;  // not an 8500 type
    EXPECT_THROW(tool::describeBench(c), BenchError);
}

TEST(DemoBench, ReportNamesChipTypeVersionAndNumbers) {
    auto b = Bench::fromJson(tool::describeBench({}));
    send(*b, disk(*b, 1), inquiry38());
    b->messageBox("Firmware updated", "Information", 0x40);
    const std::string report = tool::describeState(*b);
    EXPECT_NE(report.find("bridge bridge0 (7120): disk 1, running 12042391F000, chip type B (device type 1, "
                          "MSignature 2), SUPER, UAS"),
              std::string::npos)
        << report;
    EXPECT_NE(report.find("trace records: 1"), std::string::npos);
    EXPECT_NE(report.find("[Information] Firmware updated -> 1"), std::string::npos);
    const std::string trace = tool::describeTrace(b->trace());
    EXPECT_NE(trace.find("120000002600000000000000  in 38 t/o 3s"), std::string::npos) << trace;
}

TEST(QuibbenchTool, CreatesTheDemoBenchFolderAndShowsIt) {
    TempFolder folder;
    const auto benchFolder = folder.path() / "demo";
    ASSERT_EQ(runTool("create \"" + benchFolder.string() + "\"", folder.path() / "out.txt"), 0)
        << readText(folder.path() / "out.txt");
    auto b = Bench::openFolder(benchFolder);
    EXPECT_EQ(b->bridgeStatus("bridge0").runningVersion, "12042391F000");
    EXPECT_EQ(b->bridgeStatus("bridge0").diskNumber, 1);
    ASSERT_EQ(runTool("show \"" + benchFolder.string() + "\"", folder.path() / "show.txt"), 0);
    EXPECT_NE(readText(folder.path() / "show.txt").find("chip type B"), std::string::npos);
    EXPECT_NE(runTool("show \"" + (folder.path() / "none").string() + "\"", folder.path() / "err.txt"), 0);
    EXPECT_NE(readText(folder.path() / "err.txt").find("bench.json: missing"), std::string::npos);
}

TEST(QuibbenchTool, ShowsTheStateAsJsonForScripts) {
    TempFolder folder;
    const auto benchFolder = folder.path() / "demo";
    ASSERT_EQ(runTool("create \"" + benchFolder.string() + "\" --bridges 2", folder.path() / "out.txt"), 0);
    {
        auto b = Bench::openFolder(benchFolder);
        b->sleepMs(5);
        b->withChip("bridge1", [](BridgeChip& chip) { chip.boot(true); });
    }
    ASSERT_EQ(runTool("show --json \"" + benchFolder.string() + "\"", folder.path() / "show.json"), 0);
    const auto state = nlohmann::json::parse(readText(folder.path() / "show.json"));
    EXPECT_EQ(state["clock_ms"], 5);
    ASSERT_EQ(state["bridges"].size(), 2u);
    EXPECT_EQ(state["bridges"][0]["id"], "bridge0");
    EXPECT_EQ(state["bridges"][0]["on_bus"], true);
    EXPECT_EQ(state["bridges"][0]["disk_number"], 1);
    EXPECT_EQ(state["bridges"][0]["running_version"], "12042391F000");
    EXPECT_EQ(state["bridges"][0]["restarts"], 0);
    EXPECT_EQ(state["bridges"][1]["rom_code"], true);
    EXPECT_EQ(state["bridges"][1]["running_version"], "");
}

TEST(QuibbenchTool, CreatesFromADescriptionFile) {
    TempFolder folder;
    std::ofstream(folder.path() / "d.json")
        << benchWithBridges({{{"id", "mine"}, {"family", "8500"}}}).dump();
    ASSERT_EQ(runTool("create \"" + (folder.path() / "b").string() + "\" --from \"" +
                          (folder.path() / "d.json").string() + "\"",
                      folder.path() / "out.txt"),
              0);
    EXPECT_EQ(Bench::openFolder(folder.path() / "b")->bridgeStatus("mine").diskNumber, 1);
}

TEST(QuibbenchTool, WritesTheSampleImage) {
    TempFolder folder;
    const auto file = folder.path() / "131112_91_00_00.bin";
    ASSERT_EQ(runTool("image --version 131112910000 --size 60902 --out \"" + file.string() + "\"",
                      folder.path() / "out.txt"),
              0);
    const auto bytes = readBytes(file);
    EXPECT_EQ(bytes.size(), 60902u);
    EXPECT_EQ(versionOfImage(bytes), "131112910000");
    EXPECT_EQ(bytes, makeImage("131112910000", 60902));
    EXPECT_NE(runTool("image --version 1311 --size 60902 --out \"" + file.string() + "\"",
                      folder.path() / "err.txt"),
              0);
}

TEST(QuibbenchTool, WritesStreamsAndConfigurationRomFiles) {
    TempFolder folder;
    const auto stream = folder.path() / "E-VS-131112_51_00_00.bin";
    ASSERT_EQ(runTool("image --version 131112510000 --size 70000 --kind stream --long-header --out \"" +
                          stream.string() + "\"",
                      folder.path() / "out.txt"),
              0);
    const auto packed = readBytes(stream);
    EXPECT_EQ(packed, buildStream(makeImage("131112510000", 70000), 0x1E, true));
    const auto boot = findBootableImage(packed);
    ASSERT_TRUE(boot);
    EXPECT_EQ(boot->imageOffset, 6u);

    const auto rom = folder.path() / "Config_131112_91_00_00.rom";
    ASSERT_EQ(
        runTool("image --version 131112910000 --size 1000 --kind config-rom --serial SN42 --manufacturer M "
                "--product P --vid 0x1234 --pid 0x5678 --out \"" +
                    rom.string() + "\"",
                folder.path() / "out.txt"),
        0);
    const auto bytes = readBytes(rom);
    ASSERT_EQ(bytes.size(), 128u + 1008u);
    EXPECT_EQ(std::string(bytes.begin() + 4, bytes.begin() + 8), "SN42");
    EXPECT_EQ(bytes[8], 0xFF);
    EXPECT_EQ(bytes[24], 'M');
    EXPECT_EQ(bytes[116], 0x34);
    EXPECT_EQ(bytes[119], 0x56);
    EXPECT_EQ(bytes[126], 0x5A);
    std::uint32_t sum = 0;
    for (std::size_t i = 4; i <= 126; ++i) sum += bytes[i];
    EXPECT_EQ(bytes[127], static_cast<std::uint8_t>(sum));
    EXPECT_TRUE(findBootableImage(std::span(bytes).subspan(128)));
    // Revision digit C has no signature: refused.
    EXPECT_NE(runTool("image --version 131112C00000 --size 1000 --kind stream --out \"" + rom.string() + "\"",
                      folder.path() / "err.txt"),
              0);
}

}  // namespace
}  // namespace bench::testing
