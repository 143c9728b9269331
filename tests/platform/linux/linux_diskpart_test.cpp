// The partitioning script carried out with libfdisk, on image files standing for the disks: the same tables
// the bench's partitioning tool leaves (as sfdisk reads both), the letter assigned, and what is refused.
#include "platform/linux/linux_diskpart.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "bench/bench.h"
#include "common/disktools/tool_commands.h"
#include "tests/common/one_drive_bench.h"
#include "tests/common/temp_path.h"
#include "tests/common/tool_run.h"

namespace quib::platform {
namespace {

namespace fs = std::filesystem;
using testing::benchOfOneDrive;
using testing::run;
using testing::tool;

constexpr std::uint64_t kGiB = 1024ull * 1024 * 1024;
constexpr const char* kMbrScript =
    " list disk\n select disk 1\n online disk noerr \n attributes disk clear readonly noerr \n clean "
    "\nconvert mbr "
    "\ncreate partition primary \n active\n select partition 1\n assign letter=F\n";
constexpr const char* kGptScript =
    " list disk\n select disk 1\n online disk noerr \n clean \n convert gpt\ncreate partition primary \n "
    "select "
    "partition 2\n assign letter=F\n";

// Disk 0 is the machine's own; disk 1 an image standing for the bridge's drive.
class ImageMachine final : public DiskpartMachine {
  public:
    ImageMachine(fs::path image, std::uint32_t sectorSize)
        : m_image(std::move(image)), m_sectorSize(sectorSize) {}
    std::optional<Disk> disk(std::uint32_t number) override {
        if (number > 1) return std::nullopt;
        return Disk{m_image.string(), m_sectorSize, number == 1};
    }
    bool assignLetter(std::uint32_t number, std::uint64_t start, char letter, std::string& failure) override {
        if (letter == 'C') return failure = "the letter is in use", false;
        assigned[{number, start}] = letter;
        return true;
    }
    void tableWritten(const Disk&, int) override { ++writes; }

    std::map<std::pair<std::uint32_t, std::uint64_t>, char> assigned;
    int writes = 0;

  private:
    fs::path m_image;
    std::uint32_t m_sectorSize;
};

void makeImage(const fs::path& path, std::uint64_t bytes, std::uint8_t fill = 0) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (fill) {
        const std::string block(1 << 20, static_cast<char>(fill));
        out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
    out.close();
    fs::resize_file(path, bytes);
}

// What fdisk reads of a table: its kind and each partition's start, length, type and boot flag or name
// (nothing random, such as identifiers, and nothing naming the file).
std::vector<std::string> tableOf(const fs::path& image, std::uint32_t sectorSize) {
    const std::string base =
        tool("fdisk") + " -b " + std::to_string(sectorSize) + " -l '" + image.string() + "'";
    const auto plain = run(base);
    std::vector<std::string> out;
    const bool gpt = plain.output.find("Disklabel type: gpt") != std::string::npos;
    if (!gpt && plain.output.find("Disklabel type: dos") == std::string::npos) return out;
    out.push_back(gpt ? "gpt" : "dos");
    const auto listing =
        run(base + (gpt ? " -o Start,Sectors,Type-UUID,Name" : " -o Start,Sectors,Id,Attrs"));
    EXPECT_EQ(listing.status, 0) << listing.output;
    std::istringstream lines(listing.output);
    bool rows = false;
    for (std::string line; std::getline(lines, line);) {
        if (rows && !line.empty()) out.push_back(line);
        rows = rows || line.rfind("Start", 0) == 0;
    }
    return out;
}

TEST(LinuxDiskpart, LeavesTheTablesTheBenchLeaves) {
    struct Row {
        const char* name;
        std::uint64_t bytes;
        std::uint32_t sectorSize;
        const char* script;
        std::uint64_t dataStart;  // in 512-byte units, as the letter is kept
    } rows[] = {
        {"MBR", 40 * kGiB, 512, kMbrScript, 2048},
        {"GPT", 40 * kGiB, 512, kGptScript, 34816},
        {"GPT of 4096", 40 * kGiB, 4096, kGptScript, 34816},
        {"MBR of 3 TiB", 3 * 1024 * kGiB, 512, kMbrScript, 2048},
    };
    const fs::path folder = testing::freshTempPath("linux_diskpart");
    fs::create_directories(folder);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const fs::path ours = folder / "linux.img", theirs = folder / "bench.img";
        makeImage(ours, row.bytes, 0xA5);  // a disk that held something before
        ImageMachine machine(ours, row.sectorSize);
        const DiskpartOutcome outcome = runDiskpartScript(row.script, machine);
        ASSERT_EQ(outcome.code, 0u) << outcome.line << ": " << outcome.failure;
        EXPECT_EQ(machine.assigned,
                  (std::map<std::pair<std::uint32_t, std::uint64_t>, char>{{{1u, row.dataStart}, 'F'}}));

        auto bench = bench::Bench::fromJson(benchOfOneDrive(row.bytes, row.sectorSize));
        std::uint32_t error = 0;
        ASSERT_EQ(bench->runProgram(
                      "diskpart.exe", " /s s.sc",
                      [&](const std::string&) { return std::optional<std::string>(row.script); }, error),
                  0u);
        bench->saveDriveRange("b", 0, row.bytes, theirs);
        const std::vector<std::string> table = tableOf(ours, row.sectorSize);
        EXPECT_EQ(table, tableOf(theirs, row.sectorSize));
        EXPECT_EQ(table.size(), std::string(row.script).find("gpt") != std::string::npos ? 3u : 2u);

        const auto listing =
            run(tool("fdisk") + " -b " + std::to_string(row.sectorSize) + " -l '" + ours.string() + "'");
        EXPECT_EQ(quib::testing::fdiskComplaints(listing.output), "") << listing.output;
    }
    fs::remove_all(folder);
}

TEST(LinuxDiskpart, RefusesWhatTheToolRefusesAndLeavesTheDiskAsItWas) {
    struct Row {
        const char* name;
        const char* script;
        std::uint32_t code;
        int line;
        const char* failure;
    } rows[] = {
        {"the machine's own disk", "select disk 0\nclean\n", disktools::kDiskpartFailed, 2,
         "not allowed on the system disk"},
        {"no such disk", "select disk 7\nclean\n", disktools::kDiskpartFailed, 1, "no such disk"},
        {"no table to add to", "select disk 1\ncreate partition primary\n", disktools::kDiskpartFailed, 2,
         "the disk has no table"},
        {"active without a partition", "select disk 1\nconvert mbr\nactive\n", disktools::kDiskpartFailed, 3,
         "no partition selected"},
        {"a letter without a volume", "select disk 1\nconvert gpt\nselect partition 1\nassign letter=G\n",
         disktools::kDiskpartFailed, 4, "no volume selected"},
        {"a line not understood", "select disk 1\nformat fs=ntfs\n", disktools::kDiskpartSyntax, 2,
         "not understood"},
    };
    const fs::path folder = testing::freshTempPath("linux_diskpart_refused");
    fs::create_directories(folder);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const fs::path image = folder / "disk.img";
        makeImage(image, kGiB);
        ImageMachine machine(image, 512);
        const DiskpartOutcome outcome = runDiskpartScript(row.script, machine);
        EXPECT_EQ(outcome.code, row.code);
        EXPECT_EQ(outcome.line, row.line);
        EXPECT_NE(outcome.failure.find(row.failure), std::string::npos) << outcome.failure;
        EXPECT_TRUE(machine.assigned.empty());
    }
    // A second MBR over a disk with a partition is refused; the partition stays.
    const fs::path image = folder / "disk.img";
    makeImage(image, kGiB);
    ImageMachine machine(image, 512);
    ASSERT_EQ(runDiskpartScript("select disk 1\nconvert mbr\ncreate partition primary\n", machine).code, 0u);
    const std::vector<std::string> before = tableOf(image, 512);
    ASSERT_EQ(before.size(), 2u);
    EXPECT_EQ(runDiskpartScript("select disk 1\nconvert gpt\n", machine).code, disktools::kDiskpartFailed);
    EXPECT_EQ(tableOf(image, 512), before);
    EXPECT_EQ(machine.writes, 2);
    fs::remove_all(folder);
}

}  // namespace
}  // namespace quib::platform
