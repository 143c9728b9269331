// The FAT32 formatter's arithmetic and records: cluster choice, FAT size, refusals and the bytes of the
// boot sector, FSInfo, FAT and label entry.
#include "services/format/fat32_layout.h"

#include <gtest/gtest.h>

#include <cstring>

namespace f = quib::services::fat32;

namespace {

constexpr std::uint64_t kGiB = 1024ull * 1024 * 1024;

std::uint32_t u32(const f::Bytes& b, std::size_t at) {
    std::uint32_t v;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}
std::uint16_t u16(const f::Bytes& b, std::size_t at) {
    std::uint16_t v;
    std::memcpy(&v, b.data() + at, 2);
    return v;
}

f::Layout layoutOf(std::uint64_t bytes, std::uint32_t bytesPerSector, std::uint32_t request) {
    const auto plan = f::planVolume({.bytesPerSector = bytesPerSector, .partitionBytes = bytes}, request);
    EXPECT_TRUE(plan.layout) << plan.refusal;
    return plan.layout.value_or(f::Layout{});
}

}  // namespace

TEST(Fat32Layout, ClusterRequestByDiskSize) {
    const std::pair<std::int64_t, std::uint32_t> rows[] = {
        {-1, 128},    {0, 128},     {40960, 16},  {102400, 16}, {140288, 16},  {140289, 32},
        {280576, 32}, {280577, 64}, {307200, 64}, {562176, 64}, {562177, 128}, {2097151, 128},
    };
    for (const auto& [mib, spc] : rows) EXPECT_EQ(f::clusterRequestForDisk(mib), spc) << mib << " MiB";
}

TEST(Fat32Layout, ClusterSizeByPartitionWhenNothingWasAsked) {
    const std::tuple<std::uint64_t, std::uint32_t, std::uint32_t> rows[] = {
        {512, 512, 1},    {513, 512, 8},    {8192, 512, 8},   {8193, 512, 16},
        {16385, 512, 32}, {32769, 512, 64}, {32769, 4096, 8}, {513, 4096, 1},
    };
    for (const auto& [mib, bps, spc] : rows) EXPECT_EQ(f::clusterSizeForPartition(mib, bps), spc) << mib;
}

// The FAT holds an entry for every cluster and the free count leaves out the root directory's.
TEST(Fat32Layout, FatSizeCountsAndFreeClusters) {
    const auto layout = layoutOf(100 * kGiB, 512, 16);
    EXPECT_EQ(layout.totalSectors, 209715200u);
    EXPECT_EQ(layout.fatSize, 4 * (209715200ull - 32) / (16 * 512 + 8) + 1);
    EXPECT_EQ(layout.fatSize, 102301u);
    EXPECT_EQ(layout.dataSectors, 209715200u - 2 * 102301u - 32u);
    EXPECT_EQ(layout.clusterCount, layout.dataSectors / 16);
    EXPECT_EQ(layout.freeClusters(), layout.dataSectors / 16 - 1);
    EXPECT_GE(std::uint64_t{layout.fatSize} * 512, layout.fatBytesNeeded);
    EXPECT_EQ(layout.rootDirectorySector(), 32u + 2 * 102301u);
    EXPECT_EQ(layout.systemAreaSectors(), 32u + 2 * 102301u + 16u);

    // 83,886,016 sectors: the formula gives 40,920 FAT sectors for 5,237,759 clusters, whose entries and
    // the two reserved ones need 40,921. The FAT grows by that sector, and the change is said.
    const auto grown = f::planVolume({.bytesPerSector = 512, .partitionBytes = 83886016ull * 512}, 16);
    ASSERT_TRUE(grown.layout);
    EXPECT_EQ(f::fatSizeFor(83886016, 16, 512), 40920u);
    EXPECT_EQ(grown.layout->fatSize, 40921u);
    EXPECT_EQ(grown.layout->clusterCount, (83886016u - 2 * 40921u - 32u) / 16);
    EXPECT_GE(std::uint64_t{grown.layout->fatSize} * 512, (grown.layout->clusterCount + 2) * 4);
    EXPECT_EQ(grown.changes.size(), 1u);
}

TEST(Fat32Layout, VolumesFat32CannotHoldAreRefused) {
    const std::tuple<std::uint64_t, std::uint32_t> rows[] = {
        {0xFFFFull * 512, 512},      // 0xFFFF sectors
        {0xFFFFFFFFull * 512, 512},  // 2 TiB less one sector: 0xFFFFFFFF sectors
        {4 * 1024 * kGiB, 512},      // 4 TiB
        {40 * kGiB, 520},            // no such sector size
        {40 * kGiB, 1000},
    };
    for (const auto& [bytes, bps] : rows) {
        const auto plan = f::planVolume({.bytesPerSector = bps, .partitionBytes = bytes}, 16);
        EXPECT_FALSE(plan.layout) << bytes << " bytes of " << bps;
        EXPECT_FALSE(plan.refusal.empty());
    }
}

// A cluster over 64 KiB, or too few clusters for FAT32 (such a volume reads as FAT16), is changed and said.
TEST(Fat32Layout, ClusterSizeIsFittedToAValidFat32) {
    struct Row {
        std::uint64_t bytes;
        std::uint32_t bps, request, spc;
    };
    const Row rows[] = {
        {100 * kGiB, 4096, 128, 16},  // 512 KiB asked: 64 KiB
        {100 * kGiB, 512, 128, 128},  // 64 KiB stays
        {300ull << 20, 512, 16, 8},   // 300 MiB: 38,360 clusters of 16 sectors, 76,646 of 8
        {1 * kGiB, 4096, 16, 2},      // 16,383 clusters of 64 KiB; 131,007 of 8 KiB
        {40 * kGiB, 4096, 16, 16},
    };
    for (const auto& row : rows) {
        const auto plan =
            f::planVolume({.bytesPerSector = row.bps, .partitionBytes = row.bytes}, row.request);
        ASSERT_TRUE(plan.layout) << plan.refusal;
        EXPECT_EQ(plan.layout->sectorsPerCluster, row.spc) << row.bytes;
        EXPECT_EQ(plan.changes.empty(), row.request == row.spc);
        EXPECT_GE(plan.layout->clusterCount, f::kMinimumClusters);
    }
    EXPECT_FALSE(f::planVolume({.bytesPerSector = 4096, .partitionBytes = 0x10000ull * 4096 / 8}, 1).layout);
}

TEST(Fat32Layout, VolumeIdFromTheLocalTime) {
    // 2026-12-09 14:05:07.890: low (9 + 12 * 256) + (89 + 7 * 256), high (5 + 14 * 256) + 2026.
    const f::LocalTime t{2026, 12, 9, 14, 5, 7, 890};
    EXPECT_EQ(f::volumeIdFrom(t), ((5u + 14 * 256 + 2026) << 16) | (9u + 12 * 256 + 89 + 7 * 256));
    // Each half wraps at 65536.
    const f::LocalTime late{65000, 12, 31, 23, 59, 59, 999};
    EXPECT_EQ(f::volumeIdFrom(late) >> 16, (59u + 23 * 256 + 65000) % 65536);
}

TEST(Fat32Layout, BootSectorFsInfoAndFatBytes) {
    for (std::uint32_t bps : {512u, 4096u}) {
        SCOPED_TRACE(bps);
        const f::VolumeGeometry geometry{bps, 63, 255, 2048, 100 * kGiB};
        const auto layout = layoutOf(geometry.partitionBytes, bps, 16);
        const auto boot = f::makeBootSector(layout, geometry, 0x12345678, "QUIB");
        ASSERT_EQ(boot.size(), bps);
        EXPECT_EQ(f::Bytes(boot.begin(), boot.begin() + 11),
                  (f::Bytes{0xEB, 0x5A, 0x90, 'M', 'S', 'W', 'I', 'N', '4', '.', '1'}));
        EXPECT_EQ(u16(boot, 11), bps);
        EXPECT_EQ(boot[13], 16);
        EXPECT_EQ(u16(boot, 14), 32);
        EXPECT_EQ(boot[16], 2);
        EXPECT_EQ(u16(boot, 17) | u16(boot, 19) | u16(boot, 22), 0);
        EXPECT_EQ(boot[21], 0xF8);
        EXPECT_EQ(u16(boot, 24), 63);
        EXPECT_EQ(u16(boot, 26), 255);
        EXPECT_EQ(u32(boot, 28), 2048u);
        EXPECT_EQ(u32(boot, 32), layout.totalSectors);
        EXPECT_EQ(u32(boot, 36), layout.fatSize);
        EXPECT_EQ(u32(boot, 44), 2u);
        EXPECT_EQ(u16(boot, 48), 1);
        EXPECT_EQ(u16(boot, 50), 6);
        EXPECT_EQ(boot[64], 0x80);
        EXPECT_EQ(boot[66], 0x29);
        EXPECT_EQ(u32(boot, 67), 0x12345678u);
        EXPECT_EQ(std::string(boot.begin() + 71, boot.begin() + 82), "QUIB       ");
        EXPECT_EQ(std::string(boot.begin() + 82, boot.begin() + 90), "FAT32   ");
        EXPECT_EQ(u16(boot, 510), 0xAA55);
        EXPECT_EQ(u16(boot, bps - 2), 0xAA55);

        const auto info = f::makeFsInfoSector(layout);
        ASSERT_EQ(info.size(), bps);
        EXPECT_EQ(u32(info, 0), 0x41615252u);
        EXPECT_EQ(u32(info, 484), 0x61417272u);
        EXPECT_EQ(u32(info, 488), layout.dataSectors / 16 - 1);
        EXPECT_EQ(u32(info, 492), 3u);
        EXPECT_EQ(u32(info, 508), 0xAA550000u);

        const auto fat = f::makeFirstFatSector(layout);
        EXPECT_EQ(u32(fat, 0), 0x0FFFFFF8u);
        EXPECT_EQ(u32(fat, 4), 0x0FFFFFFFu);
        EXPECT_EQ(u32(fat, 8), 0x0FFFFFFFu);
        EXPECT_EQ(u32(fat, 12), 0u);
    }
}

TEST(Fat32Layout, LabelEntryInTheRootDirectory) {
    const f::LocalTime t{2026, 12, 9, 14, 5, 8, 0};
    const auto block = f::makeRootDirectoryBlock("PRODUCTION LINE 7", t);
    ASSERT_EQ(block.size(), 4096u);
    EXPECT_EQ(std::string(block.begin(), block.begin() + 11), "PRODUCTION ");
    EXPECT_EQ(block[11], 0x08);
    EXPECT_EQ(u16(block, 22), (14 << 11) | (5 << 5) | 4);
    EXPECT_EQ(u16(block, 24), (46 << 9) | (12 << 5) | 9);
    EXPECT_EQ(std::count(block.begin() + 32, block.end(), 0), 4096 - 32);
    EXPECT_EQ(f::labelField(""), "NO NAME    ");
    EXPECT_EQ(f::labelField("AB"), "AB         ");
    EXPECT_EQ(f::makeRootDirectoryBlock("", t), f::Bytes(4096, 0));
}
