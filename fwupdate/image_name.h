// What the library reads from a firmware image's file name: markers, the version field and, within it,
// the revision digit (chip revision letter, stream signature) and the package digit.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quib::fwupdate {

inline constexpr const char* kMarkerPcie = "TV_PCIE_";
inline constexpr const char* kMarkerPacked = "-VS-";
inline constexpr const char* kMarkerConfigRom = "Config_";
inline constexpr std::size_t kVersionFieldLength = 12;
inline constexpr std::size_t kRevisionDigitIndex = 6;
inline constexpr std::size_t kPackageDigitIndex = 7;

// The last component of a path (after the last backslash or slash).
std::string fileNameOf(std::string_view path);
// The file name without its extension (up to the last dot).
std::string withoutExtension(std::string_view fileName);
// Every occurrence of `what` removed.
std::string removeAll(std::string_view text, std::string_view what);

// A hexadecimal digit's value; any other character counts as 0.
std::uint8_t hexDigitValue(char c);
// "A", "B", "C", "D", "A", "E", "F", "G" for the low three bits of a revision digit.
std::string revisionLetter(char revisionDigit);
// Stream signature byte for the low three bits of a revision digit; none for the invalid bits 100.
std::optional<std::uint8_t> signatureOfRevisionDigit(char revisionDigit);
// Whether a byte is one of the seven stream signatures.
bool isStreamSignature(std::uint8_t byte);

struct ImageNameFields {
    std::string fileName;
    bool bPCIe = false;       // "TV_PCIE_"
    bool bPacked = false;     // "-VS-"
    bool bConfigRom = false;  // "Config_"
    // Twelve characters when the name is long enough; shorter otherwise (see bComplete).
    std::string versionField;
    bool bComplete = false;
    char revisionDigit = '0';
    char packageDigit = '0';

    // The chip type the image is built for: the revision letter, after "850" for a "TV_PCIE_" image.
    std::string chipType() const;
    // Bit 2 of the package digit (the package rule of the BIN and ROM paths).
    bool packageBit() const { return (hexDigitValue(packageDigit) & 0x04) != 0; }
};

// Decodes the name of `path`. The version field is taken from index 0 of the name without "TV_PCIE_"
// and underscores, or from index 6 (after "Config") when `configRom`.
ImageNameFields decodeImageName(std::string_view path, bool configRom);

// Twelve hexadecimal digits, the form of a firmware version.
bool isVersionText(std::string_view text);
// The version a bridge must run once it booted the image `path` names: the version field of a plain image
// or a configuration ROM file; for a packed image, which carries no version field of its own, the twelve
// characters after "-VS-" with underscores removed. Empty when that is not a version.
std::string expectedRunningVersion(std::string_view path);

}  // namespace quib::fwupdate
