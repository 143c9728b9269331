#include "bench/volume/disk_layout.h"

#include <cstring>

#include "bench/byte_order.h"

namespace bench {

std::uint32_t crc32(std::span<const std::uint8_t> bytes) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const std::uint8_t b : bytes) {
        crc ^= b;
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

namespace {

constexpr std::uint8_t kGptGuard = 0xEE;

std::optional<std::vector<PartitionSlot>> gptAt(const DiskReader& read, std::uint32_t ss,
                                                std::uint64_t diskBytes, std::uint64_t headerLba) {
    std::vector<std::uint8_t> header(ss);
    if (!read(headerLba * ss, header) || std::memcmp(header.data(), "EFI PART", 8) != 0) return std::nullopt;
    const std::uint32_t headerSize = le32(&header[12]);
    if (headerSize < 92 || headerSize > ss || le64(&header[24]) != headerLba) return std::nullopt;
    std::vector<std::uint8_t> check(header.begin(), header.begin() + headerSize);
    std::memset(&check[16], 0, 4);
    if (crc32(check) != le32(&header[16])) return std::nullopt;
    const std::uint64_t entriesLba = le64(&header[72]);
    const std::uint32_t count = le32(&header[80]), entrySize = le32(&header[84]);
    if (entrySize < 128 || entrySize % 8 != 0 || count > 16384) return std::nullopt;
    const std::uint64_t arrayBytes = std::uint64_t{count} * entrySize;
    if (entriesLba * ss + arrayBytes > diskBytes) return std::nullopt;
    std::vector<std::uint8_t> entries(arrayBytes);
    if (!read(entriesLba * ss, entries) || crc32(entries) != le32(&header[88])) return std::nullopt;
    const std::uint64_t firstUsable = le64(&header[40]), lastUsable = le64(&header[48]);
    std::vector<PartitionSlot> out;
    static constexpr std::array<std::uint8_t, 16> kUnused{};
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint8_t* e = &entries[std::size_t{i} * entrySize];
        if (std::memcmp(e, kUnused.data(), 16) == 0) continue;
        const std::uint64_t first = le64(e + 32), last = le64(e + 40);
        if (first < firstUsable || last > lastUsable || last < first)
            continue;  // ignored, as the system does
        PartitionSlot p;
        p.number = static_cast<std::uint32_t>(out.size() + 1);
        p.offset = first * ss;
        p.length = (last - first + 1) * ss;
        std::memcpy(p.gptType.data(), e, 16);
        p.entryOffset = entriesLba * ss + std::uint64_t{i} * entrySize;
        out.push_back(p);
    }
    return out;
}

}  // namespace

DiskLayout readDiskLayout(const DiskReader& read, std::uint32_t ss, std::uint64_t diskBytes) {
    DiskLayout layout;
    std::vector<std::uint8_t> mbr(ss);
    if (ss < 512 || diskBytes < ss || !read(0, mbr) || mbr[510] != 0x55 || mbr[511] != 0xAA) return layout;
    bool guard = false;
    std::vector<PartitionSlot> mbrParts;
    for (int i = 0; i < 4; ++i) {
        const std::uint8_t* e = &mbr[446 + 16 * i];
        if (e[4] == 0) continue;
        if (e[4] == kGptGuard) guard = true;
        PartitionSlot p;
        p.number = static_cast<std::uint32_t>(mbrParts.size() + 1);
        p.offset = std::uint64_t{le32(e + 8)} * ss;
        p.length = std::uint64_t{le32(e + 12)} * ss;
        p.mbrType = e[4];
        p.active = e[0] == 0x80;
        p.entryOffset = 446 + 16u * static_cast<unsigned>(i);
        if (p.offset + p.length > diskBytes || p.length == 0) continue;
        mbrParts.push_back(p);
    }
    if (guard) {
        auto gpt = gptAt(read, ss, diskBytes, 1);
        if (!gpt) gpt = gptAt(read, ss, diskBytes, diskBytes / ss - 1);
        if (gpt) {
            layout.style = DiskLayout::Style::Gpt;
            layout.partitions = std::move(*gpt);
        }
        return layout;
    }
    layout.style = DiskLayout::Style::Mbr;
    layout.partitions = std::move(mbrParts);
    return layout;
}

const PartitionSlot* dataPartition(const DiskLayout& layout) {
    for (const PartitionSlot& p : layout.partitions) {
        if (layout.style == DiskLayout::Style::Gpt ? p.gptType == kGptMsrType : p.mbrType == 0xEE) continue;
        return &p;
    }
    return nullptr;
}

}  // namespace bench
