// The .cyacd and Intel HEX parsers on their own: what they fill in, and every malformed line refused with
// its line number before anything could reach a controller.
#include <gtest/gtest.h>

#include "bench/pd/pd_images.h"
#include "pdupdate/image_tables.h"

namespace {

using namespace quib::pdupdate;

std::string rowLine(std::uint8_t arrayId, std::uint16_t row, std::size_t length, std::uint8_t fill) {
    return bench::cyacdRowLine(arrayId, row, std::vector<std::uint8_t>(length, fill));
}

int parse(const std::string& text, CypressImage& image, ParseFault& fault, std::size_t rowSize = 128) {
    return parseCyacd(text, rowSize, image, fault);
}

TEST(CyacdParser, HeaderSlotAndRows) {
    const bench::CyacdSpec spec{.pdKind = 4, .deviceMode = 2};
    CypressImage image;
    ParseFault fault;
    ASSERT_EQ(parse(bench::cyacdText(spec), image, fault), 0);
    EXPECT_EQ(image.header.dwSliconID, 0x1D0411ADu);
    EXPECT_EQ(image.rows.size(), 1 + spec.rows);
    EXPECT_EQ(image.rows[0].ucArrayID, 0xFF);
    EXPECT_EQ(image.rows[0].wRowNum, 0);
    EXPECT_EQ(image.rows[1].wRowNum, 0x30);
    EXPECT_EQ(image.rows[2].data, bench::cyacdRowData(spec, 1));
    EXPECT_EQ(image.record(99).ucArrayID, 0xFF);
    EXPECT_EQ(image.record(99).wRowNum, 0xFFFF);

    ASSERT_EQ(parse("1D0311AD0000\n" + rowLine(0, 0x10, 128, 1) + "\n\n" + rowLine(0x40, 0x24, 128, 2), image,
                    fault),
              0);
    EXPECT_EQ(image.rows.size(), 3u);  // the empty line takes no record
    EXPECT_EQ(image.rows[2].wRowNum, 0x24);
}

TEST(CyacdParser, ChecksumDifferenceIsOnlyAWarning) {
    CypressImage image;
    ParseFault fault;
    std::string line = rowLine(0, 0x200, 128, 7);
    line.back() = line.back() == '0' ? '1' : '0';
    ASSERT_EQ(parse("1D0311AD0000\r\n" + line + "\r\n", image, fault), 0);
    EXPECT_EQ(image.rows[1].data[127], 7);
    EXPECT_NE(image.rows[1].ucChkSum, 0);
}

TEST(CyacdParser, MalformedFilesAreRefusedWithTheirLine) {
    const std::string header = "1D0311AD0000\r\n";
    const std::string good = rowLine(0, 0x200, 128, 3);
    struct Case {
        std::string text;
        std::size_t line;
        const char* what;
    };
    const Case cases[] = {
        {header + good.substr(0, 268), 2, "too short (268)"},
        {header + good + "\r\n" + good.substr(0, good.size() - 1), 3, "too short"},
        {header + rowLine(0, 0x201, 130, 3), 2, "longer than its record"},
        {header + good.substr(0, 150) + "0" + good.substr(150), 2, "beyond the row's data"},
        {header + rowLine(0, 0x201, 140, 3).substr(0, 275), 2, "longer than its record"},
        {good, 1, "no header line"},
        {"", 0, "no header line"},
        {"1D03\r\n", 1, "header line too short"},
        {header + good + "\r\n" + header, 3, "header line after"},
        {header + rowLine(0, 0x201, 128, 3) + "\r\n" + rowLine(0, 0x200, 128, 3), 3,
         "not above the previous"},
        {header + good + "\r\n" + good, 3, "not above the previous"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CypressImage image;
        ParseFault fault;
        EXPECT_EQ(parse(c.text, image, fault), -10);
        EXPECT_EQ(fault.line, c.line);
        EXPECT_NE(fault.what.find(c.what), std::string::npos) << fault.what;
    }
    // 256-byte rows need the larger table; a row shorter than its record is kept, filled up with 0xFF.
    CypressImage image;
    ParseFault fault;
    ASSERT_EQ(parse(header + rowLine(0, 0x14, 128, 9), image, fault, 256), 0);
    EXPECT_EQ(image.rows[1].data.size(), 256u);
    EXPECT_EQ(image.rows[1].data[128], 0xFF);
}

TEST(CyacdParser, NoMoreLinesThanTheTableHolds) {
    std::string text = "1D0311AD0000\n";
    const std::string row = rowLine(0, 0, 128, 0).substr(11);  // data and checksum of row 0
    text.reserve(66000u * 272);
    char head[16];
    for (unsigned r = 1; r <= 65535; ++r) {
        std::snprintf(head, sizeof head, ":00%04X0080", r);
        text += head;
        text += row;  // checksums differ: warnings only
        text += '\n';
    }
    CypressImage image;
    ParseFault fault;
    EXPECT_EQ(parse(text, image, fault), -10);
    EXPECT_EQ(fault.line, 65536u);
    EXPECT_EQ(image.rows.size(), 65535u);
}

// ---- Intel HEX --------------------------------------------------------------------------------------------

constexpr const char* kLinear0800 = ":020000040800F2\n";

TEST(IntelHexParser, FlattenedImageWithUpperAddress) {
    const bench::McuHexSpec spec{.bytes = 40, .recordLength = 16};
    McuImage image;
    ParseFault fault;
    ASSERT_EQ(parseIntelHex(bench::mcuHexText(spec), image, fault), 0);
    const FlatMcuImage flat = flattenMcuImage(image);
    EXPECT_EQ(flat.upperAddress, 0x0800);
    EXPECT_EQ(flat.end, 40u);
    const auto bytes = bench::mcuImageBytes(spec);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), flat.bytes.begin()));
    EXPECT_EQ(flat.bytes.size(), kMcuImageSize);
    EXPECT_EQ(image.records.size(), 5u);  // address, three data records, end

    // Other lines are ignored; extended address records count wherever they stand: the segment 0x6FF0
    // (address 0x6FF00) and offset 0x0110 make image offset 0x10 of the image at 0x70000.
    ASSERT_EQ(parseIntelHex("junk\n:020000040007F3\n:0400000001020304F2\n:020000026FF09D\n"
                            ":0401100005060708D1\n:00000001FF\n",
                            image, fault),
              0);
    const FlatMcuImage placed = flattenMcuImage(image);
    EXPECT_EQ(placed.upperAddress, 0x0007);
    EXPECT_EQ(placed.end, 0x14u);
    EXPECT_EQ(placed.bytes[3], 4);
    EXPECT_EQ(placed.bytes[0x10], 5);
    EXPECT_EQ(placed.bytes[0x13], 8);
    EXPECT_EQ(image.records[3].dwImageOffset, 0x10u);
}

TEST(IntelHexParser, MalformedOrUselessFilesAreRefusedWithTheirLine) {
    const std::string linear = kLinear0800;
    struct Case {
        std::string text;
        std::size_t line;
        const char* what;
    };
    const Case cases[] = {
        {linear + ":0400100001020304E2\n", 2, "no end-of-file record"},
        {linear + ":0400100001020304\n:00000001FF\n", 2, "data bytes missing"},
        {linear + ":0400100001020304E\n:00000001FF\n", 2, "data bytes missing"},
        {linear + ":0400100001020304E2AA\n:00000001FF\n", 2, "beyond the record's length"},
        {linear + ":04BFFE0001020304E2\n:00000001FF\n", 2, "data at 0x800BFFE outside the 48 KiB image"},
        {linear + ":00000001FF\n:0400100001020304E2\n", 3, "after the end record"},
        {":0400\n", 1, "record too short"},
        // The read-back takes its upper address from the first record.
        {":0400100001020304E2\n:00000001FF\n", 1, "the first record is not an extended linear address"},
        {":0400000401020304EE\n:00000001FF\n", 1, "the first record is not an extended linear address"},
        {linear + ":0100000402F9\n", 2, "without its 2 address bytes"},
        // A second segment, or a segment address, moves data out of the image.
        {linear + ":0400000001020304F2\n:020000040801F1\n:0400000001020304F2\n:00000001FF\n", 4,
         "data at 0x8010000 outside the 48 KiB image at 0x8000000"},
        {linear + ":020000021000EC\n:0400000001020304F2\n:00000001FF\n", 3, "data at 0x10000 outside"},
        {linear + ":10FFF80000000000000000000000000000000000F9\n:00000001FF\n", 2,
         "past the end of its 64 KiB"},
        // Two records writing one byte: the earlier one would never read back as written.
        {linear + ":0400000001020304F2\n:0100030009F3\n:00000001FF\n", 3,
         "data at 0x8000003 overlaps an earlier record's"},
        // Programming ends with the last data record: data above it would not be written.
        {linear + ":0400100001020304E2\n:0400000001020304F2\n:00000001FF\n", 3,
         "ends the image at offset 0x4, below data of an earlier record"},
        {linear + ":00000001FF\n", 2, "no data record"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        McuImage image;
        ParseFault fault;
        EXPECT_EQ(parseIntelHex(c.text, image, fault), -10);
        EXPECT_EQ(fault.line, c.line);
        EXPECT_NE(fault.what.find(c.what), std::string::npos) << fault.what;
    }
    std::string many;
    for (int i = 0; i < 4097; ++i) many += kLinear0800;
    McuImage image;
    ParseFault fault;
    EXPECT_EQ(parseIntelHex(many, image, fault), -10);
    EXPECT_EQ(fault.line, 4097u);
}

}  // namespace
