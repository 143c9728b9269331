// Intel HEX for the microcontroller: ":" records of length, address, type, data and checksum.
#include <algorithm>
#include <string>

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
constexpr std::uint8_t kTypeExtendedLinear = 4;

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
        if (record.ucDataType == kTypeData && record.dwAddress + record.ucDataLen > kMcuImageSize)
            return refuse(fault, next->number, "data outside the 48 KiB image");

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
        // The image ends at the first record without data (the end-of-file record).
        if (record.ucDataLen == 0 || record.ucDataType == kTypeEnd) endSeen = true;
        image.records.push_back(record);
    }
    if (!endSeen) return refuse(fault, lines.count(), "no end-of-file record");
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
        std::copy_n(record.data.begin(), record.ucDataLen, flat.bytes.begin() + record.dwAddress);
        flat.end = record.dwAddress + record.ucDataLen;
    }
    return flat;
}

}  // namespace quib::pdupdate
