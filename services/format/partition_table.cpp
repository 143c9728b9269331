#include "services/format/partition_table.h"

#include <algorithm>
#include <cstring>

#include "services/format/partition_records.h"

namespace quib::services::partition {
namespace {

constexpr std::uint8_t kProtectiveType = 0xEE;
constexpr std::uint64_t kMbrLimit = 0xFFFFFFFF;

std::uint32_t entriesSectors(std::uint32_t sectorSize) {
    return (kGptEntriesBytes + sectorSize - 1) / sectorSize;
}

// Cylinder-head-sector fields are not used for disks this size: every one says "beyond CHS".
void fillChs(MbrEntry& e) {
    e.firstChs[0] = e.lastChs[0] = 0xFE;
    e.firstChs[1] = e.lastChs[1] = 0xFF;
    e.firstChs[2] = e.lastChs[2] = 0xFF;
}

Bytes mbrSector(const MasterBootRecord& mbr, std::uint32_t sectorSize) {
    Bytes sector(sectorSize, 0);
    std::memcpy(sector.data(), &mbr, sizeof mbr);
    return sector;
}

Bytes gptEntries(const Table& table) {
    Bytes entries(kGptEntriesBytes, 0);
    for (std::size_t i = 0; i < table.partitions.size(); ++i) {
        const Partition& p = table.partitions[i];
        GptEntry e{};
        std::memcpy(e.typeGuid, p.type.data(), 16);
        std::memcpy(e.uniqueGuid, p.unique.data(), 16);
        e.firstLba = p.firstLba;
        e.lastLba = p.firstLba + p.sectorCount - 1;
        char16_t name[36] = {};
        std::copy_n(p.name.begin(), std::min<std::size_t>(p.name.size(), 36), name);
        std::memcpy(e.name, name, sizeof name);
        std::memcpy(entries.data() + i * sizeof e, &e, sizeof e);
    }
    return entries;
}

Bytes gptHeader(const Table& table, std::uint64_t diskSectors, std::uint32_t sectorSize, bool backup,
                std::uint32_t entriesCrc) {
    GptHeader h{};
    std::memcpy(h.signature, "EFI PART", 8);
    h.revision = 0x00010000;
    h.headerSize = sizeof(GptHeader);
    h.myLba = backup ? diskSectors - 1 : 1;
    h.alternateLba = backup ? 1 : diskSectors - 1;
    h.firstUsableLba = gptFirstUsable(sectorSize);
    h.lastUsableLba = gptLastUsable(diskSectors, sectorSize);
    std::memcpy(h.diskGuid, table.diskGuid.data(), 16);
    h.entriesLba = backup ? diskSectors - 1 - entriesSectors(sectorSize) : 2;
    h.entryCount = kGptEntryCount;
    h.entrySize = sizeof(GptEntry);
    h.entriesCrc32 = entriesCrc;
    h.headerCrc32 = crc32(std::span(reinterpret_cast<const std::uint8_t*>(&h), sizeof h));
    Bytes sector(sectorSize, 0);
    std::memcpy(sector.data(), &h, sizeof h);
    return sector;
}

std::optional<Table> readGpt(const SectorReader& read, std::uint64_t lba, std::uint64_t diskSectors,
                             std::uint32_t sectorSize) {
    const Bytes sector = read(lba, 1);
    if (sector.size() < sizeof(GptHeader)) return std::nullopt;
    GptHeader h;
    std::memcpy(&h, sector.data(), sizeof h);
    const std::uint32_t stored = h.headerCrc32;
    h.headerCrc32 = 0;
    if (std::memcmp(h.signature, "EFI PART", 8) != 0 || h.headerSize != sizeof(GptHeader) ||
        crc32(std::span(reinterpret_cast<const std::uint8_t*>(&h), sizeof h)) != stored || h.myLba != lba ||
        h.entrySize != sizeof(GptEntry) || h.entryCount == 0 || h.entryCount > 1024 ||
        h.lastUsableLba >= diskSectors || h.entriesLba >= diskSectors)
        return std::nullopt;
    const std::uint64_t bytes = std::uint64_t{h.entryCount} * h.entrySize;
    const Bytes entries =
        read(h.entriesLba, static_cast<std::uint32_t>((bytes + sectorSize - 1) / sectorSize));
    if (entries.size() < bytes || crc32(std::span(entries).first(bytes)) != h.entriesCrc32)
        return std::nullopt;
    Table table;
    table.gpt = true;
    std::memcpy(table.diskGuid.data(), h.diskGuid, 16);
    for (std::uint32_t i = 0; i < h.entryCount; ++i) {
        GptEntry e;
        std::memcpy(&e, entries.data() + std::size_t{i} * sizeof e, sizeof e);
        if (std::all_of(std::begin(e.typeGuid), std::end(e.typeGuid), [](std::uint8_t b) { return b == 0; }))
            continue;
        if (e.lastLba < e.firstLba) return std::nullopt;
        Partition p;
        std::memcpy(p.type.data(), e.typeGuid, 16);
        std::memcpy(p.unique.data(), e.uniqueGuid, 16);
        p.firstLba = e.firstLba;
        p.sectorCount = e.lastLba - e.firstLba + 1;
        char16_t name[36];
        std::memcpy(name, e.name, sizeof name);
        p.name.assign(name, std::find(std::begin(name), std::end(name), u'\0'));
        table.partitions.push_back(p);
    }
    return table;
}

}  // namespace

std::uint32_t crc32(std::span<const std::uint8_t> data) {
    std::uint32_t crc = 0xFFFFFFFF;
    for (std::uint8_t byte : data) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
    }
    return ~crc;
}

std::uint64_t gptFirstUsable(std::uint32_t sectorSize) {
    return 2 + entriesSectors(sectorSize);
}

std::uint64_t gptLastUsable(std::uint64_t diskSectors, std::uint32_t sectorSize) {
    return diskSectors - 2 - entriesSectors(sectorSize);
}

std::vector<SectorWrite> encode(const Table& table, std::uint64_t diskSectors, std::uint32_t sectorSize) {
    const std::uint64_t first = table.gpt ? gptFirstUsable(sectorSize) : 1;
    const std::uint64_t last = table.gpt ? gptLastUsable(diskSectors, sectorSize) : diskSectors - 1;
    if (sectorSize < 512 || diskSectors <= first + 1 ||
        table.partitions.size() > (table.gpt ? kGptEntryCount : 4))
        return {};
    for (const Partition& p : table.partitions) {
        if (p.sectorCount == 0 || p.firstLba < first || p.firstLba > last ||
            p.sectorCount - 1 > last - p.firstLba)
            return {};
        if (!table.gpt && (p.firstLba > kMbrLimit || p.sectorCount > kMbrLimit)) return {};
    }
    MasterBootRecord mbr{};
    mbr.signature[0] = 0x55;
    mbr.signature[1] = 0xAA;
    if (!table.gpt) {
        mbr.diskSignature = table.diskSignature;
        for (std::size_t i = 0; i < table.partitions.size(); ++i) {
            const Partition& p = table.partitions[i];
            MbrEntry& e = mbr.entries[i];
            e.status = p.active ? 0x80 : 0x00;
            e.type = p.mbrType;
            fillChs(e);
            e.firstLba = static_cast<std::uint32_t>(p.firstLba);
            e.sectorCount = static_cast<std::uint32_t>(p.sectorCount);
        }
        return {{0, mbrSector(mbr, sectorSize)}};
    }
    MbrEntry& protective = mbr.entries[0];
    protective.type = kProtectiveType;
    protective.firstChs[1] = 0x02;  // CHS 0/0/2: sector 1
    protective.lastChs[0] = protective.lastChs[1] = protective.lastChs[2] = 0xFF;
    protective.firstLba = 1;
    protective.sectorCount = static_cast<std::uint32_t>(std::min(diskSectors - 1, kMbrLimit));
    Bytes entries = gptEntries(table);
    entries.resize(std::size_t{entriesSectors(sectorSize)} * sectorSize, 0);
    const std::uint32_t entriesCrc = crc32(std::span(entries).first(kGptEntriesBytes));
    std::vector<SectorWrite> writes;
    writes.push_back({0, mbrSector(mbr, sectorSize)});
    writes.push_back({1, gptHeader(table, diskSectors, sectorSize, false, entriesCrc)});
    writes.push_back({2, entries});
    writes.push_back({diskSectors - 1 - entriesSectors(sectorSize), entries});
    writes.push_back({diskSectors - 1, gptHeader(table, diskSectors, sectorSize, true, entriesCrc)});
    return writes;
}

std::optional<Table> decode(const SectorReader& read, std::uint64_t diskSectors, std::uint32_t sectorSize) {
    const Bytes sector = read(0, 1);
    if (sector.size() < sizeof(MasterBootRecord) || diskSectors < 3) return std::nullopt;
    MasterBootRecord mbr;
    std::memcpy(&mbr, sector.data(), sizeof mbr);
    if (mbr.signature[0] != 0x55 || mbr.signature[1] != 0xAA) return std::nullopt;
    if (mbr.entries[0].type == kProtectiveType) {
        if (auto gpt = readGpt(read, 1, diskSectors, sectorSize)) return gpt;
        if (auto backup = readGpt(read, diskSectors - 1, diskSectors, sectorSize)) return backup;
        return std::nullopt;
    }
    Table table;
    table.diskSignature = mbr.diskSignature;
    for (const MbrEntry& e : mbr.entries) {
        if (e.type == 0 || e.sectorCount == 0) continue;
        Partition p;
        p.firstLba = e.firstLba;
        p.sectorCount = e.sectorCount;
        p.mbrType = e.type;
        p.active = e.status == 0x80;
        table.partitions.push_back(p);
    }
    return table;
}

}  // namespace quib::services::partition
