// A bench folder keeps its state between runs and between modules sharing it.
#include <gtest/gtest.h>

#include <fstream>

#include "bench/bridge/firmware_image.h"
#include "bench_test_support.h"

namespace bench::testing {
namespace {

std::string refusalOf(const std::filesystem::path& folder) {
    try {
        Bench::openFolder(folder);
    } catch (const BenchError& e) {
        return e.what();
    }
    return "";
}

void writeText(const std::filesystem::path& file, const std::string& text) {
    std::ofstream(file) << text;
}

TEST(BenchFolder, MissingMalformedOrWronglyTypedDescriptionIsRefusedNamingTheFile) {
    TempFolder folder;
    const std::string file = (folder.path() / "bench.json").string();
    EXPECT_EQ(refusalOf(folder.path()), file + ": missing or unreadable (not a bench folder)");

    writeText(folder.path() / "bench.json", "{\"controllers\": [");
    const std::string malformed = refusalOf(folder.path());
    EXPECT_EQ(malformed.rfind(file + ": malformed JSON: ", 0), 0u) << malformed;

    writeText(folder.path() / "bench.json",
              R"({"controllers": [{"ports": [{"port": 1, "bridge": {"device_type": "B"}}]}]})");
    EXPECT_EQ(refusalOf(folder.path()),
              file + ": controllers[0].ports[0].bridge.device_type: expected an integer, found a text");
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "state.json"));
}

TEST(BenchFolder, StateSurvivesReopening) {
    TempFolder folder;
    {
        auto b =
            Bench::createFolder(folder.path(), benchWithBridges({{{"id", "b0"}, {"restart_delay_ms", 500}}}));
        const Target t = disk(*b, 1);
        send(*b, t, registerWrite(0xCA03, 0x42));
        writeStreamInPieces(*b, t, 1, std::vector<std::uint8_t>(70000, 0x33));
        b->writeRegistry("SOFTWARE\\Quib", "Stamp", RegistryEntry{1, {'x', 0, 0, 0}});
        send(*b, t, cpuReset());
        b->sleepMs(700);
    }
    auto b = Bench::openFolder(folder.path());
    EXPECT_EQ(b->nowMs(), 700u);
    const auto status = b->bridgeStatus("b0");
    EXPECT_EQ(status.diskNumber, 2);
    EXPECT_EQ(status.restarts, 1u);
    const Target t = disk(*b, 2);
    EXPECT_EQ(send(*b, t, registerRead(0xCA03, 1)).data[0], 0x42);
    b->withChip("b0", [](BridgeChip& chip) {
        EXPECT_EQ(chip.firmwareBank(1), std::vector<std::uint8_t>(70000, 0x33));
    });
    ASSERT_TRUE(b->readRegistry("software\\quib", "STAMP"));
    EXPECT_EQ(b->readRegistry("software\\quib", "STAMP")->data[0], 'x');
    EXPECT_EQ(b->traceAll().size(), 5u);  // write, two stream pieces and the reset, then the read above
}

TEST(BenchFolder, TwoBenchObjectsOverOneFolderAlwaysSeeTheLatestState) {
    TempFolder folder;
    nlohmann::json json = benchWithBridges({{{"id", "b0"}, {"restart_delay_ms", 1000}}});
    json["message_box_answers"] = {7, 2};
    Bench::createFolder(folder.path(), json);
    auto program = Bench::openFolder(folder.path());
    auto library = Bench::openFolder(folder.path());

    send(*program, disk(*program, 1), registerWrite(0xCA02, 1));
    EXPECT_EQ(send(*library, disk(*library, 1), registerRead(0xCA02, 1)).data[0], 1);

    EXPECT_EQ(library->messageBox("first", "Question", 0x24), 7);
    EXPECT_EQ(program->messageBox("second", "Question", 0x24), 2);
    EXPECT_EQ(library->messageBox("third", "Error", 0x10), 1);  // script used up: OK
    const auto boxes = program->messageBoxes();
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[1].text, "second");
    EXPECT_EQ(boxes[2].answer, 1);

    send(*library, disk(*library, 1), cpuReset());
    std::uint32_t error = 0;
    EXPECT_FALSE(program->open("\\\\.\\PHYSICALDRIVE1", error));
    program->sleepMs(400);
    library->sleepMs(600);
    EXPECT_EQ(program->nowMs(), 1000u);
    EXPECT_EQ(program->bridgeStatus("b0").diskNumber, 2);
    EXPECT_EQ(send(*program, disk(*program, 2), registerRead(0xCA02, 1)).data[0], 1);
    EXPECT_EQ(program->readRegistry(kDiskEnumKey, "Count")->data[0], 2);

    // Both modules' commands are in the one trace file.
    EXPECT_EQ(program->traceAll().size(), 4u);
    EXPECT_EQ(program->trace().size(), 2u);
}

TEST(BenchFolder, ReadingLeavesTheFolderAlone) {
    TempFolder folder;
    auto b = Bench::createFolder(folder.path(), benchWithBridges({nlohmann::json::object()}));
    const Target t = disk(*b, 1);
    const std::string generation = readText(folder.path() / "generation");
    send(*b, t, registerRead(0x07F0, 7));
    send(*b, t, inquiry38());
    b->bridgeStatus();
    EXPECT_EQ(readText(folder.path() / "generation"), generation);
    const auto firmwareFile = folder.path() / "chips" / "bridge0" / "firmware0.bin";
    const auto stamp = std::filesystem::last_write_time(firmwareFile);
    send(*b, t, registerWrite(0xCA02, 9));
    EXPECT_NE(readText(folder.path() / "generation"), generation);
    EXPECT_EQ(std::filesystem::last_write_time(firmwareFile), stamp);  // only dirty memories are rewritten
}

TEST(BenchFolder, AnEditedDescriptionStartsTheBenchAfresh) {
    TempFolder folder;
    {
        auto b = Bench::createFolder(folder.path(), benchWithBridges({nlohmann::json::object()}));
        b->sleepMs(5000);
    }
    writeText(folder.path() / "bench.json", benchWithBridges({{{"link", "high"}}}).dump());
    auto b = Bench::openFolder(folder.path());
    EXPECT_EQ(b->nowMs(), 0u);
    EXPECT_EQ(send(*b, disk(*b, 1), registerRead(0x9002, 1)).data[0], 1);
}

TEST(BenchFolder, DebugOutputIsAppendedLineByLine) {
    TempFolder folder;
    auto b = Bench::createFolder(folder.path(), benchWithBridges({}));
    b->debugOutput("\r\nMSG::one");
    b->debugOutput("\r\nERR::two\n");
    EXPECT_EQ(readText(folder.path() / "debug.log"), "\r\nMSG::one\n\r\nERR::two\n");
}

}  // namespace
}  // namespace bench::testing
