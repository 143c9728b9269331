// The probe's PNG files: the checksums against their published check values, and a small picture whose
// every byte can be followed.
#include <gtest/gtest.h>

#include <string_view>

#include "tools/uiprobe/png_writer.h"

namespace quib::uiprobe {
namespace {

std::span<const std::uint8_t> bytesOf(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::uint32_t bigEndianAt(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return (std::uint32_t{bytes[at]} << 24) | (std::uint32_t{bytes[at + 1]} << 16) |
           (std::uint32_t{bytes[at + 2]} << 8) | bytes[at + 3];
}

struct ChecksumCase {
    const char* name;
    std::string input;
    std::uint32_t crc, adler;
};

const ChecksumCase kChecksums[] = {
    {"CheckString", "123456789", 0xCBF43926, 0x091E01DE},
    {"Wikipedia", "Wikipedia", 0xADAAC02E, 0x11E60398},
    {"IendChunkType", "IEND", 0xAE426082, 0x02D70121},
    {"Empty", "", 0x00000000, 0x00000001},
    // Long enough for both adler sums to wrap their modulus.
    {"HundredThousandFF", std::string(100000, '\xFF'), 0x68C6CEC4, 0x149A302C},
};

class PngChecksums : public ::testing::TestWithParam<ChecksumCase> {};

TEST_P(PngChecksums, MatchTheirCheckValues) {
    EXPECT_EQ(crc32(bytesOf(GetParam().input)), GetParam().crc);
    EXPECT_EQ(adler32(bytesOf(GetParam().input)), GetParam().adler);
}

INSTANTIATE_TEST_SUITE_P(Values, PngChecksums, ::testing::ValuesIn(kChecksums),
                         [](const auto& info) { return std::string(info.param.name); });

class PngEncoding : public ::testing::Test {};

TEST_F(PngEncoding, TwoByOnePictureIsLaidOutByteForByte) {
    const Picture picture{2, 1, {0x00FF8000, 0x000102FE}};
    const std::vector<std::uint8_t> png = encodePng(picture);
    const std::vector<std::uint8_t> raw{0, 0xFF, 0x80, 0x00, 0x01, 0x02, 0xFE};  // filter byte, RGB, RGB
    std::vector<std::uint8_t> expected{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    auto chunk = [&](std::string_view type, std::vector<std::uint8_t> data) {
        for (int s = 24; s >= 0; s -= 8) expected.push_back(static_cast<std::uint8_t>(data.size() >> s));
        std::vector<std::uint8_t> body(type.begin(), type.end());
        body.insert(body.end(), data.begin(), data.end());
        expected.insert(expected.end(), body.begin(), body.end());
        const std::uint32_t crc = crc32(body);
        for (int s = 24; s >= 0; s -= 8) expected.push_back(static_cast<std::uint8_t>(crc >> s));
    };
    chunk("IHDR", {0, 0, 0, 2, 0, 0, 0, 1, 8, 2, 0, 0, 0});
    std::vector<std::uint8_t> zlib{0x78, 0x01, 0x01, 7, 0, 0xF8, 0xFF};
    zlib.insert(zlib.end(), raw.begin(), raw.end());
    const std::uint32_t adler = adler32(raw);
    for (int s = 24; s >= 0; s -= 8) zlib.push_back(static_cast<std::uint8_t>(adler >> s));
    chunk("IDAT", zlib);
    chunk("IEND", {});
    EXPECT_EQ(png, expected);
}

TEST_F(PngEncoding, LargePictureIsSplitIntoStoredBlocksOfAtMost65535Bytes) {
    // 200 x 200 RGB rows: 200 * 601 = 120200 bytes, two blocks.
    Picture picture{200, 200, std::vector<std::uint32_t>(200 * 200, 0x00123456)};
    const std::vector<std::uint8_t> png = encodePng(picture);
    const std::size_t idat = 8 + 25;  // signature, IHDR chunk
    ASSERT_EQ(std::string(png.begin() + idat + 4, png.begin() + idat + 8), "IDAT");
    const std::size_t blocks = idat + 8 + 2;
    EXPECT_EQ(png[blocks], 0);  // not the last
    EXPECT_EQ(png[blocks + 1] | (png[blocks + 2] << 8), 65535);
    const std::size_t second = blocks + 5 + 65535;
    EXPECT_EQ(png[second], 1);  // the last
    EXPECT_EQ(png[second + 1] | (png[second + 2] << 8), 120200 - 65535);
    EXPECT_EQ(bigEndianAt(png, idat), 2u + 5 + 65535 + 5 + (120200 - 65535) + 4);
    EXPECT_EQ(std::string(png.end() - 8, png.end() - 4), "IEND");
}

}  // namespace
}  // namespace quib::uiprobe
