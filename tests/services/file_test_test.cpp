// The file test against a bench bridge's FAT32 volume: the reference file copied, read back and compared,
// what the volume holds afterwards, and the refusals before anything is written.
#include <filesystem>
#include <fstream>

#include "bench/bridge/bridge_chip.h"
#include "services/format/fat32_writer.h"
#include "tests/devcore/bench_fixture.h"

namespace devcore_test {
namespace {

using Bytes = std::vector<std::uint8_t>;
namespace fat32 = quib::services::fat32;

constexpr std::uint64_t kVolumeOffset = 1048576;  // a blank drive's implicit partition
constexpr std::uint64_t kVolumeBytes = 600ull << 20;

// Writes a formatted volume onto the bench drive at the implicit partition.
class ChipWriter : public fat32::SectorWriter {
  public:
    explicit ChipWriter(bench::BridgeChip& chip) : m_chip(chip) {}
    bool write(std::uint64_t firstSector, std::span<const std::uint8_t> data) override {
        return m_chip.writeDrive(kVolumeOffset + firstSector * 512, data);
    }

  private:
    bench::BridgeChip& m_chip;
};

class FileTestTest : public ScanTest {
  protected:
    // Bridge "d" with volume E: (FAT32 when `formatted`), and the reference file of `referenceBytes`.
    void prepare(bool formatted, std::uint64_t referenceBytes) {
        json bridge = {{"id", "d"},
                       {"serial", "SN-D"},
                       {"family", "7120"},
                       {"volume_letter", "E"},
                       {"drive", {{"kind", "sata"}, {"sectors", (kVolumeOffset + kVolumeBytes) / 512}}}};
        ASSERT_EQ(scan(benchOfBridges({bridge})), 0);
        if (formatted) {
            fat32::VolumeGeometry g;
            g.hiddenSectors = kVolumeOffset / 512;
            g.partitionBytes = kVolumeBytes;
            const auto plan = fat32::planVolume(g, 0);
            ASSERT_TRUE(plan.layout.has_value());
            benchRef().withChip("d", [&](bench::BridgeChip& chip) {
                ChipWriter writer(chip);
                fat32::writeVolume(writer, *plan.layout, g, 0x1234ABCD, "BENCHVOL", fat32::LocalTime{});
            });
        }
        m_reference = inWorkFolder("rwtestbin.txt");
        if (referenceBytes > 0) {
            std::ofstream(m_reference, std::ios::binary).close();
            std::filesystem::resize_file(m_reference, referenceBytes);
            std::fstream f(m_reference, std::ios::in | std::ios::out | std::ios::binary);
            for (std::uint64_t at = 0; at < std::min<std::uint64_t>(referenceBytes, 1 << 20); at += 4096) {
                f.seekp(static_cast<std::streamoff>(at));
                f.put(static_cast<char>(at / 4096 + 1));
            }
        }
        m_mark = bridgeTrace().size();
    }
    Bytes reference() {
        std::ifstream in(m_reference, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }
    std::optional<Bytes> onVolume(const std::string& path) {
        std::uint32_t error = 0;
        return benchRef().readVolumeFile(path, error);
    }
    bool boxShown(const std::string& text) {
        for (const auto& box : benchRef().messageBoxes())
            if (box.text.find(text) != std::string::npos) return true;
        return false;
    }

    std::string m_reference;
    std::size_t m_mark = 0;
};

TEST_F(FileTestTest, TheReferenceFileIsCopiedReadBackAndKeptOnTheVolume) {
    prepare(true, 3 << 20);
    EXPECT_EQ(QuibUSBLib_vReadWriteTest('E', 2), 0);
    EXPECT_EQ(onVolume("E:\\rwtestbin.txt"), reference());
    // The copy went to the bridge's drive as block writes.
    std::size_t written = 0;
    const auto trace = bridgeTrace();
    for (auto it = trace.begin() + static_cast<std::ptrdiff_t>(m_mark); it != trace.end(); ++it)
        written += it->cdb[0] == 0x2A ? it->transferLength : 0;
    EXPECT_GE(written, 2u * (3 << 20));
}

TEST_F(FileTestTest, RefusalsAndFailuresWriteNothingToAnyOtherVolume) {
    struct Row {
        const char* name;
        bool formatted;
        std::uint64_t referenceBytes;
        char letter;
        const char* box;  // the message box shown, or nothing
        const char* log;
    } rows[] = {
        {"no reference file", true, 0, 'E', "R/W test file Error because the ini info is incorrect", nullptr},
        {"reference too large", true, 0xB400001, 'E', "rwtestbin.txtWrRdTest file size too large", nullptr},
        {"drive C", true, 4096, 'C', nullptr, "Pre-WrRdTest Check Fail m_cDriveLetter = [C]"},
        {"no such volume", true, 4096, 'Q', nullptr, "drive Q: lies on no bridge"},
        {"no letter", true, 4096, 127, nullptr, "Pre-WrRdTest Check Fail"},
        {"volume without FAT32", false, 4096, 'E', nullptr, "vWriteFile[E:\\rwtestbin.txt] Len[4096] Fail"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        prepare(row.formatted, row.referenceBytes);
        EXPECT_EQ(QuibUSBLib_vReadWriteTest(row.letter, 1), -1);
        if (row.box) {
            EXPECT_TRUE(boxShown(row.box));
        }
        if (row.log) {
            EXPECT_TRUE(debugContains(row.log));
        }
        for (const auto& r : bridgeTrace()) EXPECT_NE(r.cdb[0], 0x2A) << "a block was written";
        if (row.formatted) {
            EXPECT_FALSE(onVolume("E:\\rwtestbin.txt").has_value());
        }
    }
}

}  // namespace
}  // namespace devcore_test
