#include "tools/quibdiag/ata_identify.h"

namespace quibdiag {
namespace {

// Words 82..87 and 106 hold meaning only when they are neither 0 nor 0xFFFF.
bool wordValid(std::uint16_t w) {
    return w != 0 && w != 0xFFFF;
}

}  // namespace

AtaIdentity decodeAtaIdentity(ByteView data) {
    AtaIdentity id;
    id.serial = ataString(data, 10, 10);
    id.firmware = ataString(data, 23, 4);
    id.model = ataString(data, 27, 20);

    const std::uint16_t w83 = wordAt(data, 83);
    id.lba48 = wordValid(w83) && (w83 & 0x4000) && !(w83 & 0x8000) && (w83 & 0x0400);
    id.sectors = id.lba48 ? (readLe(data, 200, 8) & 0xFFFFFFFFFFFFull) : readLe(data, 120, 4) & 0x0FFFFFFF;

    // Word 106: bits 15-14 = 01 say the word is valid; bit 12 a logical sector longer than 256 words
    // (its size in words 117-118); bit 13 several logical sectors per physical one (2^bits 3-0).
    const std::uint16_t w106 = wordAt(data, 106);
    if ((w106 & 0xC000) == 0x4000) {
        if (w106 & 0x1000) {
            const auto words = static_cast<std::uint32_t>(readLe(data, 234, 4));
            if (words >= 256 && words <= 0x8000) id.logicalSectorSize = words * 2;
        }
        id.physicalSectorSize = id.logicalSectorSize;
        if (w106 & 0x2000) id.physicalSectorSize = id.logicalSectorSize << (w106 & 0x000F);
    }
    id.capacityBytes = id.sectors * id.logicalSectorSize;

    const std::uint16_t w82 = wordAt(data, 82), w85 = wordAt(data, 85);
    id.smartSupported = wordValid(w82) && (w82 & 0x0001);
    id.smartEnabled = id.smartSupported && wordValid(w85) && (w85 & 0x0001);

    id.checksumPresent = byteAt(data, 510) == 0xA5;
    id.checksumValid = id.checksumPresent && data.size() >= kAtaBlock && sumsToZero(data.first(kAtaBlock));
    return id;
}

}  // namespace quibdiag
