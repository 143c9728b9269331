// The decoders of quibdiag on byte tables laid out as drives send them.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tools/quibdiag/ata_identify.h"
#include "tools/quibdiag/hex_text.h"
#include "tools/quibdiag/nvme_identify.h"
#include "tools/quibdiag/nvme_logs.h"
#include "tools/quibdiag/smart_data.h"
#include "tools/quibdiag/smart_logs.h"
#include "tools/quibdiag/submission_entry.h"

namespace quibdiag {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A 512- or 4096-byte block filled field by field.
struct Block {
    explicit Block(std::size_t size = 512) : bytes(size, 0) {}
    Block& le(std::size_t offset, std::uint64_t value, int count) {
        for (int i = 0; i < count; ++i)
            bytes[offset + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
        return *this;
    }
    Block& word(std::size_t w, std::uint16_t value) { return le(w * 2, value, 2); }
    Block& text(std::size_t offset, const std::string& t) {
        for (std::size_t i = 0; i < t.size(); ++i) bytes[offset + i] = static_cast<std::uint8_t>(t[i]);
        return *this;
    }
    // Makes the 8-bit sum of the 512 bytes zero through the last byte.
    Block& checksum() {
        std::uint8_t sum = 0;
        for (std::size_t i = 0; i < 511; ++i) sum = static_cast<std::uint8_t>(sum + bytes[i]);
        bytes[511] = static_cast<std::uint8_t>(-sum);
        return *this;
    }
    Bytes bytes;
};

struct IdentifyCase {
    const char* name;
    std::uint16_t w83, w106;
    std::uint32_t w117;
    std::uint64_t lba28, lba48;
    std::uint64_t sectors;
    std::uint32_t logical, physical;
};

class AtaIdentifyTest : public ::testing::TestWithParam<IdentifyCase> {};

TEST_P(AtaIdentifyTest, CapacityAndSectorSizes) {
    const IdentifyCase& c = GetParam();
    Block b;
    b.word(83, c.w83).word(106, c.w106).le(234, c.w117, 4).le(120, c.lba28, 4).le(200, c.lba48, 8);
    const AtaIdentity id = decodeAtaIdentity(b.bytes);
    EXPECT_EQ(id.sectors, c.sectors);
    EXPECT_EQ(id.logicalSectorSize, c.logical);
    EXPECT_EQ(id.physicalSectorSize, c.physical);
    EXPECT_EQ(id.capacityBytes, c.sectors * c.logical);
}

INSTANTIATE_TEST_SUITE_P(
    Words, AtaIdentifyTest,
    ::testing::Values(
        IdentifyCase{"lba28_only", 0x4000, 0x4000, 0, 0x0FFFFFFF, 5'000'000'000, 0x0FFFFFFF, 512, 512},
        IdentifyCase{"lba48", 0x4400, 0x4000, 0, 0x0FFFFFFF, 1'000'215'216, 1'000'215'216, 512, 512},
        IdentifyCase{"lba48_upper_bits_ignored", 0x4400, 0, 0, 0, 0xABCD'0000'0000'0010, 0x0000'0000'0010,
                     512, 512},
        IdentifyCase{"word83_invalid", 0xC400, 0x4000, 0, 1000, 2000, 1000, 512, 512},
        IdentifyCase{"512e", 0x4400, 0x6003, 0, 0, 8000, 8000, 512, 4096},
        IdentifyCase{"4kn", 0x4400, 0x5000, 2048, 0, 1000, 1000, 4096, 4096},
        IdentifyCase{"word106_not_valid", 0x4400, 0x9000, 2048, 0, 1000, 1000, 512, 512},
        IdentifyCase{"long_sector_size_out_of_range", 0x4400, 0x5000, 100, 0, 1000, 1000, 512, 512}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AtaIdentify, TextsSmartBitsAndChecksum) {
    Block b;
    b.text(20, "NS21").text(46, "1F0.").text(54, "EDIVEC0  1");  // ATA strings: each pair swapped
    b.word(82, 0x0001).word(85, 0x0001);
    b.bytes[510] = 0xA5;
    b.checksum();
    AtaIdentity id = decodeAtaIdentity(b.bytes);
    EXPECT_EQ(id.serial, "SN12");
    EXPECT_EQ(id.firmware, "F1.0");
    EXPECT_EQ(id.model, "DEVICE 01");
    EXPECT_TRUE(id.smartSupported);
    EXPECT_TRUE(id.smartEnabled);
    EXPECT_TRUE(id.checksumValid);

    b.bytes[100] ^= 1;
    b.word(82, 0xFFFF);  // word 82 not valid: SMART unknown, whatever word 85 says
    id = decodeAtaIdentity(b.bytes);
    EXPECT_FALSE(id.checksumValid);
    EXPECT_TRUE(id.checksumPresent);
    EXPECT_FALSE(id.smartSupported);
    EXPECT_FALSE(id.smartEnabled);
}

TEST(SmartData, AttributeTableAndChecksum) {
    Block b;
    b.le(0, 0x10, 2);
    // Slot 0: id 5, flags 0x0033, value 100, worst 99, raw 0x010203040506.
    b.bytes[2] = 5;
    b.le(3, 0x0033, 2).le(5, 100, 1).le(6, 99, 1).le(7, 0x010203040506, 6);
    b.bytes[13] = 0xEE;  // the slot's reserved byte is not part of the raw value
    // Slot 2 (slot 1 left empty): id 194, old-age, always updated.
    b.bytes[26] = 194;
    b.le(27, 0x0002, 2).le(29, 35, 1).le(30, 20, 1).le(31, 35, 6);
    b.bytes[363] = 0x39;
    b.checksum();
    SmartData s = decodeSmartData(b.bytes);
    ASSERT_EQ(s.attributes.size(), 2u);
    EXPECT_EQ(s.revision, 0x10);
    EXPECT_EQ(s.attributes[0].name, "Reallocated_Sector_Ct");
    EXPECT_TRUE(s.attributes[0].prefailure);
    EXPECT_TRUE(s.attributes[0].online);
    EXPECT_EQ(s.attributes[0].value, 100);
    EXPECT_EQ(s.attributes[0].worst, 99);
    EXPECT_EQ(s.attributes[0].raw, 0x010203040506u);
    EXPECT_EQ(s.attributes[1].id, 194);
    EXPECT_FALSE(s.attributes[1].prefailure);
    EXPECT_TRUE(s.attributes[1].online);
    EXPECT_EQ(s.attributes[1].raw, 35u);
    EXPECT_EQ(selfTestResultText(s.selfTestStatus), "fatal error");
    EXPECT_TRUE(s.checksumValid);
    b.bytes[40] ^= 0x80;
    EXPECT_FALSE(decodeSmartData(b.bytes).checksumValid);
}

TEST(SmartLogs, DirectoryListsAddressesWithPages) {
    Block b;
    b.word(0, 1).word(0x01, 1).word(0x06, 1).word(0x80, 16).word(0xFF, 2);
    const LogDirectory d = decodeLogDirectory(b.bytes);
    EXPECT_EQ(d.version, 1);
    ASSERT_EQ(d.logs.size(), 4u);
    EXPECT_EQ(d.logs[2].address, 0x80);
    EXPECT_EQ(d.logs[2].pages, 16);
    EXPECT_EQ(d.logs[3].address, 0xFF);
}

TEST(SmartLogs, SummaryErrorLogWalksBackFromTheLatestSlot) {
    Block b;
    b.bytes[0] = 1;
    b.bytes[1] = 2;  // the latest is slot 2, before it slots 1 and 5
    auto slot = [&](std::size_t n, std::uint8_t command, std::uint8_t error, std::uint32_t lba,
                    std::uint16_t hours) {
        const std::size_t at = 2 + (n - 1) * 90;
        b.bytes[at + 48 + 7] = command;
        b.bytes[at + 60 + 1] = error;
        b.le(at + 60 + 3, lba & 0xFFFFFF, 3);
        b.bytes[at + 60 + 6] = static_cast<std::uint8_t>(0xE0 | (lba >> 24));
        b.bytes[at + 60 + 7] = 0x51;
        b.le(at + 60 + 28, hours, 2);
    };
    slot(2, 0x25, 0x40, 0x0ABCDEF1, 300);
    slot(1, 0x35, 0x10, 9, 250);
    slot(5, 0xC8, 0x04, 7, 200);
    b.le(452, 9, 2).checksum();
    const SummaryErrorLog log = decodeSummaryErrorLog(b.bytes);
    EXPECT_EQ(log.errorCount, 9);
    ASSERT_EQ(log.entries.size(), 3u);
    EXPECT_EQ(log.entries[0].slot, 2);
    EXPECT_EQ(log.entries[0].command, 0x25);
    EXPECT_EQ(log.entries[0].lba, 0x0ABCDEF1u);
    EXPECT_EQ(log.entries[0].lifetimeHours, 300);
    EXPECT_EQ(log.entries[1].slot, 1);
    EXPECT_EQ(log.entries[1].command, 0x35);
    EXPECT_EQ(log.entries[2].slot, 5);
    EXPECT_EQ(log.entries[2].error, 0x04);
    EXPECT_TRUE(log.checksumValid);

    b.bytes[1] = 6;  // no such slot: nothing is read
    EXPECT_TRUE(decodeSummaryErrorLog(b.bytes).entries.empty());
}

TEST(SmartLogs, SelfTestLogMostRecentFirst) {
    Block b;
    b.le(0, 1, 2);
    auto entry = [&](std::size_t n, std::uint8_t test, std::uint8_t status, std::uint16_t hours,
                     std::uint32_t lba) {
        const std::size_t at = 2 + (n - 1) * 24;
        b.bytes[at] = test;
        b.bytes[at + 1] = status;
        b.le(at + 2, hours, 2).le(at + 5, lba, 4);
    };
    entry(21, 0x01, 0x00, 10, 0);
    entry(1, 0x81, 0x00, 11, 0);
    entry(2, 0x02, 0x73, 12, 123456);
    b.bytes[508] = 2;  // slot 2 is the latest, before it slots 1 and 21
    b.checksum();
    const SelfTestLog log = decodeSelfTestLog(b.bytes);
    ASSERT_EQ(log.entries.size(), 3u);
    EXPECT_EQ(log.entries[0].testName, "extended off-line");
    EXPECT_EQ(log.entries[0].result, "read failure");
    EXPECT_EQ(log.entries[0].remainingPercent, 30);
    EXPECT_EQ(log.entries[0].failingLba, 123456u);
    EXPECT_EQ(log.entries[1].testName, "short captive");
    EXPECT_EQ(log.entries[2].testName, "short off-line");
    EXPECT_EQ(log.entries[2].result, "completed without error");
    EXPECT_TRUE(log.checksumValid);
}

TEST(NvmeIdentify, ControllerFields) {
    Block b(4096);
    b.le(0, 0x1D6B, 2).le(2, 0x1AB0, 2).text(4, "SER-1               ").text(24, "Model X");
    b.text(64, "FW1.2   ").le(80, 0x00010400, 4).le(266, 343, 2).le(268, 358, 2).le(516, 1, 4);
    b.le(280, 512'110'190'592ull, 8);
    const NvmeController c = decodeNvmeController(b.bytes);
    EXPECT_EQ(c.serial, "SER-1");
    EXPECT_EQ(c.model, "Model X");
    EXPECT_EQ(c.firmware, "FW1.2");
    EXPECT_EQ(c.versionText, "1.4");
    EXPECT_EQ(c.namespaces, 1u);
    EXPECT_EQ(c.totalCapacityBytes.decimal(), "512110190592");
    EXPECT_EQ(c.warningTempKelvin, 343);
}

struct NamespaceCase {
    const char* name;
    std::uint8_t flbas;
    std::size_t formatOffset;  // of the LBA format the flags name
    std::uint8_t formatShift;
    std::uint32_t blockSize;
    const char* bytes;
};

class NvmeNamespaceTest : public ::testing::TestWithParam<NamespaceCase> {};

TEST_P(NvmeNamespaceTest, SizeFromTheFormatInUse) {
    const NamespaceCase& c = GetParam();
    Block b(4096);
    b.le(0, 0xFFFF'FFFF'FFFF'FFFFull, 8).le(8, 1000, 8);
    b.bytes[25] = 20;
    b.bytes[26] = c.flbas;
    b.bytes[c.formatOffset + 2] = c.formatShift;
    const NvmeNamespace n = decodeNvmeNamespace(b.bytes);
    EXPECT_EQ(n.blockSize, c.blockSize);
    EXPECT_EQ(n.sizeBytes.decimal(), c.bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, NvmeNamespaceTest,
    ::testing::Values(NamespaceCase{"format0_512", 0x00, 128, 9, 512, "9444732965739290426880"},
                      NamespaceCase{"format3_4k", 0x03, 140, 12, 4096, "75557863725914323415040"},
                      NamespaceCase{"format17_high_bits", 0x21, 196, 12, 4096, "75557863725914323415040"},
                      NamespaceCase{"size_out_of_range", 0x00, 128, 40, 0, "0"}),
    [](const auto& info) { return std::string(info.param.name); });

struct ProductCase {
    std::uint64_t a;
    std::uint32_t b;
    const char* decimal;
};

class WideCounterTest : public ::testing::TestWithParam<ProductCase> {};

TEST_P(WideCounterTest, ProductInDecimal) {
    const ProductCase& c = GetParam();
    EXPECT_EQ(WideCounter::product(c.a, c.b).decimal(), c.decimal);
}

INSTANTIATE_TEST_SUITE_P(Products, WideCounterTest,
                         ::testing::Values(ProductCase{0, 0, "0"}, ProductCase{7, 1, "7"},
                                           ProductCase{0x1FFFFFFFFull, 0xFFFFFFFFu, "36893488134534201345"},
                                           ProductCase{UINT64_MAX, 0xFFFFFFFFu,
                                                       "79228162495817593515539431425"}));

TEST(NvmeLogs, HealthInformation) {
    Block b;
    b.bytes[0] = 0x05;
    b.le(1, 308, 2).le(3, 97, 1).le(4, 10, 1).le(5, 3, 1);
    b.le(32, 123456, 8).le(128, 1234, 8).le(144, 7, 8).le(160, 2, 8);
    b.le(48, 1, 8).le(56, 1, 8);  // 2^64 + 1 units written
    const NvmeHealth h = decodeNvmeHealth(b.bytes);
    EXPECT_EQ(h.warnings, (std::vector<std::string>{"spare below threshold", "reliability degraded"}));
    EXPECT_EQ(h.temperatureCelsius, 35);
    EXPECT_EQ(h.availableSpare, 97);
    EXPECT_EQ(h.percentageUsed, 3);
    EXPECT_EQ(h.dataUnitsRead.low, 123456u);
    EXPECT_EQ(h.powerOnHours.low, 1234u);
    EXPECT_EQ(h.unsafeShutdowns.low, 7u);
    EXPECT_EQ(h.mediaErrors.low, 2u);
    EXPECT_FALSE(h.dataUnitsWritten.fitsIn64());
    EXPECT_EQ(h.dataUnitsWritten.decimal(), "18446744073709551617");
}

struct StatusCase {
    std::uint16_t field;
    std::uint8_t type, code;
    bool doNotRetry;
    const char* text;
};

class NvmeStatusTest : public ::testing::TestWithParam<StatusCase> {};

TEST_P(NvmeStatusTest, Decoded) {
    const StatusCase& c = GetParam();
    const NvmeStatus s = decodeNvmeStatus(c.field);
    EXPECT_EQ(s.type, c.type);
    EXPECT_EQ(s.code, c.code);
    EXPECT_EQ(s.doNotRetry, c.doNotRetry);
    EXPECT_EQ(s.text, c.text);
}

INSTANTIATE_TEST_SUITE_P(Fields, NvmeStatusTest,
                         ::testing::Values(StatusCase{0x0001, 0, 0, false, "successful completion"},
                                           StatusCase{0x8004, 0, 2, true, "invalid field in command"},
                                           StatusCase{0x0017, 0, 0x0B, false, "invalid namespace or format"},
                                           StatusCase{0x0281, 1, 0x40, false, "command specific status 0x40"},
                                           StatusCase{0x0E03, 7, 1, false, "vendor specific status 0x01"}));

TEST(NvmeLogs, ErrorEntriesWithACount) {
    Block b;
    b.le(0, 12, 8).le(8, 0, 2).le(10, 0x77, 2).le(12, 0x0004, 2).le(16, 4096, 8).le(24, 1, 4);
    b.le(128, 11, 8).le(128 + 12, 0x8005, 2);  // entry 2 (entry 1 empty)
    const auto errors = decodeNvmeErrors(b.bytes);
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0].errorCount, 12u);
    EXPECT_EQ(errors[0].commandId, 0x77);
    EXPECT_EQ(errors[0].status.text, "invalid field in command");
    EXPECT_EQ(errors[0].lba, 4096u);
    EXPECT_EQ(errors[1].errorCount, 11u);
    EXPECT_TRUE(errors[1].status.doNotRetry);
}

struct HexCase {
    const char* name;
    const char* text;
    bool accepted;
    Bytes bytes;
};

class HexBytesTest : public ::testing::TestWithParam<HexCase> {};

TEST_P(HexBytesTest, Parsed) {
    const HexCase& c = GetParam();
    std::string fault;
    const auto bytes = parseHexBytes(c.text, fault);
    ASSERT_EQ(bytes.has_value(), c.accepted) << fault;
    if (bytes) {
        EXPECT_EQ(*bytes, c.bytes);
    } else {
        EXPECT_FALSE(fault.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, HexBytesTest,
    ::testing::Values(HexCase{"packed", "a1080e", true, {0xA1, 0x08, 0x0E}},
                      HexCase{"separated", "A1 08:0e-FF\r\n", true, {0xA1, 0x08, 0x0E, 0xFF}},
                      HexCase{"prefixed", "0xA1 0x08", true, {0xA1, 0x08}},
                      HexCase{"comment", "06 # Identify\n01", true, {0x06, 0x01}},
                      HexCase{"empty", "", true, {}}, HexCase{"odd_digit", "a10", false, {}},
                      HexCase{"letter", "a1 g0", false, {}}, HexCase{"three_digits_joined", "a1b", false, {}},
                      HexCase{"trailing_junk", "a1z", false, {}}),
    [](const auto& info) { return std::string(info.param.name); });

struct NumberCase {
    const char* text;
    std::uint64_t maximum;
    bool accepted;
    std::uint64_t value;
};

class NumberTest : public ::testing::TestWithParam<NumberCase> {};

TEST_P(NumberTest, Parsed) {
    const NumberCase& c = GetParam();
    std::string fault;
    const auto value = parseNumber(c.text, c.maximum, fault);
    ASSERT_EQ(value.has_value(), c.accepted) << c.text;
    if (value) {
        EXPECT_EQ(*value, c.value);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, NumberTest,
    ::testing::Values(NumberCase{"255", 255, true, 255}, NumberCase{"0xff", 255, true, 255},
                      NumberCase{"256", 255, false, 0}, NumberCase{"0x100", 255, false, 0},
                      NumberCase{"18446744073709551615", UINT64_MAX, true, UINT64_MAX},
                      NumberCase{"18446744073709551616", UINT64_MAX, false, 0}, NumberCase{"9", 5, false, 0},
                      NumberCase{"-1", 255, false, 0}, NumberCase{"0x", 255, false, 0},
                      NumberCase{"", 255, false, 0}, NumberCase{"1e3", 5000, false, 0}));

struct EntryCase {
    const char* name;
    std::string text;
    bool accepted;
    const char* fault = "";  // part of the refusal's reason
};

class SubmissionEntryTest : public ::testing::TestWithParam<EntryCase> {};

std::string hexPairs(int count) {
    std::string t;
    for (int i = 0; i < count; ++i)
        t += hexNumber(static_cast<std::uint64_t>(i), 2).substr(2) + (i % 16 == 15 ? "\n" : " ");
    return t;
}

TEST_P(SubmissionEntryTest, OnlySixtyFourHexBytes) {
    const EntryCase& c = GetParam();
    std::string fault;
    const auto entry = parseSubmissionEntry(c.text, fault);
    ASSERT_EQ(entry.has_value(), c.accepted) << fault;
    if (entry) {
        EXPECT_EQ((*entry)[0], 0x00);
        EXPECT_EQ((*entry)[63], 63);
    } else {
        EXPECT_NE(fault.find(c.fault), std::string::npos) << fault;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, SubmissionEntryTest,
    ::testing::Values(EntryCase{"sixty_four", hexPairs(64), true},
                      EntryCase{"with_comments", "# Identify\n" + hexPairs(64) + "# end\n", true},
                      EntryCase{"sixty_three", hexPairs(63), false, "holds 63 bytes"},
                      EntryCase{"sixty_five", hexPairs(65), false, "holds 65 bytes"},
                      EntryCase{"binary", std::string(64, '\x01'), false, "binary"},
                      EntryCase{"binary_looking_like_text",
                                std::string("06") + std::string(1, '\0') + hexPairs(63), false, "binary"},
                      EntryCase{"not_hex", "06 zz", false, "line 1, byte 2"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quibdiag
