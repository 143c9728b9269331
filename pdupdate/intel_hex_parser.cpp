// Intel HEX for the microcontroller: ":" records of length, address, type, data and checksum.
#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "common/log/debug_log.h"
#include "pdupdate/image_tables.h"
#include "pdupdate/parse_support.h"
#include "pdupdate/text_lines.h"

namespace quib::pdupdate {
namespace {

constexpr auto kFn = "CPowerDelivery::nCreatePDSPIROMBuffer";
constexpr std::size_t kRecordFieldsChars = 9;  // ":" LL AAAA TT
constexpr std::uint8_t kTypeData = 0;
constexpr std::uint8_t kTypeEnd = 1;
constexpr std::uint8_t kTypeExtendedSegment = 2;
constexpr std::uint8_t kTypeExtendedLinear = 4;

std::string hexText(std::uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "%llX", static_cast<unsigned long long>(value));
    return text;
}

// Where the data records land in the 48 KiB image, which starts at the first record's address: every
// extended address record counts, and each byte is written once.
class ImageLayout {
  public:
    void setBase(const McuRecord& record, bool bFirst) {
        const std::uint64_t value = std::uint64_t{record.data[0]} << 8 | record.data[1];
        m_base = record.ucDataType == kTypeExtendedLinear ? value << 16 : value << 4;
        if (bFirst) m_imageBase = m_base;
    }
    // Sets the record's image offset; what is wrong with it when it cannot be placed.
    std::optional<std::string> place(McuRecord& record) {
        const std::size_t n = record.ucDataLen;
        // An address wraps inside its 64 KiB window: data running past it is not where it seems.
        if (record.dwAddress + n > 0x10000) return "data running past the end of its 64 KiB address window";
        const std::uint64_t full = m_base + record.dwAddress;
        if (full < m_imageBase || full + n > m_imageBase + kMcuImageSize)
            return "data at 0x" + hexText(full) + " outside the 48 KiB image at 0x" + hexText(m_imageBase);
        record.dwImageOffset = static_cast<std::uint32_t>(full - m_imageBase);
        const auto from = m_written.begin() + record.dwImageOffset;
        // The earlier record's bytes would be overwritten and never read back as written.
        if (std::find(from, from + n, true) != from + n)
            return "data at 0x" + hexText(full) + " overlaps an earlier record's";
        std::fill(from, from + n, true);
        m_lastEnd = record.dwImageOffset + n;
        m_highestEnd = std::max(m_highestEnd, m_lastEnd);
        return std::nullopt;
    }
    std::size_t lastEnd() const { return m_lastEnd; }
    std::size_t highestEnd() const { return m_highestEnd; }

  private:
    std::uint64_t m_imageBase = 0, m_base = 0;
    std::vector<bool> m_written = std::vector<bool>(kMcuImageSize, false);
    std::size_t m_lastEnd = 0, m_highestEnd = 0;
};

}  // namespace

const McuRecord& McuImage::record(std::size_t index) const {
    static const McuRecord kEmpty = [] {
        McuRecord r;
        r.data.fill(0xFF);
        return r;
    }();
    return index < records.size() ? records[index] : kEmpty;
}

int parseIntelHex(std::string_view text, McuImage& image, ParseFault& fault) {
    image.records.clear();
    bool endSeen = false;
    ImageLayout layout;
    std::size_t lastDataLine = 0;
    TextLines lines(text);
    while (auto next = lines.next()) {
        const std::string_view line = next->text;
        if (line.empty() || line.front() != ':') continue;
        if (endSeen) return refuse(fault, next->number, "a record after the end record");
        if (image.records.size() >= kMaxMcuRecords)
            return refuse(fault, next->number, "more records than the table holds (4096)");
        if (line.size() < kRecordFieldsChars + 2) return refuse(fault, next->number, "record too short");

        McuRecord record;
        record.data.fill(0xFF);
        record.ucDataLen = static_cast<std::uint8_t>(hexAt(line, 1, 2));
        record.dwAddress = hexAt(line, 3, 4);
        record.ucDataType = static_cast<std::uint8_t>(hexAt(line, 7, 2));
        const std::size_t wanted = kRecordFieldsChars + 2 * std::size_t{record.ucDataLen} + 2;
        if (line.size() < wanted) return refuse(fault, next->number, "data bytes missing from the record");
        if (line.size() > wanted)
            return refuse(fault, next->number, "characters beyond the record's length and checksum");
        const bool bAddressRecord =
            record.ucDataType == kTypeExtendedLinear || record.ucDataType == kTypeExtendedSegment;
        // The upper address of every MCU command, and the read-back, come from the first record.
        if (image.records.empty() && (record.ucDataType != kTypeExtendedLinear || record.ucDataLen != 2))
            return refuse(fault, next->number,
                          "the first record is not an extended linear address record (type 4, 2 bytes)");
        if (bAddressRecord && record.ucDataLen != 2)
            return refuse(fault, next->number, "an extended address record without its 2 address bytes");

        std::uint32_t sum =
            record.ucDataLen + (record.dwAddress >> 8) + (record.dwAddress & 0xFF) + record.ucDataType;
        for (std::size_t i = 0; i < record.ucDataLen; ++i) {
            record.data[i] = static_cast<std::uint8_t>(hexAt(line, kRecordFieldsChars + 2 * i, 2));
            sum += record.data[i];
        }
        record.ucChkSum = static_cast<std::uint8_t>(hexAt(line, line.size() - 2, 2));
        const std::uint8_t computed = lineChecksum(sum);
        if (record.ucChkSum != computed)
            LogWarning("%s:%d:  The Row checksum is different ucChkSum=[%02x], liFWCheckSum[%02x]", kFn,
                       __LINE__, record.ucChkSum, computed);

        if (bAddressRecord) {
            layout.setBase(record, image.records.empty());
        } else if (record.ucDataType == kTypeData && record.ucDataLen != 0) {
            if (auto wrong = layout.place(record)) return refuse(fault, next->number, std::move(*wrong));
            lastDataLine = next->number;
        }
        // The image ends at the first record without data (the end-of-file record).
        if (record.ucDataLen == 0 || record.ucDataType == kTypeEnd) endSeen = true;
        image.records.push_back(record);
    }
    if (!endSeen) return refuse(fault, lines.count(), "no end-of-file record");
    if (lastDataLine == 0) return refuse(fault, lines.count(), "no data record");
    // Programming stops at the last data record's end: data above it would never be written.
    if (layout.highestEnd() > layout.lastEnd())
        return refuse(fault, lastDataLine,
                      "the last data record ends the image at offset 0x" + hexText(layout.lastEnd()) +
                          ", below data of an earlier record");
    return 0;
}

FlatMcuImage flattenMcuImage(const McuImage& image) {
    FlatMcuImage flat;
    flat.bytes.assign(kMcuImageSize, 0);
    const McuRecord& first = image.record(0);
    if (first.ucDataLen == 2 && first.ucDataType == kTypeExtendedLinear)
        flat.upperAddress = static_cast<std::uint16_t>(first.data[0] << 8 | first.data[1]);
    for (const McuRecord& record : image.records) {
        if (record.ucDataLen == 0) break;
        if (record.ucDataType != kTypeData) continue;
        // The parser keeps data records inside the image.
        std::copy_n(record.data.begin(), record.ucDataLen, flat.bytes.begin() + record.dwImageOffset);
        flat.end = record.dwImageOffset + std::size_t{record.ucDataLen};
    }
    return flat;
}

}  // namespace quib::pdupdate
