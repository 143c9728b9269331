// Partitioning and formatting a bench bridge's drive through the export: the partitioning script carried
// out on the drive, FAT32 from our own writer and exFAT and NTFS from the system's tools, judged by fsck and
// mtools; the drive's table as the formatter leaves it; and what must never be written.
#include <algorithm>
#include <filesystem>

#include "bench/bridge/bridge_chip.h"
#include "devcore/frame/usb_utility.h"
#include "services/format/fat32_format.h"
#include "tests/common/tool_run.h"
#include "tests/devcore/bench_fixture.h"

namespace devcore_test {
namespace {

namespace fs = std::filesystem;
using quib::testing::run;
using quib::testing::tool;

constexpr std::uint64_t kGiB = 1024ull * 1024 * 1024;

std::uint32_t le32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t{b[at + 3]} << 24);
}
std::uint64_t le64(const std::vector<std::uint8_t>& b, std::size_t at) {
    return le32(b, at) | (std::uint64_t{le32(b, at + 4)} << 32);
}

class PartitionFormatTest : public ScanTest {
  protected:
    // Bridge "d" (disk 1) whose drive holds `bytes` in sectors of `sectorSize`, its volume described at E;
    // D: is the system disk's volume, so the next free letter is F once the drive holds no volume.
    void scanBench(std::uint64_t bytes, std::uint32_t sectorSize = 512, json extra = json::object()) {
        m_sectorSize = sectorSize;
        m_sectors = bytes / sectorSize;
        json drive = {{"kind", "sata"},
                      {"sectors", m_sectors},
                      {"bytes_per_sector", sectorSize},
                      {"physical_bytes_per_sector", std::max<std::uint32_t>(sectorSize, 512)},
                      {"reported_bytes_per_sector", sectorSize}};
        json bridge = {
            {"id", "d"}, {"serial", "SN-D"}, {"family", "7120"}, {"volume_letter", "E"}, {"drive", drive}};
        json description = benchOfBridges({bridge});
        description["volumes"] = json::array({{{"letter", "D"}, {"system_disk", 0}}});
        description.update(extra);
        ASSERT_EQ(scan(description), 0);
        ASSERT_EQ(count(), 1);
        benchRef().setScratchFolder(workFolder());
        m_mark = bridgeTrace().size();
    }
    int format(bool gpt, std::uint8_t fileSystem, char letter = 'F', const char* label = "QUIBTEST") {
        return QuibUSBLib_vPartitionFormat(0, gpt, fileSystem, letter, label);
    }
    std::vector<std::uint8_t> sector(std::uint64_t lba) {
        return benchRef().driveBytes("d", lba * m_sectorSize, m_sectorSize);
    }
    // The data partition as the drive's table holds it: (first sector, sectors).
    std::pair<std::uint64_t, std::uint64_t> dataPartition(bool gpt) {
        if (!gpt) {
            const auto mbr = sector(0);
            return {le32(mbr, 454), le32(mbr, 458)};
        }
        const auto entries = benchRef().driveBytes("d", 2 * m_sectorSize, 256);
        return {le64(entries, 128 + 32), le64(entries, 128 + 40) - le64(entries, 128 + 32) + 1};
    }
    // The data partition's bytes in an image file of the test's own.
    fs::path partitionImage(bool gpt) {
        const auto [first, count] = dataPartition(gpt);
        const fs::path image = fs::path(workFolder()) / "partition.img";
        benchRef().saveDriveRange("d", first * m_sectorSize, count * m_sectorSize, image);
        return image;
    }
    // Writes sent to the bridge since the scan, READ/WRITE (10) or (16).
    std::size_t writesSinceScan() {
        const auto trace = bridgeTrace();
        return static_cast<std::size_t>(
            std::count_if(trace.begin() + static_cast<std::ptrdiff_t>(m_mark), trace.end(),
                          [](const auto& r) { return r.cdb[0] == 0x2A || r.cdb[0] == 0x8A; }));
    }
    bool eventSeen(const std::string& event) {
        const auto events = benchRef().volumeEvents();
        return std::find(events.begin(), events.end(), event) != events.end();
    }

    std::uint32_t m_sectorSize = 512;
    std::uint64_t m_sectors = 0;
    std::size_t m_mark = 0;
};

// FAT32 on drives of several sizes, MBR and GPT, 512- and 4096-byte sectors: the partition where the
// partitioning and the formatter put it, the cluster the Part's table gives, and a volume fsck.fat and
// mtools accept, holding a 20 MiB file unchanged.
TEST_F(PartitionFormatTest, Fat32OnEverySizeIsAVolumeOtherImplementationsAccept) {
    struct Row {
        const char* name;
        std::uint64_t bytes;
        std::uint32_t sectorSize;
        bool gpt;
        std::uint32_t clusterBytes;
        bool copyFile;
    } rows[] = {
        {"40 GiB MBR", 40 * kGiB, 512, false, 8192, true},
        {"100 GiB GPT", 100 * kGiB, 512, true, 8192, false},
        {"300 GiB MBR of 4096", 300 * kGiB, 4096, false, 65536, false},
        {"1 TiB GPT", 1024 * kGiB, 512, true, 65536, false},
        {"2 TiB less one sector MBR", (0xFFFFFFFFull) * 512, 512, false, 65536, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        scanBench(row.bytes, row.sectorSize);
        ASSERT_EQ(format(row.gpt, 1), 0);
        EXPECT_TRUE(eventSeen("diskpart assign F"));
        const auto [first, count] = dataPartition(row.gpt);
        const std::uint64_t mib = 1048576 / row.sectorSize;
        if (row.gpt) {
            EXPECT_EQ(first % mib, 0u);
        } else {
            EXPECT_EQ(first, mib);
            EXPECT_EQ(count % 64, 0u);
            EXPECT_EQ(count, (std::min<std::uint64_t>(m_sectors, 0xFFFFFFFFull) - first) / 64 * 64);
            EXPECT_EQ(sector(0)[446], 0x80);  // active
            EXPECT_EQ(sector(0)[450], 0x0C);  // FAT32 with LBA, set by the formatter
        }
        EXPECT_LE(first + count, m_sectors);
        const fs::path image = partitionImage(row.gpt);
        const auto fsck = run(tool("fsck.fat") + " -n '" + image.string() + "'");
        EXPECT_EQ(fsck.status, 0) << fsck.output;
        const std::string mtools = "MTOOLS_SKIP_CHECK=1 ";
        const auto info = run(mtools + tool("minfo") + " -i '" + image.string() + "' ::");
        EXPECT_NE(info.output.find("cluster size: " + std::to_string(row.clusterBytes / row.sectorSize) +
                                   " sectors"),
                  std::string::npos)
            << info.output;
        EXPECT_NE(info.output.find("hidden sectors: " + std::to_string(first)), std::string::npos)
            << info.output;
        const auto dir = run(mtools + tool("mdir") + " -i '" + image.string() + "' ::");
        EXPECT_NE(dir.output.find("Volume in drive : is QUIBTEST"), std::string::npos) << dir.output;
        // What the system reports of the new volume.
        const auto volume = quib::platform::get().volumes.volumeInformation("F:\\");
        ASSERT_TRUE(volume);
        EXPECT_EQ(volume->fileSystem, "FAT32");
        EXPECT_EQ(volume->label, "QUIBTEST");
        if (row.copyFile) {
            const fs::path in = fs::path(workFolder()) / "in.bin", out = fs::path(workFolder()) / "out.bin";
            ASSERT_EQ(run("head -c 20971520 /dev/urandom > '" + in.string() + "'").status, 0);
            ASSERT_EQ(
                run(mtools + tool("mcopy") + " -i '" + image.string() + "' '" + in.string() + "' ::/DATA.BIN")
                    .status,
                0);
            ASSERT_EQ(run(mtools + tool("mcopy") + " -i '" + image.string() + "' ::/DATA.BIN '" +
                          out.string() + "'")
                          .status,
                      0);
            EXPECT_EQ(run("cmp '" + in.string() + "' '" + out.string() + "'").status, 0);
            EXPECT_EQ(run(tool("fsck.fat") + " -n '" + image.string() + "'").status, 0);
        }
        // The script is the library's to remove.
        EXPECT_FALSE(fs::exists(quib::services::CFat32Format::scriptPath(1)));
    }
}

// exFAT and NTFS come from the system's format program, the label from the label call; choice 3 falls back to
// FAT32; a drive above 8 TiB gets NTFS whatever was chosen.
TEST_F(PartitionFormatTest, OtherFileSystemsComeFromTheSystemsTools) {
    struct Row {
        const char* name;
        std::uint64_t bytes;
        bool gpt;
        std::uint8_t choice;
        const char* fileSystem;
        const char* check;  // the file system's own checker, on the partition's image
    } rows[] = {
        {"exFAT", 64 * kGiB, false, 2, "exFAT", "fsck.exfat -n"},
        {"NTFS", 64 * kGiB, true, 0, "NTFS", "ntfsfix -n"},
        {"choice 3", 64 * kGiB, false, 3, "FAT32", "fsck.fat -n"},
        {"9 TiB", 9 * 1024 * kGiB, true, 1, "NTFS", "ntfsfix -n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        scanBench(row.bytes);
        ASSERT_EQ(format(row.gpt, row.choice), 0);
        const auto volume = quib::platform::get().volumes.volumeInformation("F:\\");
        ASSERT_TRUE(volume);
        EXPECT_EQ(volume->fileSystem, row.fileSystem);
        EXPECT_EQ(volume->label, "QUIBTEST");
        const std::string command = row.check;
        const fs::path image = partitionImage(row.gpt);
        const auto check = run(tool(command.substr(0, command.find(' '))) +
                               command.substr(command.find(' ')) + " '" + image.string() + "'");
        EXPECT_EQ(check.status, 0) << check.output;
        EXPECT_EQ(debugContains("Pre-Set Format Param Impossible"), row.choice == 3);
    }
}

// An older partitioning tool starts the partition at sector 63: the formatter moves it to 64 and shortens it
// to (length - 1) in whole 64-sector steps.
TEST_F(PartitionFormatTest, APartitionAtSector63MovesTo64) {
    scanBench(40 * kGiB, 512, {{"diskpart_mbr_first_sector", 63}});
    ASSERT_EQ(format(false, 1), 0);
    const auto [first, count] = dataPartition(false);
    EXPECT_EQ(first, 64u);
    EXPECT_EQ(count, (m_sectors - 63 - 1) / 64 * 64);
    const auto fsck = run(tool("fsck.fat") + " -n '" + partitionImage(false).string() + "'");
    EXPECT_EQ(fsck.status, 0) << fsck.output;
}

// What is refused, and what the drive and the system hold afterwards.
TEST_F(PartitionFormatTest, RefusalsLeaveEveryOtherDiskAlone) {
    // A disk of 3 TiB cannot hold one MBR partition to its end: the numbers are not cut to 32 bits.
    scanBench(3 * 1024 * kGiB);
    EXPECT_EQ(format(false, 1), -1);
    EXPECT_TRUE(debugContains("cannot be recorded in an MBR"));
    EXPECT_EQ(le32(sector(0), 458), 0xFFFFFFFFu - 2047);  // as the partitioning tool left it

    // The caller's letter names another disk's volume (the system's D:, or C:): nothing is formatted there.
    for (const char letter : {'D', 'C'}) {
        scanBench(40 * kGiB);
        EXPECT_EQ(format(false, 1, letter), -1);
        EXPECT_TRUE(debugContains("Pre-Check Fail"));
        // Refused before any tool ran: no format was tried, on the other disk or on the bridge's.
        const auto events = benchRef().volumeEvents();
        EXPECT_FALSE(std::any_of(events.begin(), events.end(), [](const std::string& e) {
            return e.rfind("format", 0) == 0 || e.rfind("refused", 0) == 0;
        }));
        EXPECT_FALSE(debugContains("vZeroSectors"));
    }

    // The new volume never takes the caller's letter: the wait ends after 60 s of the bench's clock.
    scanBench(40 * kGiB);
    const std::uint64_t before = quib::platform::get().clock.tickMs();
    EXPECT_EQ(format(false, 1, 'E'), -1);
    const std::uint64_t waited = quib::platform::get().clock.tickMs() - before;
    EXPECT_GE(waited, quib::services::CFat32Format::kLetterWaitMs);
    EXPECT_LT(waited, quib::services::CFat32Format::kLetterWaitMs + 5000);
    EXPECT_TRUE(debugContains("drive letter E still free"));

    // Letter C: the formatter writes nothing. Disk number 0 (the system disk): no script is written.
    scanBench(40 * kGiB);
    quib::services::CFat32Format formatter;
    ASSERT_TRUE(formatter.bSetFormatParam('c', 0, false));
    EXPECT_FALSE(formatter.bFormatVolume("X"));
    EXPECT_TRUE(debugContains("bFormatVolume: Force not to Do Format C"));
    EXPECT_FALSE(formatter.vSetDiskPartSetupInfo('F', 0, false));
    EXPECT_TRUE(debugContains("ucPhysicalAddress is invalid"));
    EXPECT_FALSE(fs::exists(quib::services::CFat32Format::scriptPath(0)));
    EXPECT_EQ(writesSinceScan(), 0u);
}

}  // namespace
}  // namespace devcore_test
