// FAT32 volumes and partition tables written into sparse image files, judged by other implementations:
// fsck.fat finds nothing to mend, mtools reads the geometry and the label and copies a 20 MiB file in and
// out unchanged, fdisk reads the MBR or GPT without a warning.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "services/format/fat32_layout.h"
#include "services/format/fat32_writer.h"
#include "services/format/partition_table.h"
#include "tests/common/temp_path.h"
#include "tests/common/tool_run.h"

namespace f = quib::services::fat32;
namespace fs = std::filesystem;

namespace {

using quib::testing::run;
using quib::testing::tool;

constexpr std::uint64_t kGiB = 1024ull * 1024 * 1024;

// Writes sectors of an image file, from `firstSector` of the image on (a partition's start).
class ImageWriter : public f::SectorWriter {
  public:
    ImageWriter(const fs::path& path, std::uint32_t bytesPerSector, std::uint64_t firstSector = 0)
        : m_bytesPerSector(bytesPerSector), m_firstSector(firstSector) {
        m_fd = ::open(path.c_str(), O_WRONLY);
    }
    ~ImageWriter() override {
        if (m_fd >= 0) ::close(m_fd);
    }
    bool write(std::uint64_t firstSector, std::span<const std::uint8_t> data) override {
        const auto done = ::pwrite(m_fd, data.data(), data.size(),
                                   static_cast<off_t>((m_firstSector + firstSector) * m_bytesPerSector));
        return done == static_cast<ssize_t>(data.size());
    }

  private:
    int m_fd = -1;
    std::uint32_t m_bytesPerSector;
    std::uint64_t m_firstSector;
};

struct Case {
    const char* name;
    std::uint64_t bytes;
    std::uint32_t bytesPerSector;
    std::uint32_t request;  // sectors per cluster asked for
    std::uint32_t expectedSectorsPerCluster;
};

// A folder of the test's own for its images.
template <typename Param>
class ImageFolderTest : public ::testing::TestWithParam<Param> {
  protected:
    void SetUp() override {
        m_folder = quib::testing::freshTempPath("images");
        fs::create_directories(m_folder);
    }
    void TearDown() override { fs::remove_all(m_folder); }
    fs::path m_folder;
};

using Fat32Image = ImageFolderTest<Case>;

}  // namespace

TEST_P(Fat32Image, OtherImplementationsAcceptIt) {
    const Case& c = GetParam();
    const fs::path image = m_folder / "volume.img";
    { std::ofstream(image).flush(); }
    fs::resize_file(image, c.bytes);  // sparse: only what is written takes room
    const f::VolumeGeometry geometry{c.bytesPerSector, 63, 255, 2048, c.bytes};
    const auto plan = f::planVolume(geometry, c.request);
    ASSERT_TRUE(plan.layout) << plan.refusal;
    EXPECT_EQ(plan.layout->sectorsPerCluster, c.expectedSectorsPerCluster);
    const f::LocalTime time{2026, 12, 9, 14, 5, 8, 120};
    {
        ImageWriter writer(image, c.bytesPerSector);
        const auto written =
            f::writeVolume(writer, *plan.layout, geometry, f::volumeIdFrom(time), "QUIB TEST", time);
        EXPECT_EQ(written.failedWrites, 0);
        EXPECT_EQ(written.bytesWritten, plan.layout->systemAreaSectors() * c.bytesPerSector +
                                            4 * std::uint64_t{c.bytesPerSector} + 2 * c.bytesPerSector +
                                            4096);
    }

    const auto fsck = run(tool("fsck.fat") + " -n -v '" + image.string() + "'");
    EXPECT_EQ(fsck.status, 0) << fsck.output;
    EXPECT_EQ(fsck.output.find("differ"), std::string::npos) << fsck.output;

    const std::string mtools = "MTOOLS_SKIP_CHECK=1 ";
    const auto info = run(mtools + tool("minfo") + " -i '" + image.string() + "' ::");
    EXPECT_EQ(info.status, 0) << info.output;
    for (const std::string& line : std::vector<std::string>{
             "cluster size: " + std::to_string(c.expectedSectorsPerCluster) + " sectors",
             "sector size: " + std::to_string(c.bytesPerSector) + " bytes",
             "Big fatlen=" + std::to_string(plan.layout->fatSize), "hidden sectors: 2048",
             "free clusters=" + std::to_string(plan.layout->clusterCount - 1),
             "disk label=\"QUIB TEST  \""}) {
        EXPECT_NE(info.output.find(line), std::string::npos) << line << " in\n" << info.output;
    }

    const fs::path in = m_folder / "in.bin", out = m_folder / "out.bin";
    {
        std::ofstream file(in, std::ios::binary);
        std::string block(1 << 20, '\0');
        for (int mib = 0; mib < 20; ++mib) {
            for (std::size_t i = 0; i < block.size(); ++i)
                block[i] = static_cast<char>((i * 131 + mib * 7) >> 3);
            file.write(block.data(), static_cast<std::streamsize>(block.size()));
        }
    }
    const auto copyIn =
        run(mtools + tool("mcopy") + " -i '" + image.string() + "' '" + in.string() + "' ::/DATA.BIN");
    ASSERT_EQ(copyIn.status, 0) << copyIn.output;
    const auto copyOut =
        run(mtools + tool("mcopy") + " -i '" + image.string() + "' ::/DATA.BIN '" + out.string() + "'");
    ASSERT_EQ(copyOut.status, 0) << copyOut.output;
    EXPECT_EQ(run("cmp '" + in.string() + "' '" + out.string() + "'").status, 0);
    const auto dir = run(mtools + tool("mdir") + " -i '" + image.string() + "' ::");
    EXPECT_NE(dir.output.find("Volume in drive : is QUIB TEST"), std::string::npos) << dir.output;
    EXPECT_NE(dir.output.find("DATA     BIN  20971520"), std::string::npos) << dir.output;
    // After the copy the volume is still sound, its free count kept up to date by mtools.
    const auto after = run(tool("fsck.fat") + " -n '" + image.string() + "'");
    EXPECT_EQ(after.status, 0) << after.output;
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, Fat32Image,
    ::testing::Values(Case{"GiB40", 40 * kGiB, 512, 16, 16}, Case{"GiB100", 100 * kGiB, 512, 16, 16},
                      Case{"GiB300", 300 * kGiB, 512, 64, 64}, Case{"TiB1", 1024 * kGiB, 512, 128, 128},
                      Case{"TiB2LessTheAlignment", (0xFFFFFFFFull - 2048) * 512, 512, 128, 128},
                      Case{"GiB100Of4096", 100 * kGiB, 4096, 16, 16},
                      Case{"TiB1Of4096", 1024 * kGiB, 4096, 128, 16}),
    [](const auto& info) { return std::string(info.param.name); });

// A disk of 100 GiB with one partition for the data, as the partitioning leaves it (MBR: primary, active,
// at 1 MiB; GPT: the reserved partition, then the data partition), and FAT32 in that partition.
struct TableCase {
    const char* name;
    bool gpt;
    std::uint32_t sectorSize;
};

using PartitionedImage = ImageFolderTest<TableCase>;

TEST_P(PartitionedImage, FdiskReadsTheTableAndMtoolsTheVolumeInIt) {
    const TableCase& c = GetParam();
    const std::uint64_t diskSectors = 100 * kGiB / c.sectorSize;
    const std::uint64_t mib = (1 << 20) / c.sectorSize;
    const fs::path image = m_folder / "disk.img";
    { std::ofstream(image).flush(); }
    fs::resize_file(image, diskSectors * c.sectorSize);

    namespace p = quib::services::partition;
    p::Table table;
    table.gpt = c.gpt;
    table.diskSignature = 0x51554942;
    table.diskGuid = {0x51, 0x55, 0x49, 0x42};
    p::Partition data{.firstLba = mib, .sectorCount = 0, .mbrType = 0x0C, .active = !c.gpt};
    if (c.gpt) {
        table.partitions.push_back({.firstLba = p::gptFirstUsable(c.sectorSize),
                                    .sectorCount = 16 * mib - p::gptFirstUsable(c.sectorSize),
                                    .type = p::kMicrosoftReservedType,
                                    .name = u"Microsoft reserved partition"});
        data.firstLba = 16 * mib;
        data.unique = {7, 7, 7};
        data.name = u"Basic data partition";
    }
    const std::uint64_t last = c.gpt ? p::gptLastUsable(diskSectors, c.sectorSize) : diskSectors - 1;
    data.sectorCount = (last + 1 - data.firstLba) / 64 * 64;
    table.partitions.push_back(data);
    {
        ImageWriter writer(image, c.sectorSize);
        for (const auto& w : p::encode(table, diskSectors, c.sectorSize))
            ASSERT_TRUE(writer.write(w.lba, w.bytes));
    }
    const auto listing = run(tool("fdisk") + " -b " + std::to_string(c.sectorSize) +
                             " -l -o Start,Sectors,Type '" + image.string() + "'");
    EXPECT_EQ(listing.status, 0) << listing.output;
    EXPECT_NE(listing.output.find(c.gpt ? "Disklabel type: gpt" : "Disklabel type: dos"), std::string::npos)
        << listing.output;
    EXPECT_EQ(quib::testing::fdiskComplaints(listing.output), "") << listing.output;
    const std::string dataLine = std::to_string(data.firstLba) + " " + std::to_string(data.sectorCount) +
                                 " " + (c.gpt ? "Microsoft basic data" : "W95 FAT32 (LBA)");
    EXPECT_NE(listing.output.find(dataLine), std::string::npos) << dataLine << " in\n" << listing.output;
    if (c.gpt) {
        EXPECT_NE(listing.output.find("Microsoft reserved"), std::string::npos) << listing.output;
    }

    // FAT32 in the data partition, its hidden sectors the partition's start.
    const f::VolumeGeometry geometry{c.sectorSize, 63, 255, static_cast<std::uint32_t>(data.firstLba),
                                     data.sectorCount * c.sectorSize};
    const auto plan = f::planVolume(geometry, f::clusterRequestForDisk(100 * 1024));
    ASSERT_TRUE(plan.layout) << plan.refusal;
    const f::LocalTime time{2026, 12, 9, 15, 0, 0, 0};
    ImageWriter volume(image, c.sectorSize, data.firstLba);
    EXPECT_EQ(
        f::writeVolume(volume, *plan.layout, geometry, f::volumeIdFrom(time), "LINE7", time).failedWrites, 0);
    const std::string at = "'" + image.string() + "@@" + std::to_string(data.firstLba * c.sectorSize) + "'";
    const auto info = run("MTOOLS_SKIP_CHECK=1 " + tool("minfo") + " -i " + at + " ::");
    EXPECT_NE(info.output.find("hidden sectors: " + std::to_string(data.firstLba)), std::string::npos)
        << info.output;
    const auto dir = run("MTOOLS_SKIP_CHECK=1 " + tool("mdir") + " -i " + at + " ::");
    EXPECT_NE(dir.output.find("Volume in drive : is LINE7"), std::string::npos) << dir.output;
    // The partition table is untouched by the volume's formatting.
    EXPECT_EQ(run(tool("fdisk") + " -b " + std::to_string(c.sectorSize) + " -l -o Start,Sectors,Type '" +
                  image.string() + "'")
                  .output,
              listing.output);
}

INSTANTIATE_TEST_SUITE_P(Tables, PartitionedImage,
                         ::testing::Values(TableCase{"Mbr", false, 512}, TableCase{"Gpt", true, 512},
                                           TableCase{"Mbr4096", false, 4096},
                                           TableCase{"Gpt4096", true, 4096}),
                         [](const auto& info) { return std::string(info.param.name); });
