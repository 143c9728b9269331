// The Cypress .cyacd text: one header line, then ":" rows of array id, row number, data length, data and
// checksum in hex pairs.
#include <optional>
#include <string>

#include "common/log/debug_log.h"
#include "pdupdate/image_tables.h"
#include "pdupdate/parse_support.h"
#include "pdupdate/text_lines.h"

namespace quib::pdupdate {
namespace {

constexpr auto kFn = "CPowerDelivery::nCreatePDSPIROMBuffer";
constexpr std::size_t kMinRowLine = 269;  // ":" and the 268 hex characters of a 128-byte row
constexpr std::size_t kRowFieldsChars = 11;
constexpr std::size_t kHeaderChars = 12;

}  // namespace

void CypressImage::clear(std::size_t newRowSize) {
    header = {};
    rows.clear();
    rowSize = newRowSize;
}

const CypressRow& CypressImage::record(std::size_t index) const {
    static const CypressRow kEmpty{};
    return index < rows.size() ? rows[index] : kEmpty;
}

std::uint8_t lineChecksum(std::uint32_t byteSum) {
    return static_cast<std::uint8_t>(0x100 - (byteSum & 0xFF));
}

int parseCyacd(std::string_view text, std::size_t rowSize, CypressImage& image, ParseFault& fault) {
    image.clear(rowSize);
    std::optional<std::uint16_t> lastRow;
    TextLines lines(text);
    while (auto next = lines.next()) {
        const std::string_view line = next->text;
        if (line.empty()) continue;
        if (image.rows.size() >= kMaxCypressRows)
            return refuse(fault, next->number, "more lines than the row table holds (65535)");

        if (line.front() != ':') {
            if (!image.rows.empty()) return refuse(fault, next->number, "a header line after the first line");
            if (line.size() < kHeaderChars) return refuse(fault, next->number, "header line too short");
            image.header.dwSliconID = hexAt(line, 0, 8);
            image.header.ucSiliconRev = static_cast<std::uint8_t>(hexAt(line, 8, 2));
            image.header.ucChecksumType = static_cast<std::uint8_t>(hexAt(line, 10, 2));
            CypressRow slot;
            slot.wRowNum = 0;
            slot.data.assign(rowSize, 0xFF);
            image.rows.push_back(std::move(slot));
            continue;
        }
        if (image.rows.empty()) return refuse(fault, next->number, "no header line before the first row");

        if (line.size() < kMinRowLine) {
            LogError("%s:%d: The FW ROW length too short..[%d]", kFn, __LINE__,
                     static_cast<int>(line.size()));
            return refuse(fault, next->number, "row line too short (" + std::to_string(line.size()) + ")");
        }
        CypressRow row;
        row.ucArrayID = static_cast<std::uint8_t>(hexAt(line, 1, 2));
        row.wRowNum = static_cast<std::uint16_t>(hexAt(line, 3, 4));
        row.dwDataLen = hexAt(line, 7, 4);
        if (row.dwDataLen > rowSize)
            return refuse(fault, next->number,
                          "row data of " + std::to_string(row.dwDataLen) +
                              " bytes is longer than its record (" + std::to_string(rowSize) + ")");
        const std::size_t wanted = kRowFieldsChars + 2 * row.dwDataLen + 2;
        if (line.size() < wanted) return refuse(fault, next->number, "data bytes missing from the row");
        if (line.size() > wanted)
            return refuse(fault, next->number, "characters beyond the row's data length and checksum");
        // Rows are sent in row order: a row that does not follow the previous one would be skipped.
        if (lastRow && row.wRowNum <= *lastRow)
            return refuse(fault, next->number, "row number not above the previous row's");
        lastRow = row.wRowNum;

        std::uint32_t sum = row.ucArrayID + (row.wRowNum >> 8) + (row.wRowNum & 0xFF) + (row.dwDataLen >> 8) +
                            (row.dwDataLen & 0xFF);
        row.data.assign(rowSize, 0xFF);
        for (std::uint32_t i = 0; i < row.dwDataLen; ++i) {
            row.data[i] = static_cast<std::uint8_t>(hexAt(line, kRowFieldsChars + 2 * i, 2));
            sum += row.data[i];
        }
        row.ucChkSum = static_cast<std::uint8_t>(hexAt(line, line.size() - 2, 2));
        const std::uint8_t computed = lineChecksum(sum);
        if (row.ucChkSum != computed)
            LogWarning("%s:%d:  The Row checksum is different ucChkSum=[%02x], liFWCheckSum[%02x]", kFn,
                       __LINE__, row.ucChkSum, computed);
        image.rows.push_back(std::move(row));
    }
    if (image.rows.empty()) return refuse(fault, lines.count(), "no header line (empty file)");
    return 0;
}

}  // namespace quib::pdupdate
