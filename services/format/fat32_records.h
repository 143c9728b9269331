// The FAT32 structures the formatter writes, byte for byte as they lie on the volume (little-endian).
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

namespace quib::services::fat32 {

static_assert(std::endian::native == std::endian::little, "the records are laid out little-endian");

#pragma pack(push, 1)
// Boot sector with the FAT32 BIOS parameter block; 512 bytes, the signature at 510.
struct BootSector {
    std::uint8_t jump[3];
    char oemName[8];
    std::uint16_t bytesPerSector;
    std::uint8_t sectorsPerCluster;
    std::uint16_t reservedSectors;
    std::uint8_t numberOfFats;
    std::uint16_t rootEntries;
    std::uint16_t totalSectors16;
    std::uint8_t media;
    std::uint16_t fatSize16;
    std::uint16_t sectorsPerTrack;
    std::uint16_t heads;
    std::uint32_t hiddenSectors;
    std::uint32_t totalSectors32;
    std::uint32_t fatSize32;
    std::uint16_t extendedFlags;
    std::uint16_t fileSystemVersion;
    std::uint32_t rootCluster;
    std::uint16_t fsInfoSector;
    std::uint16_t backupBootSector;
    std::uint8_t reserved[12];
    std::uint8_t driveNumber;
    std::uint8_t reserved1;
    std::uint8_t bootSignature;
    std::uint32_t volumeId;
    char volumeLabel[11];
    char fileSystemType[8];
    std::uint8_t bootCode[420];
    std::uint8_t signature[2];
};

// FSInfo sector; 512 bytes.
struct FsInfoSector {
    std::uint32_t leadSignature;
    std::uint8_t reserved1[480];
    std::uint32_t structSignature;
    std::uint32_t freeCount;
    std::uint32_t nextFree;
    std::uint8_t reserved2[12];
    std::uint32_t trailSignature;
};

// A 32-byte short directory entry (the volume label's).
struct DirectoryEntry {
    char name[11];
    std::uint8_t attributes;
    std::uint8_t ntReserved;
    std::uint8_t createTimeTenths;
    std::uint16_t createTime;
    std::uint16_t createDate;
    std::uint16_t accessDate;
    std::uint16_t firstClusterHigh;
    std::uint16_t writeTime;
    std::uint16_t writeDate;
    std::uint16_t firstClusterLow;
    std::uint32_t fileSize;
};
#pragma pack(pop)

static_assert(sizeof(BootSector) == 512);
static_assert(offsetof(BootSector, oemName) == 3);
static_assert(offsetof(BootSector, bytesPerSector) == 11);
static_assert(offsetof(BootSector, sectorsPerCluster) == 13);
static_assert(offsetof(BootSector, reservedSectors) == 14);
static_assert(offsetof(BootSector, numberOfFats) == 16);
static_assert(offsetof(BootSector, rootEntries) == 17);
static_assert(offsetof(BootSector, totalSectors16) == 19);
static_assert(offsetof(BootSector, media) == 21);
static_assert(offsetof(BootSector, fatSize16) == 22);
static_assert(offsetof(BootSector, sectorsPerTrack) == 24);
static_assert(offsetof(BootSector, heads) == 26);
static_assert(offsetof(BootSector, hiddenSectors) == 28);
static_assert(offsetof(BootSector, totalSectors32) == 32);
static_assert(offsetof(BootSector, fatSize32) == 36);
static_assert(offsetof(BootSector, extendedFlags) == 40);
static_assert(offsetof(BootSector, fileSystemVersion) == 42);
static_assert(offsetof(BootSector, rootCluster) == 44);
static_assert(offsetof(BootSector, fsInfoSector) == 48);
static_assert(offsetof(BootSector, backupBootSector) == 50);
static_assert(offsetof(BootSector, driveNumber) == 64);
static_assert(offsetof(BootSector, bootSignature) == 66);
static_assert(offsetof(BootSector, volumeId) == 67);
static_assert(offsetof(BootSector, volumeLabel) == 71);
static_assert(offsetof(BootSector, fileSystemType) == 82);
static_assert(offsetof(BootSector, signature) == 510);

static_assert(sizeof(FsInfoSector) == 512);
static_assert(offsetof(FsInfoSector, structSignature) == 484);
static_assert(offsetof(FsInfoSector, freeCount) == 488);
static_assert(offsetof(FsInfoSector, nextFree) == 492);
static_assert(offsetof(FsInfoSector, trailSignature) == 508);

static_assert(sizeof(DirectoryEntry) == 32);
static_assert(offsetof(DirectoryEntry, attributes) == 11);
static_assert(offsetof(DirectoryEntry, writeTime) == 22);
static_assert(offsetof(DirectoryEntry, writeDate) == 24);

}  // namespace quib::services::fat32
