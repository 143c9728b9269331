// The tables the bench's partitioning tool leaves on a drive, as fdisk reads them; and a drive image that
// gives back the room of the zeros written over it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "bench/bench.h"
#include "tests/common/one_drive_bench.h"
#include "tests/common/temp_path.h"
#include "tests/common/tool_run.h"

namespace {

namespace fs = std::filesystem;
using quib::testing::benchOfOneDrive;
using quib::testing::run;
using quib::testing::tool;

constexpr std::uint64_t kGiB = 1024ull * 1024 * 1024;

TEST(DiskpartTables, FdiskReadsWhatThePartitioningLeaves) {
    struct Row {
        const char* name;
        std::uint64_t bytes;
        std::uint32_t sectorSize;
        const char* script;
        const char* label;  // fdisk's name of the table
        const char* dataType;
    } rows[] = {
        {"MBR", 40 * kGiB, 512,
         "select disk 1\nclean\nconvert mbr\ncreate partition primary\nactive\nselect partition 1\nassign "
         "letter=F\n",
         "Disklabel type: dos", "HPFS/NTFS/exFAT"},
        {"GPT", 40 * kGiB, 512,
         "select disk 1\nclean\nconvert gpt\ncreate partition primary\nselect partition 2\nassign letter=F\n",
         "Disklabel type: gpt", "Microsoft basic data"},
        {"GPT of 4096", 40 * kGiB, 4096,
         "select disk 1\nclean\nconvert gpt\ncreate partition primary\nselect partition 2\nassign letter=F\n",
         "Disklabel type: gpt", "Microsoft basic data"},
        {"MBR of 3 TiB", 3 * 1024 * kGiB, 512,
         "select disk 1\nclean\nconvert mbr\ncreate partition primary\nactive\nselect partition 1\nassign "
         "letter=F\n",
         "Disklabel type: dos", "HPFS/NTFS/exFAT"},
    };
    const fs::path folder = quib::testing::freshTempPath("diskpart_tables");
    fs::create_directories(folder);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        auto bench = bench::Bench::fromJson(benchOfOneDrive(row.bytes, row.sectorSize));
        std::uint32_t error = 0;
        ASSERT_EQ(bench->runProgram(
                      "diskpart.exe", " /s s.sc",
                      [&](const std::string&) { return std::optional<std::string>(row.script); }, error),
                  0u);
        const fs::path image = folder / "disk.img";
        bench->saveDriveRange("b", 0, row.bytes, image);
        const auto listing =
            run(tool("fdisk") + " -b " + std::to_string(row.sectorSize) + " -l '" + image.string() + "'");
        EXPECT_EQ(listing.status, 0) << listing.output;
        EXPECT_NE(listing.output.find(row.label), std::string::npos) << listing.output;
        EXPECT_NE(listing.output.find(row.dataType), std::string::npos) << listing.output;
        EXPECT_EQ(quib::testing::fdiskComplaints(listing.output), "") << listing.output;
        EXPECT_EQ(bench->driveType("F:\\"), 3u);
    }
    fs::remove_all(folder);
}

// A bench folder keeps the drive in a sparse image: zeros written over data give its room back.
TEST(DriveImage, ZerosWrittenGiveTheRoomBack) {
    const fs::path folder = quib::testing::freshTempPath("drive_image");
    auto bench = bench::Bench::createFolder(folder, benchOfOneDrive(kGiB, 512));
    const fs::path image = folder / "chips" / "b" / "drive.img";
    auto allocated = [&] {
        struct stat st {};
        ::stat(image.c_str(), &st);
        return static_cast<std::uint64_t>(st.st_blocks) * 512;
    };
    const std::vector<std::uint8_t> data(8 << 20, 0x5A), zeros(8 << 20, 0);
    bench->withChip("b", [&](bench::BridgeChip& chip) { chip.writeDrive(16 << 20, data); });
    EXPECT_GE(allocated(), 8u << 20);
    bench->withChip("b", [&](bench::BridgeChip& chip) { chip.writeDrive(16 << 20, zeros); });
    EXPECT_LT(allocated(), 1u << 20);
    EXPECT_EQ(bench->driveBytes("b", 16 << 20, 4096), std::vector<std::uint8_t>(4096, 0));
    bench.reset();
    fs::remove_all(folder);
}

}  // namespace
