// ATA IDENTIFY DEVICE data (512 bytes) of a bench drive.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "bench/description.h"

namespace bench {

using IdentifyData = std::array<std::uint8_t, 512>;

// Serial in words 10-19, firmware in 23-26, model in 27-46 (ATA strings: two characters per word, the
// first in the high byte, padded with spaces); capacity in words 60-61 and 100-103; integrity word 255.
IdentifyData makeIdentify(const DriveDescription& drive);

// Reads an ATA string of `words` words starting at word `first`, trailing spaces removed.
std::string ataString(const IdentifyData& data, int first, int words);

}  // namespace bench
