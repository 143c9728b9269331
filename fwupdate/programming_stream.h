// The bytes the library writes into a bridge: the programming stream of an image and the 128-byte
// configuration block, and the configuration ROM file that carries both.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "devcore/transport/scsi_request.h"
#include "include/quibusb.h"

namespace quib::fwupdate {

inline constexpr std::size_t kConfigBinSize = devcore::kConfigBinSize;
inline constexpr std::size_t kShortHeaderLimit = 65536;
inline constexpr std::uint8_t kConfigSig = 0x5A;
inline constexpr std::size_t kConfigSigOffset = 126;
inline constexpr std::size_t kConfigCheckSumOffset = 127;
inline constexpr std::size_t kConfigRecordOffset = 4;
inline constexpr const char* kTempBinDataFileName = "TempBinData.bin";

using ConfigBlock = std::array<std::uint8_t, kConfigBinSize>;

// Length header of the stream: two bytes for n <= 65536, 0x4C 0x17 and n big-endian for a longer image
// when the first device's chip type is "850B", nothing otherwise.
std::vector<std::uint8_t> lengthHeader(std::size_t n, std::string_view firstChipType);

// The stream: length header, image, signature byte, checksum (image byte sum mod 256), four zero bytes.
std::vector<std::uint8_t> buildStream(std::span<const std::uint8_t> image, std::uint8_t signature,
                                      std::string_view firstChipType);

// The revision digit the stream builder takes: the file name without extension and underscores
// (markers kept), character 12 for a "TV_PCIE_" image (ucType 1), character 6 otherwise; '\0' when the
// name is too short.
char streamRevisionDigit(std::string_view fileName, std::uint8_t ucType);

// The stream's signature byte: the revision digit's, or 0x5A for a non-PCIe image when the chip-type
// selector discovery recorded last is "001_B0". None for the invalid revision bits 100.
std::optional<std::uint8_t> streamSignature(char revisionDigit, std::uint8_t ucType,
                                            std::string_view lastChipTypeSelector);

// Sum of block bytes 4..126, modulo 256.
std::uint8_t configCheckSum(std::span<const std::uint8_t, kConfigBinSize> block);
// Signature 0x5A at byte 126 and the checksum at 127.
void sealConfigBlock(ConfigBlock& block);
// A block whose byte 126 is 0x5A and byte 127 its checksum.
bool configBlockValid(const ConfigBlock& block);

// The configuration block of a serial-number record: 0xFF, the record at bytes 4..121, sealed.
ConfigBlock configBlockOfRecord(const SerialNumberRecord& record);

// "Config_<name without extension>.rom".
std::string configRomFileName(std::string_view imageFileName);

}  // namespace quib::fwupdate
