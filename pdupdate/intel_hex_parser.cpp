// Intel HEX for the microcontroller: ":" records of length, address, type, data and checksum.
#include <algorithm>
#include <cstdio>
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
    std::uint64_t imageBase = 0;  // from the first record
    std::uint64_t base = 0;       // the latest extended address record's
    std::vector<bool> written(kMcuImageSize, false);
    std::size_t lastEnd = 0, highestEnd = 0, lastDataLine = 0;
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
            const std::uint64_t value = std::uint64_t{record.data[0]} << 8 | record.data[1];
            base = record.ucDataType == kTypeExtendedLinear ? value << 16 : value << 4;
            if (image.records.empty()) imageBase = base;
        } else if (record.ucDataType == kTypeData && record.ucDataLen != 0) {
            // An address wraps inside its 64 KiB window: data running past it is not where it seems.
            if (record.dwAddress + record.ucDataLen > 0x10000)
                return refuse(fault, next->number, "data running past the end of its 64 KiB address window");
            const std::uint64_t full = base + record.dwAddress;
            if (full < imageBase || full + record.ucDataLen > imageBase + kMcuImageSize)
                return refuse(
                    fault, next->number,
                    "data at 0x" + hexText(full) + " outside the 48 KiB image at 0x" + hexText(imageBase));
            record.dwImageOffset = static_cast<std::uint32_t>(full - imageBase);
            const auto from = written.begin() + record.dwImageOffset;
            // The earlier record's bytes would be overwritten and never read back as written.
            if (std::find(from, from + record.ucDataLen, true) != from + record.ucDataLen)
                return refuse(fault, next->number,
                              "data at 0x" + hexText(full) + " overlaps an earlier record's");
            std::fill(from, from + record.ucDataLen, true);
            lastEnd = record.dwImageOffset + std::size_t{record.ucDataLen};
            highestEnd = std::max(highestEnd, lastEnd);
            lastDataLine = next->number;
        }
        // The image ends at the first record without data (the end-of-file record).
        if (record.ucDataLen == 0 || record.ucDataType == kTypeEnd) endSeen = true;
        image.records.push_back(record);
    }
    if (!endSeen) return refuse(fault, lines.count(), "no end-of-file record");
    if (lastDataLine == 0) return refuse(fault, lines.count(), "no data record");
    // Programming stops at the last data record's end: data above it would never be written.
    if (highestEnd > lastEnd)
        return refuse(fault, lastDataLine,
                      "the last data record ends the image at offset 0x" + hexText(lastEnd) +
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
