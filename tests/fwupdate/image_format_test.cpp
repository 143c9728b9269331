// Image names, programming streams and configuration blocks, byte for byte.
#include <gtest/gtest.h>

#include <cstring>
#include <numeric>

#include "fwupdate/identity_update.h"
#include "fwupdate/image_name.h"
#include "fwupdate/programming_stream.h"

namespace quib::fwupdate {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(ImageName, PlainImageNameDecodes) {
    const ImageNameFields f = decodeImageName("C:\\tools\\131112_91_00_00.bin", false);
    EXPECT_EQ(f.fileName, "131112_91_00_00.bin");
    EXPECT_EQ(f.versionField, "131112910000");
    EXPECT_TRUE(f.bComplete);
    EXPECT_EQ(f.revisionDigit, '9');
    EXPECT_EQ(revisionLetter(f.revisionDigit), "B");
    EXPECT_EQ(signatureOfRevisionDigit(f.revisionDigit), 0x4B);
    EXPECT_EQ(f.packageDigit, '1');
    EXPECT_FALSE(f.packageBit());
    EXPECT_EQ(f.chipType(), "B");
    EXPECT_FALSE(f.bPCIe || f.bPacked || f.bConfigRom);
    EXPECT_EQ(decodeImageName("/opt/tool/131112_91_00_00.bin", false).fileName, "131112_91_00_00.bin");
}

TEST(ImageName, ConfigurationRomNamesOfBothFamilies) {
    const ImageNameFields pcie = decodeImageName("Config_TV_PCIE_131112_91_00_00.rom", true);
    EXPECT_EQ(pcie.versionField, "131112910000");
    EXPECT_TRUE(pcie.bPCIe);
    EXPECT_TRUE(pcie.bConfigRom);
    EXPECT_EQ(pcie.chipType(), "850B");
    const ImageNameFields sata = decodeImageName("Config_131112_91_00_00.rom", true);
    EXPECT_EQ(sata.versionField, "131112910000");
    EXPECT_EQ(sata.chipType(), "B");
    EXPECT_TRUE(decodeImageName("x-VS-131112_51_00_00.bin", false).bPacked);
}

TEST(ImageName, RevisionDigitsAndTheirLettersAndSignatures) {
    const char* letters[] = {"A", "B", "C", "D", "A", "E", "F", "G"};
    const int signatures[] = {0x5A, 0x4B, 0x3C, 0x2D, -1, 0x1E, 0x0F, 0x69};
    for (int d = 0; d < 16; ++d) {
        const char digit = "0123456789ABCDEF"[d];
        EXPECT_EQ(revisionLetter(digit), letters[d & 7]) << digit;
        const auto s = signatureOfRevisionDigit(digit);
        if (signatures[d & 7] < 0)
            EXPECT_FALSE(s) << digit;
        else
            EXPECT_EQ(s, signatures[d & 7]) << digit;
    }
    EXPECT_EQ(revisionLetter('x'), "A");  // not a hex digit: 0
    EXPECT_EQ(revisionLetter('c'), "A");  // lower-case hex counts
    EXPECT_FALSE(signatureOfRevisionDigit('c'));
}

TEST(ImageName, PackageBitIsBitTwoOfTheEighthCharacter) {
    EXPECT_TRUE(decodeImageName("131112_94_00_00.bin", false).packageBit());
    EXPECT_TRUE(decodeImageName("131112_9F_00_00.bin", false).packageBit());
    EXPECT_FALSE(decodeImageName("131112_93_00_00.bin", false).packageBit());
}

TEST(ImageName, ShortNameHasNoCompleteVersionField) {
    const ImageNameFields f = decodeImageName("1311.bin", false);
    EXPECT_FALSE(f.bComplete);
    EXPECT_EQ(f.versionField, "1311.bin");
    EXPECT_FALSE(decodeImageName("", false).bComplete);
    EXPECT_FALSE(decodeImageName("Config_1.rom", true).bComplete);
}

TEST(ProgrammingStream, StreamBuilderTakesItsDigitFromTheNameWithMarkers) {
    EXPECT_EQ(streamRevisionDigit("131112_91_00_00.bin", 0), '9');
    EXPECT_EQ(streamRevisionDigit("TV_PCIE_131112_91_00_00.bin", 1), '9');
    EXPECT_EQ(streamRevisionDigit("131112", 0), '\0');
    EXPECT_EQ(streamSignature('9', 0, "001_B0"), 0x5A);  // the override of the last recorded chip type
    EXPECT_EQ(streamSignature('9', 0, "001_b0"), 0x5A);
    EXPECT_EQ(streamSignature('9', 1, "001_B0"), 0x4B);  // not for a PCIe image
    EXPECT_EQ(streamSignature('9', 0, "001"), 0x4B);
    EXPECT_EQ(streamSignature('C', 0, "001_B0"), 0x5A);
    EXPECT_FALSE(streamSignature('C', 0, "001"));
}

TEST(ProgrammingStream, TheImageBetweenHeaderAndTrailer) {
    Bytes image(60902);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 31 + 7);
    const Bytes stream = buildStream(image, 0x4B, "B");
    ASSERT_EQ(stream.size(), 60910u);
    EXPECT_EQ(stream[0], 0xE6);
    EXPECT_EQ(stream[1], 0xED);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), stream.begin() + 2));
    const std::uint32_t sum = std::accumulate(image.begin(), image.end(), 0u);
    EXPECT_EQ(Bytes(stream.end() - 6, stream.end()),
              (Bytes{0x4B, static_cast<std::uint8_t>(sum), 0, 0, 0, 0}));
}

TEST(ProgrammingStream, LengthHeaderBySizeAndFirstChipType) {
    EXPECT_EQ(lengthHeader(65536, "850B"), (Bytes{0x00, 0x00}));
    EXPECT_EQ(lengthHeader(65535, "B"), (Bytes{0xFF, 0xFF}));
    EXPECT_EQ(lengthHeader(65537, "850B"), (Bytes{0x4C, 0x17, 0x00, 0x01, 0x00, 0x01}));
    EXPECT_EQ(lengthHeader(65537, "850b"), Bytes{});  // the comparison is case-sensitive
    EXPECT_EQ(lengthHeader(65537, "B"), Bytes{});
    EXPECT_EQ(buildStream(Bytes(65537, 1), 0x5A, "B").size(), 65537u + 6);
}

TEST(ConfigurationBlock, ChecksumCoversBytesFourTo126) {
    ConfigBlock block{};
    block.fill(0);
    // Bytes 4..126 summing to 0x1234: 0x12 * 0x100 + 0x34 spread over the record.
    std::uint32_t left = 0x1234 - 0x5A;
    for (std::size_t i = 4; i < 126 && left; ++i) {
        block[i] = static_cast<std::uint8_t>(std::min<std::uint32_t>(left, 0xFF));
        left -= block[i];
    }
    block[0] = block[1] = 0x77;  // outside the sum
    sealConfigBlock(block);
    EXPECT_EQ(block[126], 0x5A);
    EXPECT_EQ(block[127], 0x34);
    EXPECT_TRUE(configBlockValid(block));
    block[10] ^= 1;
    EXPECT_FALSE(configBlockValid(block));
}

TEST(ConfigurationBlock, RecordCopiedVerbatimWithAnEightCharacterSerial) {
    SerialNumberRecord record;
    std::memset(&record, 0xFF, sizeof record);
    std::memcpy(record.cSerialNumber, "SN123456", 8);
    std::memset(record.cManufacturer, 0, sizeof record.cManufacturer);
    std::memcpy(record.cManufacturer, "KRV", 3);
    record.wVendorId = 0x3F10;
    const ConfigBlock block = configBlockOfRecord(record);
    EXPECT_EQ(Bytes(block.begin(), block.begin() + 4), Bytes(4, 0xFF));
    EXPECT_EQ(std::memcmp(block.data() + 4, &record, sizeof record), 0);
    EXPECT_EQ(Bytes(block.begin() + 12, block.begin() + 24), Bytes(12, 0xFF));  // serial bytes 8..19
    EXPECT_EQ(Bytes(block.begin() + 122, block.begin() + 126), Bytes(4, 0xFF));
    std::uint32_t sum = 0;
    for (std::size_t i = 4; i <= 126; ++i) sum += block[i];
    EXPECT_EQ(block[127], static_cast<std::uint8_t>(sum));
    EXPECT_EQ(configRomFileName("131112_91_00_00.bin"), "Config_131112_91_00_00.rom");
}

TEST(ConfigurationMerge, ValidBlockKeepsWhatTheRecordLeavesEmpty) {
    ConfigBlock block;
    block.fill(0x41);
    block[116] = 0x10;
    block[117] = 0x3F;
    sealConfigBlock(block);
    SerialNumberRecord record;
    std::memset(&record, 0, sizeof record);
    std::memcpy(record.cProduct, "New Product", 11);  // offset 64: the group 64..95
    record.wProductId = 0x1234;                       // vendor id 0 keeps the bridge's
    record.wDeviceRelease = 0x0200;                   // a low byte of 0 is still a value
    mergeRecordIntoBlock(block, record);
    EXPECT_EQ(block[4], 0x41);  // serial kept (record byte 0 is 0)
    EXPECT_EQ(std::memcmp(block.data() + 68, "New Product", 11), 0);
    EXPECT_EQ(block[100], 0x41);  // the group at 96 is empty: kept
    EXPECT_EQ(block[116], 0x10);
    EXPECT_EQ(block[117], 0x3F);
    EXPECT_EQ(block[118], 0x34);
    EXPECT_EQ(block[119], 0x12);
    EXPECT_EQ(block[120], 0x00);
    EXPECT_EQ(block[121], 0x02);
    EXPECT_TRUE(configBlockValid(block));
}

TEST(ConfigurationMerge, InvalidBlockIsMadeFromTheRecordAlone) {
    ConfigBlock block;
    block.fill(0x41);  // byte 126 is not 0x5A
    SerialNumberRecord record;
    std::memset(&record, 0, sizeof record);
    std::memcpy(record.cSerialNumber, "S1", 2);
    mergeRecordIntoBlock(block, record);
    EXPECT_EQ(Bytes(block.begin(), block.begin() + 4), Bytes(4, 0xFF));
    EXPECT_EQ(block[4], 'S');
    EXPECT_EQ(block[30], 0x00);  // copied although empty
    EXPECT_EQ(Bytes(block.begin() + 122, block.begin() + 126), (Bytes{0xCF, 0xFF, 0x02, 0xFF}));
    EXPECT_TRUE(configBlockValid(block));
}

TEST(ConfigurationUpdate, OnlyACompleteShortStreamIsWrittenBack) {
    Bytes image(1000, 3);
    Bytes stream = buildStream(image, 0x5A, "B");
    stream.resize(65408, 0xFF);
    EXPECT_EQ(shortStreamLength(stream, 65408), 1008u);
    Bytes damaged = stream;
    damaged[500] ^= 1;  // checksum no longer matches
    EXPECT_FALSE(shortStreamLength(damaged, 65408));
    EXPECT_FALSE(shortStreamLength(Bytes(65408, 0xFF), 65408));  // erased: n 65535 runs past the end
    EXPECT_EQ(shortStreamLength(buildStream(Bytes(65400, 1), 0x5A, "B"), 65408), 65408u);
    EXPECT_FALSE(shortStreamLength(buildStream(Bytes(65401, 1), 0x5A, "B"), 65408));
}

}  // namespace
}  // namespace quib::fwupdate
