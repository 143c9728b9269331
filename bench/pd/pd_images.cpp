#include "bench/pd/pd_images.h"

#include "bench/bench_error.h"
#include "bench/hex_text.h"

namespace bench {
namespace {

std::uint8_t hexPair(const std::string& text, std::size_t at) {
    return static_cast<std::uint8_t>(*parseHexNumber(text.substr(at, 2)));
}

bool isHex(const std::string& text, std::size_t digits) {
    return text.size() == digits && parseHexBytes(text).has_value();
}

std::string defaultHeader(int pdKind, int deviceMode) {
    if (pdKind == 2) return "140411A40000";
    if (pdKind == 5) return "1F0111AF0000";
    return deviceMode == 2 ? "1D0411AD0000" : "1D0311AD0000";
}

void checkLayout(const CyacdSpec& layout) {
    if (layout.pdKind != 2 && layout.pdKind != 4 && layout.pdKind != 5)
        throw BenchError("a .cyacd file is for PD kind 2, 4 or 5, not " + std::to_string(layout.pdKind));
    if (layout.deviceMode != 1 && layout.deviceMode != 2)
        throw BenchError("the device mode is 1 or 2, not " + std::to_string(layout.deviceMode));
    if (!layout.version.empty() && !isHex(layout.version, 16))
        throw BenchError("a Cypress version is 16 hex digits, not \"" + layout.version + "\"");
    const std::size_t first = layout.firstRow.value_or(cypressFirstRow(layout.pdKind, layout.deviceMode));
    if (layout.rows == 0 || first + layout.rows > cypressRowCount(layout.pdKind))
        throw BenchError("rows " + std::to_string(first) + ".." + std::to_string(first + layout.rows) +
                         " do not fit the controller's " + std::to_string(cypressRowCount(layout.pdKind)) +
                         " rows");
    const auto place = cypressVersionPlace(layout.pdKind, layout.deviceMode);
    if (!layout.version.empty() && (place.row < first || place.row >= first + layout.rows))
        throw BenchError("the rows do not cover the version row " + hexNumber(place.row, 4));
}

void appendRecord(std::string& out, std::uint8_t type, std::uint16_t address,
                  const std::vector<std::uint8_t>& data) {
    std::uint32_t sum = static_cast<std::uint32_t>(data.size()) + (address >> 8) + (address & 0xFF) + type;
    for (auto b : data) sum += b;
    // Appended piece by piece: GCC's -Wrestrict misjudges a literal prepended to a string temporary at -O3.
    out += ':';
    out += hexNumber(data.size(), 2) + hexNumber(address, 4) + hexNumber(type, 2) + toUpper(hexBytes(data)) +
           hexNumber(static_cast<std::uint8_t>(-sum), 2) + "\r\n";
}

}  // namespace

std::vector<std::uint8_t> patternBytes(std::size_t size, std::uint32_t seed) {
    std::vector<std::uint8_t> out(size);
    std::uint32_t x = seed * 2654435761u + 0x9E3779B9u;
    for (std::size_t i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        auto b = static_cast<std::uint8_t>(x >> 16);
        if (i > 0 && b == out[i - 1]) b = static_cast<std::uint8_t>(b + 0x3B);  // never two alike in a row
        out[i] = b;
    }
    return out;
}

std::size_t cypressRowSize(int pdKind) {
    return pdKind == 2 || pdKind == 4 ? 128 : pdKind == 5 ? 256 : 0;
}

std::size_t cypressRowCount(int pdKind) {
    return pdKind == 2 ? 256 : pdKind == 4 || pdKind == 5 ? 0x400 : 0;
}

std::uint16_t cypressFirstRow(int pdKind, int deviceMode) {
    if (pdKind == 2) return 0x24;
    if (pdKind == 5) return deviceMode == 2 ? 0x14 : 0x109;
    return deviceMode == 2 ? 0x30 : 0x200;
}

VersionPlace cypressVersionPlace(int pdKind, int deviceMode) {
    if (pdKind == 2) return {0x26, 0};
    if (pdKind == 5) return {cypressFirstRow(5, deviceMode), 224};
    return {static_cast<std::uint16_t>(cypressFirstRow(4, deviceMode) + 1), 96};
}

std::vector<std::uint8_t> richTekImage(const std::string& version) {
    if (!isHex(version, 4)) throw BenchError("a RichTek version is 4 hex digits, not \"" + version + "\"");
    auto image = patternBytes(kRichTekMtpSize, 0x52540000u);
    image[kRichTekVersionOffset + 1] = hexPair(version, 0);
    image[kRichTekVersionOffset] = hexPair(version, 2);
    return image;
}

std::vector<std::uint8_t> cyacdRowData(const CyacdSpec& layout, std::size_t rowIndex) {
    checkLayout(layout);
    const std::size_t first = layout.firstRow.value_or(cypressFirstRow(layout.pdKind, layout.deviceMode));
    const std::size_t row = first + rowIndex;
    auto data = patternBytes(cypressRowSize(layout.pdKind),
                             static_cast<std::uint32_t>(
                                 row * 977 + static_cast<std::size_t>(layout.pdKind) * 13 + layout.arrayId));
    const auto place = cypressVersionPlace(layout.pdKind, layout.deviceMode);
    if (!layout.version.empty() && row == place.row)
        for (std::size_t i = 0; i < 8; ++i) data[place.offset + i] = hexPair(layout.version, 2 * i);
    return data;
}

std::string cyacdText(const CyacdSpec& layout) {
    checkLayout(layout);
    const std::size_t first = layout.firstRow.value_or(cypressFirstRow(layout.pdKind, layout.deviceMode));
    std::string out =
        (layout.header.empty() ? defaultHeader(layout.pdKind, layout.deviceMode) : layout.header) + "\r\n";
    for (std::size_t i = 0; i < layout.rows; ++i)
        out += cyacdRowLine(layout.arrayId, first + i, cyacdRowData(layout, i)) + "\r\n";
    return out;
}

std::string cyacdRowLine(std::uint8_t arrayId, std::size_t row, const std::vector<std::uint8_t>& data) {
    std::uint32_t sum = static_cast<std::uint32_t>(arrayId + (row >> 8) + (row & 0xFF) + (data.size() >> 8) +
                                                   (data.size() & 0xFF));
    for (auto b : data) sum += b;
    std::string line = ":";
    line += hexNumber(arrayId, 2) + hexNumber(row, 4) + hexNumber(data.size(), 4) + toUpper(hexBytes(data)) +
            hexNumber(static_cast<std::uint8_t>(-sum), 2);
    return line;
}

std::vector<std::uint8_t> mcuImageBytes(const McuHexSpec& layout) {
    if (layout.bytes == 0 || layout.bytes > 0x10000) throw BenchError("an MCU image holds 1..65536 bytes");
    return patternBytes(layout.bytes, 0x4D430000u + layout.seed);
}

std::string mcuHexText(const McuHexSpec& layout) {
    if (layout.recordLength == 0 || layout.recordLength > 255)
        throw BenchError("an Intel HEX record holds 1..255 bytes");
    const auto bytes = mcuImageBytes(layout);
    std::string out;
    appendRecord(out, 4, 0,
                 {static_cast<std::uint8_t>(layout.upperAddress >> 8),
                  static_cast<std::uint8_t>(layout.upperAddress)});
    for (std::size_t at = 0; at < bytes.size(); at += layout.recordLength) {
        const std::size_t n = std::min(layout.recordLength, bytes.size() - at);
        appendRecord(out, 0, static_cast<std::uint16_t>(at),
                     std::vector<std::uint8_t>(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                                               bytes.begin() + static_cast<std::ptrdiff_t>(at + n)));
    }
    if (layout.endRecord) appendRecord(out, 1, 0, {});
    return out;
}

}  // namespace bench
