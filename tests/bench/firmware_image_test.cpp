// Bench images carry their version; streams boot when length, signature and checksum are valid.
#include "bench/bridge/firmware_image.h"

#include <gtest/gtest.h>

#include "bench/bench_error.h"

namespace bench {
namespace {

TEST(FirmwareImage, CarriesItsVersionAtTheTagAndIsDeterministic) {
    const auto image = makeImage("131112910000", 60902);
    ASSERT_EQ(image.size(), 60902u);
    EXPECT_EQ(versionOfImage(image), "131112910000");
    EXPECT_EQ(std::string(image.begin() + kVersionTagOffset, image.begin() + kVersionTagOffset + 8),
              "QBFWVER=");
    EXPECT_EQ(image[kVersionTagOffset + 8], 0x13);
    EXPECT_EQ(image[kVersionTagOffset + 11], 0x91);
    EXPECT_EQ(makeImage("131112910000", 60902), image);
    const auto other = makeImage("12042391F000", 60902);
    EXPECT_EQ(versionOfImage(other), "12042391F000");
    EXPECT_NE(std::vector<std::uint8_t>(other.begin(), other.begin() + 200),
              std::vector<std::uint8_t>(image.begin(), image.begin() + 200));
}

TEST(FirmwareImage, SmallImagesCarryTheTagAtTheStart) {
    const auto image = makeImage("0102030405AB", kMinimumImageSize);
    EXPECT_EQ(versionOfImage(image), "0102030405AB");
    EXPECT_THROW(makeImage("0102030405AB", kMinimumImageSize - 1), BenchError);
    EXPECT_THROW(makeImage("01020304", 1000), BenchError);
    EXPECT_THROW(makeImage("01020304050G", 1000), BenchError);
}

TEST(FirmwareImage, ImageWithoutTagHasNoVersion) {
    EXPECT_FALSE(versionOfImage(std::vector<std::uint8_t>(1000, 0x41)));
    // A tag cut off by the end of the image does not count.
    std::vector<std::uint8_t> cut = {'Q', 'B', 'F', 'W', 'V', 'E', 'R', '=', 1, 2};
    EXPECT_FALSE(versionOfImage(cut));
}

TEST(FirmwareImage, SignatureBytesFollowTheRevisionDigit) {
    EXPECT_EQ(signatureForRevisionDigit('9'), 0x4B);
    EXPECT_EQ(signatureForRevisionDigit('8'), 0x5A);
    EXPECT_EQ(signatureForRevisionDigit('7'), 0x69);
    EXPECT_EQ(signatureForRevisionDigit('C'), 0x00);
    EXPECT_EQ(signatureForRevisionDigit('F'), 0x69);
}

TEST(ProgrammingStream, ShortImageGetsTwoByteLengthAndBoots) {
    const auto image = makeImage("131112910000", 60902);
    const auto stream = buildStream(image, 0x4B, false);
    ASSERT_EQ(stream.size(), 60910u);
    EXPECT_EQ(stream[0], 0xE6);
    EXPECT_EQ(stream[1], 0xED);
    const auto boot = findBootableImage(stream);
    ASSERT_TRUE(boot);
    EXPECT_EQ(boot->imageOffset, 2u);
    EXPECT_EQ(boot->imageLength, 60902u);
    EXPECT_EQ(boot->signature, 0x4B);
}

TEST(ProgrammingStream, LengthHeaderOfExactly65536IsZero) {
    const auto image = makeImage("131112910000", 65536);
    const auto stream = buildStream(image, 0x5A, false);
    EXPECT_EQ(stream[0], 0);
    EXPECT_EQ(stream[1], 0);
    ASSERT_TRUE(findBootableImage(stream));
    EXPECT_EQ(findBootableImage(stream)->imageLength, 65536u);
}

TEST(ProgrammingStream, LongImagesBootWithAndWithoutHeader) {
    const auto image = makeImage("131112910000", 65537);
    const auto withHeader = buildStream(image, 0x5A, true);
    EXPECT_EQ(std::vector<std::uint8_t>(withHeader.begin(), withHeader.begin() + 6),
              (std::vector<std::uint8_t>{0x4C, 0x17, 0x00, 0x01, 0x00, 0x01}));
    ASSERT_TRUE(findBootableImage(withHeader));
    EXPECT_EQ(findBootableImage(withHeader)->imageOffset, 6u);
    const auto bare = buildStream(image, 0x5A, false);
    EXPECT_EQ(bare.size(), 65537u + 6);
    ASSERT_TRUE(findBootableImage(bare));
    EXPECT_EQ(findBootableImage(bare)->imageOffset, 0u);
}

TEST(ProgrammingStream, BadSignatureChecksumOrTruncationDoesNotBoot) {
    const auto image = makeImage("131112910000", 4000);
    auto stream = buildStream(image, 0x4B, false);
    ASSERT_TRUE(findBootableImage(stream));

    auto badSignature = stream;
    badSignature[2 + 4000] = 0x00;
    EXPECT_FALSE(findBootableImage(badSignature));

    auto badChecksum = stream;
    badChecksum[2 + 4000 + 1] ^= 1;
    EXPECT_FALSE(findBootableImage(badChecksum));

    auto flippedImageByte = stream;
    flippedImageByte[100] ^= 0x10;
    EXPECT_FALSE(findBootableImage(flippedImageByte));

    EXPECT_FALSE(findBootableImage(std::vector<std::uint8_t>(stream.begin(), stream.begin() + 3000)));
    EXPECT_FALSE(findBootableImage({}));
}

}  // namespace
}  // namespace bench
