// The system's disk tools on the bench: the partitioning script as its reader understands it, the tables it
// leaves on a drive and the letter it assigns, and what the tools refuse.
#include <gtest/gtest.h>

#include <algorithm>

#include "bench_test_support.h"
#include "common/disktools/diskpart_script.h"

namespace bench::testing {
namespace {

using quib::disktools::DiskpartScript;
using quib::disktools::parseDiskpartScript;
using Op = quib::disktools::DiskpartCommand::Op;

TEST(DiskpartScript, ReadsTheCommandsUpToTheFirstItDoesNotKnow) {
    struct Row {
        const char* text;
        std::vector<Op> ops;
        int badLine;
    } rows[] = {
        {" list disk\n select disk 3\n online disk noerr \n attributes disk clear readonly noerr \n clean \n"
         "convert mbr \ncreate partition primary \n active\n select partition 1\n assign letter=f\n",
         {Op::ListDisk, Op::SelectDisk, Op::OnlineDisk, Op::ClearReadOnly, Op::Clean, Op::ConvertMbr,
          Op::CreatePrimary, Op::Active, Op::SelectPartition, Op::AssignLetter},
         0},
        {"REM partition\r\n\r\nSELECT DISK 2\r\nCONVERT GPT\r\n", {Op::SelectDisk, Op::ConvertGpt}, 0},
        {"select disk 1\nformat fs=ntfs quick\nclean\n", {Op::SelectDisk}, 2},
        {"select disk one\n", {}, 1},
        {"select disk 99999999999\n", {}, 1},
        {"assign letter=\n", {}, 1},
        {"assign letter=1\n", {}, 1},
        {"clean all\n", {}, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        const DiskpartScript script = parseDiskpartScript(row.text);
        std::vector<Op> ops;
        for (const auto& c : script.commands) ops.push_back(c.op);
        EXPECT_EQ(ops, row.ops);
        EXPECT_EQ(script.badLine, row.badLine);
    }
    const DiskpartScript mbr = parseDiskpartScript(" select disk 3\n online disk noerr \n assign letter=f\n");
    ASSERT_EQ(mbr.commands.size(), 3u);
    EXPECT_EQ(mbr.commands[0].number, 3u);
    EXPECT_TRUE(mbr.commands[1].noerr);
    EXPECT_EQ(mbr.commands[2].letter, 'F');
    EXPECT_EQ(mbr.commands[2].line, 3);
}

class DiskpartBench : public ::testing::Test {
  protected:
    // Bridge "b" (disk 1) with a 20 GiB drive of `sectorSize` sectors, its volume described at E; the
    // system disk 0 carries D:.
    void make(std::uint32_t sectorSize = 512) {
        m_sectorSize = sectorSize;
        nlohmann::json description =
            benchWithBridges({{{"id", "b"},
                               {"volume_letter", "E"},
                               {"drive",
                                {{"kind", "sata"},
                                 {"sectors", 20ull * 1024 * 1024 * 1024 / sectorSize},
                                 {"bytes_per_sector", sectorSize},
                                 {"physical_bytes_per_sector", sectorSize},
                                 {"reported_bytes_per_sector", sectorSize}}}}});
        description["system_disks"] = 1;
        description["volumes"] = nlohmann::json::array({{{"letter", "D"}, {"system_disk", 0}}});
        m_bench = Bench::fromJson(description);
    }
    std::optional<std::uint32_t> diskpart(const std::string& script) {
        std::uint32_t error = 0;
        return m_bench->runProgram(
            "diskpart.exe", " /s C:\\work\\DiskPartTarget1.sc",
            [&](const std::string& path) -> std::optional<std::string> {
                if (path != "C:\\work\\DiskPartTarget1.sc") return std::nullopt;
                return script;
            },
            error);
    }
    DiskLayout layout() {
        const std::uint64_t bytes = 20ull * 1024 * 1024 * 1024;
        return readDiskLayout(
            [&](std::uint64_t at, std::span<std::uint8_t> out) {
                const auto got = m_bench->driveBytes("b", at, out.size());
                std::copy(got.begin(), got.end(), out.begin());
                return true;
            },
            m_sectorSize, bytes);
    }
    std::uint32_t driveType(char letter) { return m_bench->driveType(std::string(1, letter) + ":\\"); }

    std::shared_ptr<Bench> m_bench;
    std::uint32_t m_sectorSize = 512;
};

constexpr const char* kMbrScript =
    " list disk\n select disk 1\n online disk noerr \n attributes disk clear readonly noerr \n clean \n"
    "convert mbr \ncreate partition primary \n active\n select partition 1\n assign letter=F\n";
constexpr const char* kGptScript =
    " list disk\n select disk 1\n online disk noerr \n clean \n convert gpt\ncreate partition primary \n"
    " select partition 2\n assign letter=F\n";

TEST_F(DiskpartBench, TheScriptsLeaveOnePartitionForTheVolumeUnderItsNewLetter) {
    for (const std::uint32_t sectorSize : {512u, 4096u}) {
        SCOPED_TRACE(sectorSize);
        const std::uint64_t mib = 1048576 / sectorSize, sectors = 20ull * 1024 * mib;
        make(sectorSize);
        EXPECT_EQ(driveType('E'), 3u);  // the blank drive's volume, as described
        ASSERT_EQ(diskpart(kMbrScript), 0u);
        DiskLayout l = layout();
        ASSERT_EQ(l.style, DiskLayout::Style::Mbr);
        ASSERT_EQ(l.partitions.size(), 1u);
        EXPECT_EQ(l.partitions[0].offset, 1048576u);
        EXPECT_EQ(l.partitions[0].length, (sectors - mib) * sectorSize);
        EXPECT_TRUE(l.partitions[0].active);
        EXPECT_EQ(l.partitions[0].mbrType, 0x07);
        EXPECT_EQ(driveType('E'), 1u);  // no root directory: the letter moved
        EXPECT_EQ(driveType('F'), 3u);

        // Over it, the GPT script: the reserved partition first, the volume on partition 2.
        ASSERT_EQ(diskpart(kGptScript), 0u);
        l = layout();
        ASSERT_EQ(l.style, DiskLayout::Style::Gpt);
        ASSERT_EQ(l.partitions.size(), 2u);
        EXPECT_EQ(l.partitions[0].gptType, kGptMsrType);
        EXPECT_EQ(l.partitions[1].offset % 1048576, 0u);
        // To the last usable sector: before the backup entries (16 KiB) and header.
        EXPECT_EQ(l.partitions[1].offset + l.partitions[1].length,
                  (sectors - 1 - 16384 / sectorSize) * sectorSize);
        EXPECT_EQ(driveType('F'), 3u);
        // The backup table alone still tells the same.
        const std::vector<std::uint8_t> zeros(sectorSize, 0);
        m_bench->withChip("b", [&](BridgeChip& chip) { chip.writeDrive(sectorSize, zeros); });
        EXPECT_EQ(layout().partitions.size(), 2u);
    }
}

TEST_F(DiskpartBench, WhatTheToolsRefuse) {
    struct Row {
        const char* name;
        std::string script;
        std::uint32_t exitCode;
        const char* event;  // the last thing the bench recorded
    } rows[] = {
        {"unknown command after a clean", "select disk 1\nclean\nformat fs=ntfs quick\n", 5,
         "diskpart syntax line 3"},
        {"the system disk", "select disk 0\nclean\n", 2,
         "diskpart failed line 2: not allowed on the system disk"},
        {"a disk not present", "select disk 7\n", 2, "diskpart failed line 1: no such disk"},
        {"a letter in use", std::string(kMbrScript).replace(std::string(kMbrScript).find("=F"), 2, "=D"), 2,
         "diskpart failed line 10: the letter is in use"},
        {"active on GPT", "select disk 1\nclean\nconvert gpt\ncreate partition primary\nactive\n", 2,
         "diskpart failed line 5: not an MBR disk"},
        {"convert a disk with partitions", std::string(kMbrScript) + "convert gpt\n", 2,
         "diskpart failed line 11: the disk is not empty"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        make();
        ASSERT_EQ(diskpart(row.script), row.exitCode);
        ASSERT_FALSE(m_bench->volumeEvents().empty());
        EXPECT_EQ(m_bench->volumeEvents().back(), row.event);
    }
    // The commands before the one not understood were carried out.
    make();
    ASSERT_EQ(diskpart("select disk 1\nconvert gpt\nformat\n"), 5u);
    EXPECT_EQ(layout().style, DiskLayout::Style::Gpt);

    std::uint32_t error = 0;
    const auto none = [](const std::string&) { return std::optional<std::string>(); };
    EXPECT_EQ(m_bench->runProgram("diskpart.exe", " /s missing.sc", none, error), 3u);
    EXPECT_FALSE(m_bench->runProgram("fdisk.exe", "", none, error));
    EXPECT_EQ(error, 2u);
    make();  // a blank drive: its volume E stands on the implicit partition
    struct FormatRow {
        const char* arguments;
        std::uint32_t exitCode;
    } formats[] = {{" E:/Q /FS:EXFAT", 4},  // without /y it would wait for an answer
                   {" E:/Q /FS:FAT /y", 1},
                   {" E:/Q /X /FS:NTFS /y", 1},
                   {" Q:/Q /FS:NTFS /y", 1},
                   {" D:/Q /FS:NTFS /y", 4}};
    for (const FormatRow& f : formats) {
        SCOPED_TRACE(f.arguments);
        EXPECT_EQ(m_bench->runProgram("C:\\Windows\\system32\\format.com", f.arguments, none, error),
                  f.exitCode);
    }
    EXPECT_EQ(m_bench->volumeEvents().back(), "refused format D");
    EXPECT_TRUE(m_bench->driveBytes("b", 0, 1048576) == std::vector<std::uint8_t>(1048576, 0));
}

}  // namespace
}  // namespace bench::testing
