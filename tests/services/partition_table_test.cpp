// Partition tables written and read back in memory: MBR and GPT, the checks of a GPT, and tables that do
// not fit their disk. (tests/services/fat32_image_test.cpp has sfdisk read them from image files.)
#include "services/format/partition_table.h"

#include <gtest/gtest.h>

#include <map>

namespace p = quib::services::partition;

namespace {

// A disk in memory: the sectors written, zeros elsewhere.
struct MemoryDisk {
    std::uint32_t sectorSize;
    std::map<std::uint64_t, p::Bytes> sectors;

    void apply(const std::vector<p::SectorWrite>& writes) {
        for (const auto& w : writes)
            for (std::size_t at = 0; at < w.bytes.size(); at += sectorSize)
                sectors[w.lba + at / sectorSize] =
                    p::Bytes(w.bytes.begin() + at, w.bytes.begin() + at + sectorSize);
    }
    p::SectorReader reader() const {
        return [this](std::uint64_t lba, std::uint32_t count) {
            p::Bytes out;
            for (std::uint32_t i = 0; i < count; ++i) {
                const auto it = sectors.find(lba + i);
                const p::Bytes zeros(sectorSize, 0);
                const p::Bytes& s = it == sectors.end() ? zeros : it->second;
                out.insert(out.end(), s.begin(), s.end());
            }
            return out;
        };
    }
};

p::Table gptTable() {
    p::Table t;
    t.gpt = true;
    t.diskGuid = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    p::Partition msr{.firstLba = 34,
                     .sectorCount = 32734,
                     .type = p::kMicrosoftReservedType,
                     .name = u"Microsoft reserved partition"};
    p::Partition data{
        .firstLba = 32768, .sectorCount = 1000000, .unique = {0xAA, 0xBB}, .name = u"Basic data partition"};
    t.partitions = {msr, data};
    return t;
}

}  // namespace

TEST(PartitionTable, Crc32OfTheCheckString) {
    const std::string text = "123456789";
    EXPECT_EQ(p::crc32(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size())),
              0xCBF43926u);
}

TEST(PartitionTable, MbrAndGptReadBackAsWritten) {
    for (std::uint32_t sectorSize : {512u, 4096u}) {
        SCOPED_TRACE(sectorSize);
        const std::uint64_t disk = 4'000'000;
        p::Table mbr;
        mbr.diskSignature = 0x1234ABCD;
        mbr.partitions = {{.firstLba = 2048, .sectorCount = disk - 2048, .mbrType = 0x0C, .active = true}};
        for (const p::Table& table : {mbr, gptTable()}) {
            MemoryDisk d{sectorSize, {}};
            const auto writes = p::encode(table, disk, sectorSize);
            ASSERT_FALSE(writes.empty());
            d.apply(writes);
            const auto back = p::decode(d.reader(), disk, sectorSize);
            ASSERT_TRUE(back);
            EXPECT_EQ(back->gpt, table.gpt);
            ASSERT_EQ(back->partitions.size(), table.partitions.size());
            for (std::size_t i = 0; i < table.partitions.size(); ++i) {
                const auto &want = table.partitions[i], &got = back->partitions[i];
                EXPECT_EQ(got.firstLba, want.firstLba);
                EXPECT_EQ(got.sectorCount, want.sectorCount);
                if (table.gpt) {
                    EXPECT_EQ(got.type, want.type);
                    EXPECT_EQ(got.unique, want.unique);
                    EXPECT_EQ(got.name, want.name);
                } else {
                    EXPECT_EQ(got.mbrType, want.mbrType);
                    EXPECT_EQ(got.active, want.active);
                }
            }
            if (table.gpt) {
                EXPECT_EQ(back->diskGuid, table.diskGuid);
                EXPECT_EQ(writes.back().lba, disk - 1);  // the backup header
            } else {
                EXPECT_EQ(back->diskSignature, 0x1234ABCDu);
            }
        }
    }
}

// A damaged primary GPT is read from its backup; with both damaged there is no table.
TEST(PartitionTable, DamagedGptFallsBackToItsBackup) {
    const std::uint64_t disk = 4'000'000;
    MemoryDisk d{512, {}};
    d.apply(p::encode(gptTable(), disk, 512));
    d.sectors[1][100] ^= 1;  // outside the header's 92 bytes: still good
    EXPECT_TRUE(p::decode(d.reader(), disk, 512));
    d.sectors[1][30] ^= 1;  // inside: its CRC no longer holds
    const auto fromBackup = p::decode(d.reader(), disk, 512);
    ASSERT_TRUE(fromBackup);
    EXPECT_EQ(fromBackup->partitions.size(), 2u);
    d.sectors[disk - 2][0] ^= 1;  // the backup's entries
    EXPECT_FALSE(p::decode(d.reader(), disk, 512));
    MemoryDisk blank{512, {}};
    EXPECT_FALSE(p::decode(blank.reader(), disk, 512));
}

TEST(PartitionTable, TablesThatDoNotFitTheirDiskAreNotWritten) {
    const std::uint64_t disk = 1'000'000;
    const p::Partition whole{.firstLba = 2048, .sectorCount = disk - 2048};
    std::vector<p::Table> refused(5);
    refused[0].partitions.assign(5, {.firstLba = 2048, .sectorCount = 1});  // five MBR partitions
    refused[1].partitions = {{.firstLba = 2048, .sectorCount = disk}};      // past the end
    refused[2].partitions = {{.firstLba = 0, .sectorCount = 10}};           // over the MBR itself
    refused[3].gpt = true;
    refused[3].partitions = {whole};                                                // over the GPT's backup
    refused[4].partitions = {{.firstLba = 2048, .sectorCount = 0x1'0000'0000ull}};  // beyond MBR's 32 bits
    for (std::size_t i = 0; i < refused.size(); ++i) {
        EXPECT_TRUE(p::encode(refused[i], i == 4 ? 0x2'0000'0000ull : disk, 512).empty()) << i;
    }
    p::Table fits;
    fits.partitions = {whole};
    EXPECT_FALSE(p::encode(fits, disk, 512).empty());
}
