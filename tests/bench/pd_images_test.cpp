// The PD and MCU image writers and the tool's subcommands for the PD side.
#include "bench/pd/pd_images.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

#include "bench/hex_text.h"
#include "pd_test_support.h"

namespace bench::testing {
namespace {

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        const auto end = text.find("\r\n", at);
        if (end == std::string::npos) {
            lines.push_back(text.substr(at) + "<no CRLF>");
            break;
        }
        lines.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    return lines;
}

// The sum of a record's bytes, its checksum included: 0 for a correct one.
std::uint8_t recordSum(const std::string& hexDigits) {
    std::uint8_t sum = 0;
    const auto bytes = parseHexBytes(hexDigits).value();
    for (auto b : bytes) sum = static_cast<std::uint8_t>(sum + b);
    return sum;
}

std::size_t longestRun(const std::vector<std::uint8_t>& bytes) {
    std::size_t longest = 0, run = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        run = i > 0 && bytes[i] == bytes[i - 1] ? run + 1 : 1;
        longest = std::max(longest, run);
    }
    return longest;
}

TEST(PdImages, RichTekImageCarriesItsVersionAt4097And4096) {
    const auto image = richTekImage("abcd");
    ASSERT_EQ(image.size(), 16384u);
    EXPECT_EQ(image[4097], 0xAB);
    EXPECT_EQ(image[4096], 0xCD);
    EXPECT_LE(longestRun(image), 2u);
    EXPECT_GT(std::set<std::uint8_t>(image.begin(), image.end()).size(), 200u);
    EXPECT_EQ(richTekImage("ABCD"), image);
    EXPECT_EQ(richTekImage("abce")[4096], 0xCE);
    EXPECT_THROW(richTekImage("abc"), BenchError);
    EXPECT_THROW(richTekImage("abcg"), BenchError);
}

TEST(PdImages, CyacdLinesChecksumsAndTheVersionCharacters) {
    struct Case {
        int kind, mode;
        std::string header;
        std::size_t first, rowSize, offset;
    };
    for (const Case& c :
         {Case{2, 1, "140411A40000", 0x24, 128, 567}, Case{4, 1, "1D0311AD0000", 0x200, 128, 488},
          Case{4, 2, "1D0411AD0000", 0x30, 128, 488}, Case{5, 1, "1F0111AF0000", 0x109, 256, 473},
          Case{5, 2, "1F0111AF0000", 0x14, 256, 473}}) {
        CyacdSpec layout;
        layout.pdKind = c.kind;
        layout.deviceMode = c.mode;
        layout.arrayId = 0x01;
        layout.version = "0f1e2d3c4b5a6978";
        const std::string text = cyacdText(layout);
        EXPECT_EQ(text.substr(c.offset, 16), "0F1E2D3C4B5A6978") << c.kind << "/" << c.mode;
        const auto lines = linesOf(text);
        ASSERT_EQ(lines.size(), 5u);
        EXPECT_EQ(lines[0], c.header);
        for (std::size_t i = 0; i < 4; ++i) {
            const std::string& line = lines[i + 1];
            ASSERT_EQ(line.size(), 1 + 2 + 4 + 4 + 2 * c.rowSize + 2);
            EXPECT_EQ(line[0], ':');
            EXPECT_EQ(line.substr(1, 2), "01");
            EXPECT_EQ(line.substr(3, 4), hexNumber(c.first + i, 4));
            EXPECT_EQ(line.substr(7, 4), hexNumber(c.rowSize, 4));
            EXPECT_EQ(line, toUpper(line));
            EXPECT_EQ(recordSum(line.substr(1)), 0) << line.substr(0, 12);
            EXPECT_EQ(*parseHexBytes(line.substr(11, 2 * c.rowSize)), cyacdRowData(layout, i));
        }
        EXPECT_NE(cyacdRowData(layout, 0), cyacdRowData(layout, 2));
    }
}

TEST(PdImages, CyacdChoicesAndRefusals) {
    CyacdSpec layout;
    layout.deviceMode = 2;
    layout.firstRow = 0x2F;
    layout.rows = 3;
    layout.header = "1D0411AD00FF";
    const auto lines = linesOf(cyacdText(layout));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "1D0411AD00FF");
    EXPECT_EQ(lines[1].substr(3, 4), "002F");
    EXPECT_EQ(cyacdRowData(layout, 2)[96], 0x01);  // row 0x31 holds the version
    layout.rows = 2;                               // 0x2F, 0x30: not the version row
    EXPECT_THROW(cyacdText(layout), BenchError);
    layout.version = "";
    EXPECT_NO_THROW(cyacdText(layout));
    layout.firstRow = 0x3FF;
    EXPECT_THROW(cyacdText(layout), BenchError);  // beyond the last row
    layout = {};
    layout.pdKind = 3;
    EXPECT_THROW(cyacdText(layout), BenchError);
    layout = {};
    layout.version = "0102";
    EXPECT_THROW(cyacdText(layout), BenchError);
}

TEST(PdImages, McuHexRecords) {
    McuHexSpec layout;
    const auto lines = linesOf(mcuHexText(layout));
    const auto data = mcuImageBytes(layout);
    ASSERT_EQ(data.size(), 30u);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], ":020000040800F2");
    EXPECT_EQ(lines[1].substr(0, 9), ":10000000");
    EXPECT_EQ(lines[2].substr(0, 9), ":0E001000");
    EXPECT_EQ(lines[3], ":00000001FF");
    std::vector<std::uint8_t> carried;
    for (std::size_t i = 1; i <= 2; ++i) {
        EXPECT_EQ(recordSum(lines[i].substr(1)), 0);
        const auto record = *parseHexBytes(lines[i].substr(9, lines[i].size() - 11));
        carried.insert(carried.end(), record.begin(), record.end());
    }
    EXPECT_EQ(carried, data);

    layout.bytes = 24;
    layout.recordLength = 8;
    layout.upperAddress = 0x0801;
    layout.endRecord = false;
    layout.seed = 2;
    const auto other = linesOf(mcuHexText(layout));
    ASSERT_EQ(other.size(), 4u);
    EXPECT_EQ(other[0], ":020000040801F1");
    EXPECT_EQ(other[3].substr(0, 9), ":08001000");
    EXPECT_NE(mcuImageBytes(layout), std::vector<std::uint8_t>(data.begin(), data.begin() + 24));
    layout.recordLength = 0;
    EXPECT_THROW(mcuHexText(layout), BenchError);
}

TEST(QuibbenchPd, WritesPdAndMcuImages) {
    TempFolder folder;
    const auto out = folder.path() / "out.txt";
    const auto bin = folder.path() / "f.bin";
    ASSERT_EQ(runTool("image --kind richtek --version 1234 --out \"" + bin.string() + "\"", out), 0)
        << readText(out);
    const auto text = readText(bin);
    EXPECT_EQ(std::vector<std::uint8_t>(text.begin(), text.end()), richTekImage("1234"));

    const auto cyacd = folder.path() / "f.cyacd";
    ASSERT_EQ(runTool("image --kind cyacd --pd-kind 4 --mode 2 --first-row 0x30 --rows 4 --version "
                      "0102030405060708 --out \"" +
                          cyacd.string() + "\"",
                      out),
              0)
        << readText(out);
    CyacdSpec layout;
    layout.deviceMode = 2;
    layout.firstRow = 0x30;
    EXPECT_EQ(readText(cyacd), cyacdText(layout));

    const auto hex = folder.path() / "f.hex";
    ASSERT_EQ(runTool("image --kind mcu-hex --size 40 --out \"" + hex.string() + "\"", out), 0)
        << readText(out);
    McuHexSpec mcu;
    mcu.bytes = 40;
    EXPECT_EQ(readText(hex), mcuHexText(mcu));

    EXPECT_NE(runTool("image --kind richtek --out \"" + bin.string() + "\"", out), 0);
    EXPECT_NE(runTool("image --kind cyacd --pd-kind 3 --out \"" + cyacd.string() + "\"", out), 0);
}

TEST(QuibbenchPd, PowerCyclesABridgeAndShowsItsPdSide) {
    TempFolder folder;
    const auto benchFolder = folder.path() / "b";
    Bench::createFolder(
        benchFolder,
        benchWithBridges({{{"id", "b0"}, {"pd", {{"kind", 5}, {"device_mode", 2}, {"mcu", true}}}}}));
    const auto out = folder.path() / "out.txt";
    ASSERT_EQ(runTool("show \"" + benchFolder.string() + "\"", out), 0);
    EXPECT_NE(
        readText(out).find("PD controller: kind 5 (CCG4), device mode 2, running 1100000000000001, MCU, "
                           "power cycles 0"),
        std::string::npos)
        << readText(out);
    ASSERT_EQ(runTool("power-cycle \"" + benchFolder.string() + "\" b0", out), 0) << readText(out);
    EXPECT_NE(readText(out).find("restarting"), std::string::npos) << readText(out);
    auto b = Bench::openFolder(benchFolder);
    b->sleepMs(2000);
    EXPECT_EQ(snapshotPd(*b).powerCycles(), 1u);
    EXPECT_NE(runTool("power-cycle \"" + benchFolder.string() + "\" nobody", out), 0);
}

}  // namespace
}  // namespace bench::testing
