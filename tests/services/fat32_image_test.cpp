// FAT32 volumes written into sparse image files, judged by other implementations: fsck.fat finds nothing
// to mend, mtools reads the geometry and the label and copies a 20 MiB file in and out unchanged.
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
#include "tests/common/temp_path.h"

namespace f = quib::services::fat32;
namespace fs = std::filesystem;

namespace {

constexpr std::uint64_t kGiB = 1024ull * 1024 * 1024;

class ImageWriter : public f::SectorWriter {
  public:
    ImageWriter(const fs::path& path, std::uint32_t bytesPerSector) : m_bytesPerSector(bytesPerSector) {
        m_fd = ::open(path.c_str(), O_WRONLY);
    }
    ~ImageWriter() override {
        if (m_fd >= 0) ::close(m_fd);
    }
    bool write(std::uint64_t firstSector, std::span<const std::uint8_t> data) override {
        const auto done =
            ::pwrite(m_fd, data.data(), data.size(), static_cast<off_t>(firstSector * m_bytesPerSector));
        return done == static_cast<ssize_t>(data.size());
    }

  private:
    int m_fd = -1;
    std::uint32_t m_bytesPerSector;
};

struct ToolRun {
    int status = -1;
    std::string output;
};

ToolRun run(const std::string& command) {
    ToolRun result;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen((command + " 2>&1").c_str(), "r"), ::pclose);
    if (!pipe) return result;
    std::array<char, 4096> chunk;
    while (std::fgets(chunk.data(), chunk.size(), pipe.get())) result.output += chunk.data();
    result.status = ::pclose(pipe.release());
    return result;
}

std::string tool(const std::string& name) {
    for (const char* folder : {"/usr/sbin/", "/sbin/", "/usr/bin/", "/bin/"}) {
        if (fs::exists(std::string(folder) + name)) return std::string(folder) + name;
    }
    ADD_FAILURE() << name << " is not installed (dosfstools, mtools: scripts/install-deps.sh)";
    return name;
}

struct Case {
    const char* name;
    std::uint64_t bytes;
    std::uint32_t bytesPerSector;
    std::uint32_t request;  // sectors per cluster asked for
    std::uint32_t expectedSectorsPerCluster;
};

class Fat32Image : public ::testing::TestWithParam<Case> {
  protected:
    void SetUp() override {
        m_folder = quib::testing::freshTempPath("fat32");
        fs::create_directories(m_folder);
    }
    void TearDown() override { fs::remove_all(m_folder); }
    fs::path m_folder;
};

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
