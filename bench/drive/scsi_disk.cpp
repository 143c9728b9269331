#include "bench/drive/scsi_disk.h"

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

#include "bench/byte_order.h"

namespace bench {
namespace {

constexpr std::size_t kHardDiskWriteLimit = 32768;

void putBigEndian(std::span<std::uint8_t> field, std::uint64_t value) {
    for (std::size_t i = 0; i < field.size(); ++i)
        field[i] = static_cast<std::uint8_t>(value >> (8 * (field.size() - 1 - i)));
}

ScsiReply answer(std::span<const std::uint8_t> bytes, std::span<std::uint8_t> data) {
    const std::size_t n = std::min(bytes.size(), data.size());
    std::copy_n(bytes.begin(), n, data.begin());
    return ScsiReply::good(static_cast<std::uint32_t>(n));
}

}  // namespace

ScsiReply readCapacity10(const DriveDescription& d, std::span<std::uint8_t> data) {
    const std::uint64_t last = d.reportedBlocks() - 1;
    std::array<std::uint8_t, 8> a{};
    // Beyond 32 bits the host must ask READ CAPACITY(16).
    putBigEndian(std::span(a).first(4), std::min<std::uint64_t>(last, 0xFFFFFFFF));
    putBigEndian(std::span(a).subspan(4, 4), d.reportedBytesPerSector);
    return answer(a, data);
}

ScsiReply readCapacity16(const DriveDescription& d, std::span<std::uint8_t> data) {
    std::array<std::uint8_t, 32> a{};
    putBigEndian(std::span(a).first(8), d.reportedBlocks() - 1);
    putBigEndian(std::span(a).subspan(8, 4), d.reportedBytesPerSector);
    return answer(a, data);
}

namespace {

struct BlockRange {
    std::uint64_t lba = 0;
    std::uint64_t blocks = 0;
};

BlockRange rangeOf(const ScsiCommand& c) {
    if (c.cdbLength == 16) return {be64(&c.cdb[2]), be32(&c.cdb[10])};
    return {be32(&c.cdb[2]), be16(&c.cdb[7])};
}

// The length must be the blocks the CDB names and the range must lie on the reported capacity.
std::optional<ScsiReply> refuseRange(const BlockRange& r, std::size_t length, const DriveDescription& d) {
    if (r.blocks * d.reportedBytesPerSector != length) return ScsiReply::check(kAscInvalidFieldInCdb);
    if (r.lba > d.reportedBlocks() || r.blocks > d.reportedBlocks() - r.lba)
        return ScsiReply::check(kAscLbaOutOfRange);
    return std::nullopt;
}

}  // namespace

ScsiReply readBlocks(const ScsiCommand& c, std::span<std::uint8_t> data, const DriveDescription& d,
                     const SectorStore& medium) {
    const BlockRange r = rangeOf(c);
    if (const auto refusal = refuseRange(r, data.size(), d)) return *refusal;
    medium.read(r.lba * d.reportedBytesPerSector / SectorStore::kUnit, data);
    return ScsiReply::good(static_cast<std::uint32_t>(data.size()));
}

ScsiReply writeBlocks(const ScsiCommand& c, std::span<std::uint8_t> data, const DriveDescription& d,
                      SectorStore& medium) {
    const BlockRange r = rangeOf(c);
    if (const auto refusal = refuseRange(r, data.size(), d)) return *refusal;
    medium.write(r.lba * d.reportedBytesPerSector / SectorStore::kUnit, data);
    return ScsiReply::good(static_cast<std::uint32_t>(data.size()));
}

ScsiReply modeSense(const ScsiCommand& c, std::span<std::uint8_t> data) {
    const bool ten = c.cdb[0] == 0x5A;
    const std::uint8_t control = c.cdb[2] >> 6;  // 0 current, 1 changeable, 2 default, 3 saved
    const std::uint8_t page = c.cdb[2] & 0x3F;
    if (control == 3) return ScsiReply::check(0x39);  // SAVING PARAMETERS NOT SUPPORTED
    if (page != 0x08 && page != 0x0A && page != 0x3F) return ScsiReply::check(kAscInvalidFieldInCdb);
    // No block descriptors; the caching page (write cache off, so a host never needs to flush) and the
    // control page; nothing is changeable.
    std::vector<std::uint8_t> a(ten ? 8 : 4, 0);
    if (page == 0x08 || page == 0x3F) {
        std::vector<std::uint8_t> caching(20, 0);
        caching[0] = 0x08;
        caching[1] = 0x12;  // WCE 0, RCD 0: reads cached, writes through
        a.insert(a.end(), caching.begin(), caching.end());
    }
    if (page == 0x0A || page == 0x3F) {
        std::vector<std::uint8_t> controlPage(12, 0);
        controlPage[0] = 0x0A;
        controlPage[1] = 0x0A;
        a.insert(a.end(), controlPage.begin(), controlPage.end());
    }
    if (ten)
        putBigEndian(std::span(a).first(2), a.size() - 2);
    else
        a[0] = static_cast<std::uint8_t>(a.size() - 1);
    return answer(a, data);
}

ScsiReply hardDiskWrite(const ScsiCommand& c, std::span<std::uint8_t> data, const DriveDescription& d,
                        SectorStore& medium) {
    if (c.cdbLength != 16 || c.cdb[4] != 0x35) return ScsiReply::check(kAscInvalidFieldInCdb);
    const std::size_t count = c.cdb[14] | (c.cdb[15] << 8);
    const std::uint64_t lba = std::uint64_t{c.cdb[6]} | (std::uint64_t{c.cdb[7]} << 8) |
                              (std::uint64_t{c.cdb[8]} << 16) | (std::uint64_t{c.cdb[10]} << 24) |
                              (std::uint64_t{c.cdb[11]} << 32) | (std::uint64_t{c.cdb[12]} << 40);
    if (count * SectorStore::kUnit != data.size() || data.size() > kHardDiskWriteLimit ||
        (!data.empty() && c.dataIn != 0))
        return ScsiReply::check(kAscInvalidFieldInCdb);
    if (lba + count > d.unitsHeld()) return ScsiReply::check(kAscLbaOutOfRange);
    medium.write(lba, data);
    return ScsiReply::good(static_cast<std::uint32_t>(data.size()));
}

}  // namespace bench
