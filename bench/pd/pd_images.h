// Synthetic images for the PD controllers and the microcontroller behind a bridge: a RichTek MTP image,
// .cyacd files for the Cypress kinds and Intel HEX files for the microcontroller. Each carries its version
// where the bench's version convention puts it (pd_controller.h), so programming one and power-cycling
// makes the controller run exactly the file's version.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace bench {

inline constexpr std::size_t kRichTekMtpSize = 16384;
inline constexpr std::size_t kRichTekVersionOffset = 4096;  // low byte; the high byte follows
inline constexpr std::size_t kMcuFlashSize = 49152;

// 16384 patterned bytes; version "abcd" puts 0xab at byte 4097 and 0xcd at byte 4096. Throws BenchError
// unless the version is four hex digits.
std::vector<std::uint8_t> richTekImage(const std::string& version);

struct CyacdSpec {
    int pdKind = 4;                         // 2, 4 or 5: picks the header line and the row size (kind 5: 256)
    int deviceMode = 1;                     // kinds 4/5: the default first row and the version position
    std::optional<std::uint16_t> firstRow;  // default: the convention's first row (kind 2: 0x24)
    std::size_t rows = 4;                   // consecutive rows from firstRow
    std::string version = "0102030405060708";  // 16 hex digits; "" places none
    std::uint8_t arrayId = 0x00;
    std::string header;  // default by kind and mode
};

// Header line, then one line per row: ":" array id (2 hex), row (4), length (4), data, checksum (2);
// upper-case hex, CRLF after every line. Throws BenchError for a file that cannot be (the version row
// outside the rows, rows beyond the flash, a wrong kind, mode or version text).
std::string cyacdText(const CyacdSpec& layout);
// The data of the file's rowIndex-th row.
std::vector<std::uint8_t> cyacdRowData(const CyacdSpec& layout, std::size_t rowIndex);
// One row line as cyacdText writes it, without its line end: any array id, row and data, for files the
// layout cannot describe.
std::string cyacdRowLine(std::uint8_t arrayId, std::size_t row, const std::vector<std::uint8_t>& data);

struct McuHexSpec {
    std::size_t bytes = 30;
    std::uint16_t upperAddress = 0x0800;
    std::size_t recordLength = 16;
    bool endRecord = true;
    std::uint8_t seed = 1;
};

// Intel HEX: an extended linear address record, data records of recordLength bytes contiguous from
// address 0, the end record when asked; CRLF after every line.
std::string mcuHexText(const McuHexSpec& layout);
std::vector<std::uint8_t> mcuImageBytes(const McuHexSpec& layout);

// The convention's positions, shared with the controller model.
std::size_t cypressRowSize(int pdKind);   // 0 for a kind without rows
std::size_t cypressRowCount(int pdKind);  // 0 for a kind without rows
std::uint16_t cypressFirstRow(int pdKind, int deviceMode);
struct VersionPlace {
    std::uint16_t row = 0;
    std::size_t offset = 0;  // within the row
};
VersionPlace cypressVersionPlace(int pdKind, int deviceMode);

// Deterministic bytes that vary and seldom repeat: the fill of images and factory flash.
std::vector<std::uint8_t> patternBytes(std::size_t size, std::uint32_t seed);

}  // namespace bench
