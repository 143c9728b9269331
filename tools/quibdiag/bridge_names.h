// Names of the codes the library hands out: chip types, link speeds, result codes.
#pragma once

#include <cstdint>
#include <string>

namespace quibdiag {

// Device type of a list entry (0..7) as the chip type it stands for: "A".."E", "850A", "850B".
std::string chipTypeName(std::uint8_t deviceType);
// USB speed code 0..5 (255 unknown).
std::string usbSpeedName(std::uint8_t code);
// PCIe link mode codes: generation 0..2 → "Gen1".."Gen3", width 0..2 → "x1", "x2", "x4"; 0xFF unknown.
std::string pcieGenerationName(std::uint8_t code);
std::string pcieWidthName(std::uint8_t code);
// A library result code with its meaning: "-5 (device or file not usable)".
std::string libraryResultText(int result);

}  // namespace quibdiag
