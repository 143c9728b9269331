#include "bench/volume/volume_probe.h"

#include <cstring>
#include <vector>

#include "bench/byte_order.h"

namespace bench {
namespace {

bool powerOfTwo(std::uint32_t v) {
    return v != 0 && (v & (v - 1)) == 0;
}

std::string trimRight(std::string s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
    return s;
}

// UTF-16LE code units of the Basic Latin block as they are; others as '?'.
std::string narrow(const std::uint8_t* p, std::size_t units) {
    std::string out;
    for (std::size_t i = 0; i < units; ++i) {
        const std::uint16_t u = le16(p + 2 * i);
        out += u < 0x80 ? static_cast<char>(u) : '?';
    }
    return out;
}

std::optional<VolumeFacts> fat32(const DiskReader& read, const std::vector<std::uint8_t>& boot,
                                 std::uint64_t volumeBytes) {
    const std::uint32_t bps = le16(&boot[11]), spc = boot[13], reserved = le16(&boot[14]), fats = boot[16];
    const std::uint32_t fatSize = le32(&boot[36]);
    if (bps < 512 || bps > 4096 || !powerOfTwo(bps) || !powerOfTwo(spc) || reserved == 0 || fats == 0 ||
        le16(&boot[17]) != 0 || le16(&boot[22]) != 0 || fatSize == 0 || boot[510] != 0x55 ||
        boot[511] != 0xAA)
        return std::nullopt;
    const std::uint64_t total = le32(&boot[32]);
    const std::uint64_t firstData = reserved + std::uint64_t{fats} * fatSize;
    if (total * bps > volumeBytes || firstData >= total) return std::nullopt;
    const std::uint64_t clusters = (total - firstData) / spc;
    if (clusters < 65525) return std::nullopt;  // a FAT12/16 volume, whatever its boot sector says
    VolumeFacts facts{"FAT32", "", le32(&boot[67]), std::nullopt};
    const std::uint32_t rootCluster = le32(&boot[44]);
    if (rootCluster >= 2 && rootCluster - 2 < clusters) {
        std::vector<std::uint8_t> dir(std::size_t{spc} * bps);
        if (read((firstData + std::uint64_t{rootCluster - 2} * spc) * bps, dir)) {
            for (std::size_t at = 0; at + 32 <= dir.size() && dir[at] != 0; at += 32) {
                const std::uint8_t attr = dir[at + 11];
                if (dir[at] != 0xE5 && attr != 0x0F && (attr & 0x08)) {
                    facts.label = trimRight(std::string(reinterpret_cast<const char*>(&dir[at]), 11));
                    break;
                }
            }
        }
    }
    std::vector<std::uint8_t> info(bps);
    if (read(std::uint64_t{le16(&boot[48])} * bps, info) && le32(&info[0]) == 0x41615252 &&
        le32(&info[484]) == 0x61417272 && le32(&info[488]) <= clusters)
        facts.freeBytes = std::uint64_t{le32(&info[488])} * spc * bps;
    return facts;
}

std::optional<VolumeFacts> exfat(const DiskReader& read, const std::vector<std::uint8_t>& boot,
                                 std::uint64_t volumeBytes) {
    const unsigned bpsShift = boot[108], spcShift = boot[109];
    if (bpsShift < 9 || bpsShift > 12 || spcShift > 25 - bpsShift) return std::nullopt;
    const std::uint64_t bps = 1ull << bpsShift, clusterBytes = bps << spcShift;
    const std::uint64_t heap = le32(&boot[88]), clusters = le32(&boot[92]), root = le32(&boot[96]);
    if (le64(&boot[72]) * bps > volumeBytes || root < 2 || root - 2 >= clusters) return std::nullopt;
    VolumeFacts facts{"exFAT", "", le32(&boot[100]), std::nullopt};
    std::vector<std::uint8_t> dir(clusterBytes);
    if (read(heap * bps + (root - 2) * clusterBytes, dir)) {
        for (std::size_t at = 0; at + 32 <= dir.size() && dir[at] != 0; at += 32)
            if (dir[at] == 0x83) {
                facts.label = narrow(&dir[at + 2], std::min<std::size_t>(dir[at + 1], 11));
                break;
            }
    }
    return facts;
}

std::optional<VolumeFacts> ntfs(const DiskReader& read, const std::vector<std::uint8_t>& boot) {
    const std::uint32_t bps = le16(&boot[11]), spc = boot[13];
    if (bps < 512 || bps > 4096 || !powerOfTwo(bps) || !powerOfTwo(spc)) return std::nullopt;
    const std::uint64_t clusterBytes = std::uint64_t{bps} * spc;
    const auto perRecord = static_cast<std::int8_t>(boot[0x40]);
    const std::uint64_t recordBytes =
        perRecord < 0 ? (perRecord < -31 ? 0 : 1ull << -perRecord) : std::uint64_t(perRecord) * clusterBytes;
    VolumeFacts facts{"NTFS", "", le32(&boot[0x48]), std::nullopt};
    if (recordBytes < 512 || recordBytes > 65536) return facts;
    std::vector<std::uint8_t> rec(recordBytes);
    if (!read(le64(&boot[0x30]) * clusterBytes + 3 * recordBytes, rec) ||
        std::memcmp(rec.data(), "FILE", 4) != 0)
        return facts;
    // Each sector's last two bytes were swapped for the update sequence number; put them back.
    const std::uint16_t usaOffset = le16(&rec[4]), usaCount = le16(&rec[6]);
    if (usaCount == 0 || usaOffset + 2u * usaCount > recordBytes || (usaCount - 1u) * 512u > recordBytes)
        return facts;
    for (std::uint16_t i = 1; i < usaCount; ++i) std::memcpy(&rec[i * 512u - 2], &rec[usaOffset + 2u * i], 2);
    for (std::size_t at = le16(&rec[0x14]); at + 24 <= recordBytes;) {
        const std::uint32_t type = le32(&rec[at]), length = le32(&rec[at + 4]);
        if (type == 0xFFFFFFFF || length < 24 || at + length > recordBytes) break;
        if (type == 0x60 && rec[at + 8] == 0) {
            const std::uint32_t valueLength = le32(&rec[at + 16]);
            const std::uint16_t valueOffset = le16(&rec[at + 20]);
            if (valueOffset + valueLength <= length)
                facts.label = narrow(&rec[at + valueOffset], valueLength / 2);
            break;
        }
        at += length;
    }
    return facts;
}

}  // namespace

std::optional<VolumeFacts> probeVolume(const DiskReader& read, std::uint64_t volumeBytes) {
    std::vector<std::uint8_t> boot(512);
    if (volumeBytes < 512 || !read(0, boot)) return std::nullopt;
    if (std::memcmp(&boot[3], "EXFAT   ", 8) == 0) return exfat(read, boot, volumeBytes);
    if (std::memcmp(&boot[3], "NTFS    ", 8) == 0) return ntfs(read, boot);
    return fat32(read, boot, volumeBytes);
}

}  // namespace bench
