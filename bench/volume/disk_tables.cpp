#include "bench/volume/disk_tables.h"

#include <algorithm>
#include <cstring>

#include "bench/volume/disk_layout.h"

namespace bench {
namespace {

void put16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
void put32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void put64(std::uint8_t* p, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// One 16-byte MBR entry; the CHS fields hold the "beyond CHS" marker the system writes for large disks.
void mbrEntry(std::uint8_t* e, std::uint64_t first, std::uint64_t sectors, std::uint8_t type, bool active) {
    e[0] = active ? 0x80 : 0x00;
    e[1] = 0xFE, e[2] = 0xFF, e[3] = 0xFF;
    e[4] = type;
    e[5] = 0xFE, e[6] = 0xFF, e[7] = 0xFF;
    put32(e + 8, static_cast<std::uint32_t>(first));
    put32(e + 12, static_cast<std::uint32_t>(sectors));
}

std::vector<std::uint8_t> mbrSector(std::uint32_t signature, std::uint32_t sectorSize) {
    std::vector<std::uint8_t> s(std::max<std::uint32_t>(sectorSize, 512), 0);  // sectors are never smaller
    put32(&s[440], signature);
    s[510] = 0x55, s[511] = 0xAA;
    return s;
}

std::vector<std::uint8_t> gptHeader(const std::array<std::uint8_t, 16>& diskGuid, std::uint64_t self,
                                    std::uint64_t other, std::uint64_t entriesLba, std::uint64_t diskSectors,
                                    std::uint32_t sectorSize, std::uint32_t entriesCrc) {
    std::vector<std::uint8_t> h(std::max<std::uint32_t>(sectorSize, 512), 0);
    std::memcpy(h.data(), "EFI PART", 8);
    put32(&h[8], 0x00010000);
    put32(&h[12], 92);
    put64(&h[24], self);
    put64(&h[32], other);
    put64(&h[40], gptFirstUsableLba(sectorSize));
    put64(&h[48], gptLastUsableLba(diskSectors, sectorSize));
    std::memcpy(&h[56], diskGuid.data(), 16);
    put64(&h[72], entriesLba);
    put32(&h[80], kGptEntries);
    put32(&h[84], kGptEntryBytes);
    put32(&h[88], entriesCrc);
    put32(&h[16], crc32(std::span<const std::uint8_t>(h.data(), 92)));
    return h;
}

}  // namespace

std::uint64_t gptEntrySectors(std::uint32_t sectorSize) {
    return (std::uint64_t{kGptEntries} * kGptEntryBytes + sectorSize - 1) / sectorSize;
}

std::uint64_t gptFirstUsableLba(std::uint32_t sectorSize) {
    return 2 + gptEntrySectors(sectorSize);
}

std::uint64_t gptLastUsableLba(std::uint64_t diskSectors, std::uint32_t sectorSize) {
    return diskSectors - 2 - gptEntrySectors(sectorSize);
}

std::vector<SectorImage> mbrTable(std::uint32_t signature, const std::vector<TablePartition>& partitions,
                                  std::uint32_t sectorSize) {
    std::vector<std::uint8_t> s = mbrSector(signature, sectorSize);
    for (std::size_t i = 0; i < partitions.size() && i < 4; ++i) {
        const TablePartition& p = partitions[i];
        mbrEntry(&s[446 + 16 * i], p.firstLba, p.sectors, p.mbrType, p.active);
    }
    return {{0, std::move(s)}};
}

std::vector<SectorImage> gptTable(const std::array<std::uint8_t, 16>& diskGuid,
                                  const std::vector<TablePartition>& partitions, std::uint64_t diskSectors,
                                  std::uint32_t sectorSize) {
    std::vector<SectorImage> out;
    std::vector<std::uint8_t> guard = mbrSector(0, sectorSize);
    mbrEntry(&guard[446], 1, std::min<std::uint64_t>(diskSectors - 1, 0xFFFFFFFFu), 0xEE, false);
    out.push_back({0, std::move(guard)});

    const std::uint64_t entrySectors = gptEntrySectors(sectorSize);
    std::vector<std::uint8_t> entries(entrySectors * sectorSize, 0);
    for (std::size_t i = 0; i < partitions.size() && i < kGptEntries; ++i) {
        const TablePartition& p = partitions[i];
        std::uint8_t* e = &entries[i * kGptEntryBytes];
        std::memcpy(e, p.gptType.data(), 16);
        std::memcpy(e + 16, diskGuid.data(), 16);
        e[16 + 15] = static_cast<std::uint8_t>(e[16 + 15] ^ (i + 1));  // one unique GUID per entry
        put64(e + 32, p.firstLba);
        put64(e + 40, p.firstLba + p.sectors - 1);
        for (std::size_t c = 0; c < p.name.size() && c < 36; ++c) put16(e + 56 + 2 * c, p.name[c]);
    }
    const std::uint32_t entriesCrc =
        crc32(std::span<const std::uint8_t>(entries.data(), std::size_t{kGptEntries} * kGptEntryBytes));
    const std::uint64_t last = diskSectors - 1, backupEntries = last - entrySectors;
    out.push_back({1, gptHeader(diskGuid, 1, last, 2, diskSectors, sectorSize, entriesCrc)});
    out.push_back({2, entries});
    out.push_back({backupEntries, entries});
    out.push_back({last, gptHeader(diskGuid, last, 1, backupEntries, diskSectors, sectorSize, entriesCrc)});
    return out;
}

}  // namespace bench
