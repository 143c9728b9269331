#include "bench/drive/ata_identify.h"

namespace bench {
namespace {

void putWord(IdentifyData& d, int word, std::uint16_t value) {
    d[static_cast<std::size_t>(word) * 2] = static_cast<std::uint8_t>(value);
    d[static_cast<std::size_t>(word) * 2 + 1] = static_cast<std::uint8_t>(value >> 8);
}

void putString(IdentifyData& d, int first, int words, const std::string& text) {
    for (int i = 0; i < words * 2; ++i) {
        const char c = static_cast<std::size_t>(i) < text.size() ? text[static_cast<std::size_t>(i)] : ' ';
        // Characters pair up high byte first within each little-endian word.
        d[static_cast<std::size_t>(first) * 2 + static_cast<std::size_t>(i ^ 1)] =
            static_cast<std::uint8_t>(c);
    }
}

}  // namespace

IdentifyData makeIdentify(const DriveDescription& drive) {
    IdentifyData d{};
    const bool sata = drive.kind == "sata";
    putWord(d, 0, 0x0040);  // fixed device
    putString(d, 10, 10, drive.serial);
    putString(d, 23, 4, drive.firmware);
    putString(d, 27, 20, drive.model);
    putWord(d, 47, 0x8010);
    putWord(d, 49, 0x0300);  // LBA and DMA
    putWord(d, 53, 0x0006);
    const std::uint64_t lba28 = drive.sectors > 0x0FFFFFFF ? 0x0FFFFFFF : drive.sectors;
    putWord(d, 60, static_cast<std::uint16_t>(lba28));
    putWord(d, 61, static_cast<std::uint16_t>(lba28 >> 16));
    putWord(d, 80, 0x07F0);  // ATA8-ACS and earlier
    // Words 82-87: supported, then enabled. SMART (82 bit 0, 85 bit 0), SMART error logging and self-test
    // (84/87 bits 0 and 1) on a SATA drive; the general purpose logging feature set (bit 5) is not offered,
    // so the logs are read with SMART READ LOG only. 48-bit addressing (83/86 bit 10).
    putWord(d, 82, sata ? 0x346B : 0x346A);
    putWord(d, 83, 0x7D09);
    putWord(d, 84, sata ? 0x6043 : 0x6040);
    putWord(d, 85, sata ? 0x3469 : 0x3468);
    putWord(d, 86, 0xBC09);
    putWord(d, 87, sata ? 0x6043 : 0x6040);
    for (int i = 0; i < 4; ++i) putWord(d, 100 + i, static_cast<std::uint16_t>(drive.sectors >> (16 * i)));
    // Word 106: valid (bits 15-14 = 01); bit 13 with bits 3-0 = log2 of the logical sectors per physical
    // sector; bit 12 with words 117-118 = a logical sector longer than 256 words.
    std::uint16_t sectorSizes = 0x4000;
    const std::uint32_t perPhysical = drive.physicalBytesPerSector / drive.bytesPerSector;
    if (perPhysical > 1) {
        std::uint16_t log2 = 0;
        while ((1u << log2) < perPhysical) ++log2;
        sectorSizes |= static_cast<std::uint16_t>(0x2000 | log2);
        putWord(d, 209, 0x4000);  // logical sector 0 starts a physical sector
    }
    if (drive.bytesPerSector > 512) {
        sectorSizes |= 0x1000;
        const std::uint32_t words = drive.bytesPerSector / 2;
        putWord(d, 117, static_cast<std::uint16_t>(words));
        putWord(d, 118, static_cast<std::uint16_t>(words >> 16));
    }
    putWord(d, 106, sectorSizes);
    putWord(d, 217, 1);  // non-rotating medium
    // Integrity word: signature 0xA5 and a checksum that makes all 512 bytes sum to 0.
    d[510] = 0xA5;
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < 511; ++i) sum += d[i];
    d[511] = static_cast<std::uint8_t>(0x100 - (sum & 0xFF));
    return d;
}

std::string ataString(const IdentifyData& data, int first, int words) {
    std::string out;
    for (int i = 0; i < words * 2; ++i)
        out += static_cast<char>(data[static_cast<std::size_t>(first) * 2 + static_cast<std::size_t>(i ^ 1)]);
    while (!out.empty() && (out.back() == ' ' || out.back() == '\0')) out.pop_back();
    return out;
}

}  // namespace bench
