// The parsed PD and MCU images: the .cyacd header and rows, the Intel HEX records and the flattened MCU
// image. Parsing checks every line against the tables before anything reaches a controller.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "pdupdate/pd_kinds.h"

namespace quib::pdupdate {

struct CypressFWHeader {
    std::uint32_t dwSliconID = 0;
    std::uint8_t ucSiliconRev = 0;
    std::uint8_t ucChecksumType = 0;
};

inline constexpr std::uint8_t kEmptyArrayId = 0xFF;  // a header slot or an empty record

// One line of a .cyacd file; the header line takes a record too (array id 0xFF, row 0).
struct CypressRow {
    std::uint8_t ucArrayID = kEmptyArrayId;
    std::uint16_t wRowNum = 0xFFFF;
    std::uint32_t dwDataLen = 0;
    std::vector<std::uint8_t> data;  // the table's row size; bytes the line does not carry stay 0xFF
    std::uint8_t ucChkSum = 0;

    bool isData() const { return ucArrayID == 0x00 || ucArrayID == 0x40; }
};

struct CypressImage {
    CypressFWHeader header;
    std::vector<CypressRow> rows;  // in file order, record 0 the header slot
    std::size_t rowSize = kCypressRowSize;

    void clear(std::size_t newRowSize);
    // Record `index`, or an empty record past the parsed ones.
    const CypressRow& record(std::size_t index) const;
};

struct McuRecord {
    std::uint8_t ucDataLen = 0xFF;
    std::uint32_t dwAddress = 0xFFFF;
    std::uint8_t ucDataType = 0xFF;
    std::array<std::uint8_t, 255> data{};
    std::uint8_t ucChkSum = 0xFF;
    // A data record's place in the 48 KiB image: its full address (extended address records applied)
    // less the image's base, the address the first record names.
    std::uint32_t dwImageOffset = 0;
};

struct McuImage {
    std::vector<McuRecord> records;  // one per ":" line
    const McuRecord& record(std::size_t index) const;
};

// The MCU image laid out flat: data records placed at their image offsets.
struct FlatMcuImage {
    std::vector<std::uint8_t> bytes;  // kMcuImageSize, zero where no record writes
    std::size_t end = 0;              // offset plus length of the last data record before the end record
    std::uint16_t upperAddress = 0;   // from an extended-linear-address first record, else 0
};
FlatMcuImage flattenMcuImage(const McuImage& image);

// Where a parse stopped: the 1-based line number and what is wrong with it.
struct ParseFault {
    std::size_t line = 0;
    std::string what;
};

// 0, or -10 with `fault` filled; checksum differences are only warned about. An Intel HEX file must also
// make an image the update can program and read back whole: an extended linear address record first, every
// data byte inside the 48 KiB image and written once, the last data record the one that ends highest.
int parseCyacd(std::string_view text, std::size_t rowSize, CypressImage& image, ParseFault& fault);
int parseIntelHex(std::string_view text, McuImage& image, ParseFault& fault);

// Two's complement of the byte sum, as both formats carry it.
std::uint8_t lineChecksum(std::uint32_t byteSum);

}  // namespace quib::pdupdate
