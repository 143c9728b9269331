// Bench firmware images and programming streams.
//
// Bench convention: an image carries its version as the 8 ASCII bytes "QBFWVER=" followed by six
// version bytes (the twelve hex digits "YYMMDDAABBCC" as bytes 0xYY 0xMM ...). The first occurrence of
// the tag counts. makeImage places it at offset 256 (offset 0 for images shorter than 270 bytes) and fills
// the rest with bytes derived from the version, so different versions differ throughout.
//
// A programming stream is: length header, image, signature byte, checksum (sum of the image bytes mod
// 256), four zero bytes. The header is two bytes little-endian (n mod 65536) for n <= 65536; for larger
// images either 0x4C 0x17 and n big-endian (32 bits) or no header at all.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace bench {

inline constexpr char kVersionTag[] = "QBFWVER=";
inline constexpr std::size_t kVersionTagLength = 8;
inline constexpr std::size_t kVersionTagOffset = 256;
inline constexpr std::size_t kMinimumImageSize = kVersionTagLength + 6;

using VersionBytes = std::array<std::uint8_t, 6>;

// "12042391F000" -> bytes; empty optional unless exactly twelve hex digits.
std::optional<VersionBytes> parseVersion(std::string_view version12hex);
// Bytes -> twelve upper-case hex digits.
std::string formatVersion(const VersionBytes& bytes);

// An image of `size` bytes (at least kMinimumImageSize) carrying the version. Throws BenchError on a bad
// version text or size.
std::vector<std::uint8_t> makeImage(std::string_view version12hex, std::size_t size);

// The version an image carries (upper-case hex), or empty when it carries no tag.
std::optional<std::string> versionOfImage(std::span<const std::uint8_t> image);
std::optional<VersionBytes> versionBytesOfImage(std::span<const std::uint8_t> image);

// Stream signature byte of a revision digit (version character 6); 0x00 for the invalid low bits 100.
std::uint8_t signatureForRevisionDigit(char digit);
bool isValidSignature(std::uint8_t signature);

// Builds the programming stream of an image as the update does. `longHeader` selects the 0x4C 0x17 form
// for images longer than 65536 bytes (otherwise they get no header).
std::vector<std::uint8_t> buildStream(std::span<const std::uint8_t> image, std::uint8_t signature,
                                      bool longHeader);

// What a chip finds when it boots a stream: the image when one of the three layouts has a valid
// signature byte and a matching checksum.
struct BootableImage {
    std::size_t imageOffset = 0;
    std::size_t imageLength = 0;
    std::uint8_t signature = 0;
};
std::optional<BootableImage> findBootableImage(std::span<const std::uint8_t> stream);

}  // namespace bench
