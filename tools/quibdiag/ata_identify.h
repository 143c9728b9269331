// ATA IDENTIFY DEVICE data (512 bytes), decoded.
#pragma once

#include <cstdint>
#include <string>

#include "tools/quibdiag/bytes.h"

namespace quibdiag {

inline constexpr std::size_t kAtaBlock = 512;

struct AtaIdentity {
    std::string model, serial, firmware;
    std::uint64_t sectors = 0;  // user-addressable logical sectors (48-bit count when the drive has it)
    bool lba48 = false;
    std::uint32_t logicalSectorSize = 512;
    std::uint32_t physicalSectorSize = 512;
    std::uint64_t capacityBytes = 0;
    bool smartSupported = false, smartEnabled = false;
    bool checksumPresent = false;  // word 255 carries the 0xA5 signature
    bool checksumValid = false;
};

// Short data is read as if padded with zeros; the caller passes the 512 bytes the drive sent.
AtaIdentity decodeAtaIdentity(ByteView data);

}  // namespace quibdiag
