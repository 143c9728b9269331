// Files the update programs, built by the bench for tests and the tool: a packed image (a whole
// programming stream) and a configuration ROM file (configuration block, then the stream).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace bench {

// The identity a configuration block carries (the serial-number record's fields).
struct ConfigIdentity {
    std::string serial, manufacturer, product;
    std::uint16_t vid = 0x3F10, pid = 0x7120, release = 0x0100;
};

// 0xFF, the record at bytes 4..121 (serial 20 bytes padded with 0xFF, manufacturer 44 and product 48 bytes
// padded with `textPad`, the three identifiers little-endian), 0x5A at 126 and the sum of bytes 4..126 at
// 127. A record from the serial-number tool pads its texts with zeros; a factory-programmed bridge with 0xFF.
std::array<std::uint8_t, 128> makeConfigRecordBlock(const ConfigIdentity& identity,
                                                    std::uint8_t textPad = 0x00);

// The stream of an image carrying `version`: the signature follows the version's revision digit;
// `longHeader` selects 0x4C 0x17 for images above 64 KiB.
std::vector<std::uint8_t> makeStreamOfVersion(const std::string& version12hex, std::size_t imageSize,
                                              bool longHeader);

// Configuration block followed by that stream.
std::vector<std::uint8_t> makeConfigRom(const std::string& version12hex, std::size_t imageSize,
                                        const ConfigIdentity& identity, bool longHeader);

}  // namespace bench
