// Partition tables as they lie on a disk: the MBR's four entries, the GPT header and its entries
// (little-endian).
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

namespace quib::services::partition {

static_assert(std::endian::native == std::endian::little, "the records are laid out little-endian");

#pragma pack(push, 1)
struct MbrEntry {
    std::uint8_t status;  // 0x80 active
    std::uint8_t firstChs[3];
    std::uint8_t type;
    std::uint8_t lastChs[3];
    std::uint32_t firstLba;
    std::uint32_t sectorCount;
};

// The sector at LBA 0: boot code, disk signature, four entries, 55 AA.
struct MasterBootRecord {
    std::uint8_t bootCode[440];
    std::uint32_t diskSignature;
    std::uint16_t reserved;
    MbrEntry entries[4];
    std::uint8_t signature[2];
};

struct GptHeader {
    char signature[8];  // "EFI PART"
    std::uint32_t revision;
    std::uint32_t headerSize;
    std::uint32_t headerCrc32;
    std::uint32_t reserved;
    std::uint64_t myLba;
    std::uint64_t alternateLba;
    std::uint64_t firstUsableLba;
    std::uint64_t lastUsableLba;
    std::uint8_t diskGuid[16];
    std::uint64_t entriesLba;
    std::uint32_t entryCount;
    std::uint32_t entrySize;
    std::uint32_t entriesCrc32;
};

struct GptEntry {
    std::uint8_t typeGuid[16];
    std::uint8_t uniqueGuid[16];
    std::uint64_t firstLba;
    std::uint64_t lastLba;
    std::uint64_t attributes;
    char16_t name[36];
};
#pragma pack(pop)

static_assert(sizeof(MbrEntry) == 16);
static_assert(offsetof(MbrEntry, type) == 4);
static_assert(offsetof(MbrEntry, firstLba) == 8);
static_assert(offsetof(MbrEntry, sectorCount) == 12);
static_assert(sizeof(MasterBootRecord) == 512);
static_assert(offsetof(MasterBootRecord, diskSignature) == 440);
static_assert(offsetof(MasterBootRecord, entries) == 446);
static_assert(offsetof(MasterBootRecord, signature) == 510);
static_assert(sizeof(GptHeader) == 92);
static_assert(offsetof(GptHeader, headerCrc32) == 16);
static_assert(offsetof(GptHeader, myLba) == 24);
static_assert(offsetof(GptHeader, firstUsableLba) == 40);
static_assert(offsetof(GptHeader, diskGuid) == 56);
static_assert(offsetof(GptHeader, entriesLba) == 72);
static_assert(offsetof(GptHeader, entriesCrc32) == 88);
static_assert(sizeof(GptEntry) == 128);
static_assert(offsetof(GptEntry, firstLba) == 32);
static_assert(offsetof(GptEntry, name) == 56);

}  // namespace quib::services::partition
