// What the bench's partition manager and volume drivers read, against images made by the system's own
// tools: sfdisk's MBR and GPT tables, mkfs.fat's FAT32, mkfs.exfat's exFAT and mkntfs's NTFS, with their
// labels and serials as blkid reports them and the FAT32 free space as mtools reports it.
#include "bench/volume/volume_probe.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>

#include "bench/volume/disk_layout.h"
#include "bench/volume/fat32_files.h"
#include "tests/common/temp_path.h"
#include "tests/common/tool_run.h"

namespace {

namespace fs = std::filesystem;
using quib::testing::blkidSerial;
using quib::testing::mdirBytesFree;
using quib::testing::run;
using quib::testing::tool;

class ImageFile {
  public:
    ImageFile(std::uint64_t bytes) : m_path(quib::testing::freshTempPath("volume_probe")) {
        std::ofstream(m_path).close();
        fs::resize_file(m_path, bytes);
    }
    ~ImageFile() { fs::remove(m_path); }
    std::string path() const { return m_path.string(); }
    bench::DiskReader reader() const {
        return [path = m_path](std::uint64_t at, std::span<std::uint8_t> out) {
            std::ifstream in(path, std::ios::binary);
            in.seekg(static_cast<std::streamoff>(at));
            in.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(out.size()));
            return static_cast<std::size_t>(in.gcount()) == out.size();
        };
    }

  private:
    fs::path m_path;
};

TEST(VolumeProbeTest, FileSystemsTheToolsMakeAreRecognisedWithTheirLabelsAndSerials) {
    struct Row {
        const char* name;
        std::string command;  // "%s" the image
        const char* fileSystem;
        const char* label;
    } rows[] = {
        {"fat32 512", tool("mkfs.fat") + " -F 32 -s 1 -n BENCH_FAT %s", "FAT32", "BENCH_FAT"},
        {"fat32 4096", tool("mkfs.fat") + " -F 32 -S 4096 -s 1 -n LBL4K %s", "FAT32", "LBL4K"},
        {"fat32 no label", tool("mkfs.fat") + " -F 32 -s 1 %s", "FAT32", ""},
        {"exfat", tool("mkfs.exfat") + " -L BenchExfat %s", "exFAT", "BenchExfat"},
        {"ntfs", tool("mkntfs") + " -F -Q -q -L BenchNtfs %s", "NTFS", "BenchNtfs"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ImageFile image(512ull << 20);
        const std::string command = std::regex_replace(row.command, std::regex("%s"), image.path());
        const auto made = run(command);
        ASSERT_EQ(made.status, 0) << made.output;
        const auto facts = bench::probeVolume(image.reader(), 512ull << 20);
        ASSERT_TRUE(facts.has_value());
        EXPECT_EQ(facts->fileSystem, row.fileSystem);
        EXPECT_EQ(facts->label, row.label);
        EXPECT_EQ(facts->serial, blkidSerial(image.path()));
        if (std::string(row.fileSystem) == "FAT32") {
            // mtools counts the free clusters from the FAT itself.
            ASSERT_TRUE(facts->freeBytes.has_value());
            EXPECT_EQ(facts->freeBytes, mdirBytesFree(image.path()));
        } else {
            EXPECT_FALSE(facts->freeBytes.has_value());
        }
    }
    // Nothing recognisable: a blank volume.
    ImageFile blank(64ull << 20);
    EXPECT_FALSE(bench::probeVolume(blank.reader(), 64ull << 20).has_value());
}

TEST(VolumeProbeTest, PartitionTablesSfdiskWritesAreReadWithTheirDataPartition) {
    struct Row {
        const char* name;
        const char* script;
        bench::DiskLayout::Style style;
        std::size_t partitions;
        std::uint64_t dataStart, dataSectors;
        std::uint8_t mbrType;
    } rows[] = {
        {"mbr", "label: dos\nstart=2048, size=100000, type=c, bootable\n", bench::DiskLayout::Style::Mbr, 1,
         2048, 100000, 0x0C},
        {"gpt with a reserved partition",
         "label: gpt\nstart=2048, size=32768, type=E3C9E316-0B5C-4DB8-817D-F92DF00215AE\n"
         "start=34816, size=100000, type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7\n",
         bench::DiskLayout::Style::Gpt, 2, 34816, 100000, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::uint64_t bytes = 256ull << 20;
        ImageFile image(bytes);
        const auto made =
            run("printf '" + std::string(row.script) + "' | " + tool("sfdisk") + " -q " + image.path());
        ASSERT_EQ(made.status, 0) << made.output;
        const auto layout = bench::readDiskLayout(image.reader(), 512, bytes);
        EXPECT_EQ(layout.style, row.style);
        ASSERT_EQ(layout.partitions.size(), row.partitions);
        const bench::PartitionSlot* data = bench::dataPartition(layout);
        ASSERT_NE(data, nullptr);
        EXPECT_EQ(data->offset, row.dataStart * 512);
        EXPECT_EQ(data->length, row.dataSectors * 512);
        EXPECT_EQ(data->mbrType, row.mbrType);
        EXPECT_EQ(data->number, row.partitions);

        // A damaged primary GPT is replaced by its backup, as the system's partition manager does.
        if (row.style == bench::DiskLayout::Style::Gpt) {
            std::fstream f(image.path(), std::ios::in | std::ios::out | std::ios::binary);
            f.seekp(512 + 20);
            f.put('\x5A');
            f.close();
            const auto fallback = bench::readDiskLayout(image.reader(), 512, bytes);
            EXPECT_EQ(fallback.style, bench::DiskLayout::Style::Gpt);
            EXPECT_EQ(fallback.partitions.size(), row.partitions);
        }
    }
}

}  // namespace

namespace {

// Files the bench keeps on a FAT32 volume, judged by fsck.fat and mtools: long names, folders made and
// removed, files replaced and deleted leave a volume with nothing to mend and the bytes mtools reads back.
TEST(VolumeFilesTest, FilesTheBenchWritesAreWhatFsckAndMtoolsFind) {
    for (const char* sectorSize : {"512", "4096"}) {
        SCOPED_TRACE(sectorSize);
        ImageFile image(300ull << 20);
        const auto made =
            run(tool("mkfs.fat") + " -F 32 -S " + sectorSize + " -s 1 -n FILES " + image.path());
        ASSERT_EQ(made.status, 0) << made.output;
        const bench::DiskReader read = image.reader();
        const std::string path = image.path();
        bench::VolumeIo io{read, [path](std::uint64_t at, std::span<const std::uint8_t> in) {
                               std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
                               f.seekp(static_cast<std::streamoff>(at));
                               f.write(reinterpret_cast<const char*>(in.data()),
                                       static_cast<std::streamsize>(in.size()));
                               return f.good();
                           }};
        auto files = bench::Fat32Files::open(io, 300ull << 20);
        ASSERT_TRUE(files.has_value());
        std::vector<std::uint8_t> big(700000), small(100, 'x');
        for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<std::uint8_t>(i * 31 + i / 977);
        std::uint32_t error = 0;
        ASSERT_TRUE(files->writeFile("rwtestbin.txt", small, error));
        ASSERT_TRUE(files->createDirectory("tmp", error));
        EXPECT_FALSE(files->createDirectory("TMP", error));  // names compare without regard to case
        ASSERT_TRUE(files->writeFile("A Much Longer Name Than Thirteen.bin", small, error));
        ASSERT_TRUE(files->writeFile("rwtestbin.txt", big, error));  // replaced
        ASSERT_TRUE(files->writeFile("KEEP.TXT", small, error));
        EXPECT_FALSE(files->remove("tmp", false, error));  // a folder is not a file
        ASSERT_TRUE(files->remove("tmp", true, error));
        ASSERT_TRUE(files->remove("a much longer name than thirteen.bin", false, error));
        EXPECT_EQ(files->readFile("RWTESTBIN.TXT"), big);
        EXPECT_FALSE(files->find("tmp").has_value());

        const auto fsck = run(tool("fsck.fat") + " -n -v " + image.path());
        EXPECT_EQ(fsck.status, 0) << fsck.output;
        EXPECT_EQ(fsck.output.find("differ"), std::string::npos) << fsck.output;
        EXPECT_EQ(fsck.output.find("Free cluster summary wrong"), std::string::npos) << fsck.output;
        const std::string out = image.path() + ".out";
        ASSERT_EQ(run(tool("mcopy") + " -n -i " + image.path() + " ::rwtestbin.txt " + out).status, 0);
        std::ifstream copied(out, std::ios::binary);
        EXPECT_EQ(std::vector<std::uint8_t>(std::istreambuf_iterator<char>(copied), {}), big);
        fs::remove(out);
        const auto dir = run(tool("mdir") + " -i " + image.path() + " ::");
        EXPECT_NE(dir.output.find("rwtestbin.txt"), std::string::npos) << dir.output;
        EXPECT_NE(dir.output.find("KEEP     TXT"), std::string::npos) << dir.output;
        EXPECT_EQ(dir.output.find("Thirteen"), std::string::npos) << dir.output;
        // The free count mtools finds is the one FSInfo now holds.
        EXPECT_EQ(bench::probeVolume(read, 300ull << 20)->freeBytes, mdirBytesFree(image.path()));
    }
}

}  // namespace
