// Little-endian fields and ATA/NVMe texts read out of device data. Every reader checks its bounds, so a
// decoder handed a short buffer reads zeros instead of memory beyond it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace quibdiag {

using ByteView = std::span<const std::uint8_t>;

inline std::uint64_t readLe(ByteView data, std::size_t offset, std::size_t bytes) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < bytes && offset + i < data.size(); ++i)
        value |= std::uint64_t{data[offset + i]} << (8 * i);
    return value;
}
inline std::uint8_t byteAt(ByteView data, std::size_t offset) {
    return offset < data.size() ? data[offset] : 0;
}
inline std::uint16_t wordAt(ByteView data, std::size_t word) {
    return static_cast<std::uint16_t>(readLe(data, word * 2, 2));
}

// Device texts may hold anything: only printable ASCII is kept (others become '?'), trailing spaces and
// NULs go, so that tables and JSON stay clean.
std::string printableText(const std::string& raw);

// An ATA string: `words` words from word `first`, two characters per word, the first in the high byte.
std::string ataString(ByteView data, std::size_t first, std::size_t words);
// An NVMe text field: ASCII, left-aligned, space-padded.
std::string nvmeText(ByteView data, std::size_t offset, std::size_t length);

// The 8-bit sum of all bytes is zero (ATA IDENTIFY integrity word, SMART data and log checksums).
bool sumsToZero(ByteView data);

}  // namespace quibdiag
