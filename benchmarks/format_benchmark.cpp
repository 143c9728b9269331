// FAT32 on a 2 TiB sparse image (2 TiB less 1 MiB: FAT32 counts at most 0xFFFFFFFE sectors): our formatter
// against Debian's mkfs.fat -F 32 on an equal file, each run on a fresh file and synced. Counters: the
// bytes the image holds afterwards (allocated blocks) and the cluster size chosen.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "services/format/fat32_layout.h"
#include "services/format/fat32_writer.h"

namespace {

namespace f = quib::services::fat32;
namespace fs = std::filesystem;

constexpr std::uint64_t kImageBytes = (2ull << 40) - (1ull << 20);

class FdWriter : public f::SectorWriter {
  public:
    explicit FdWriter(int fd) : m_fd(fd) {}
    bool write(std::uint64_t firstSector, std::span<const std::uint8_t> data) override {
        return ::pwrite(m_fd, data.data(), data.size(), static_cast<off_t>(firstSector * 512)) ==
               static_cast<ssize_t>(data.size());
    }

  private:
    int m_fd;
};

fs::path freshImage() {
    const fs::path path =
        fs::temp_directory_path() / ("quib-format-bench-" + std::to_string(::getpid()) + ".img");
    fs::remove(path);
    const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY, 0600);
    if (fd < 0 || ::ftruncate(fd, static_cast<off_t>(kImageBytes)) != 0) std::abort();
    ::close(fd);
    return path;
}

void report(benchmark::State& state, const fs::path& image) {
    struct stat st {};
    ::stat(image.c_str(), &st);
    std::uint8_t boot[512] = {};
    const int fd = ::open(image.c_str(), O_RDONLY);
    if (fd >= 0 && ::pread(fd, boot, sizeof boot, 0) != static_cast<ssize_t>(sizeof boot)) boot[13] = 0;
    if (fd >= 0) ::close(fd);
    state.counters["allocated_MiB"] = static_cast<double>(st.st_blocks) * 512 / (1 << 20);
    state.counters["cluster_KiB"] = boot[13] * 512.0 / 1024;
    fs::remove(image);
}

// Times `format` on a fresh 2 TiB sparse image per iteration, then reports the last image.
template <typename Format>
void timeOnFreshImages(benchmark::State& state, Format format) {
    fs::path image;
    for (auto _ : state) {
        state.PauseTiming();
        if (!image.empty()) fs::remove(image);
        image = freshImage();
        state.ResumeTiming();
        if (const char* error = format(image)) state.SkipWithError(error);
    }
    report(state, image);
}

void BM_Fat32Format2TiB(benchmark::State& state) {
    timeOnFreshImages(state, [](const fs::path& image) -> const char* {
        const f::VolumeGeometry geometry{512, 63, 255, 2048, kImageBytes};
        const auto plan =
            f::planVolume(geometry, f::clusterRequestForDisk(static_cast<std::int64_t>(kImageBytes >> 20)));
        if (!plan.layout) return "refused";
        const int fd = ::open(image.c_str(), O_WRONLY);
        FdWriter writer(fd);
        const f::LocalTime time{2026, 12, 9, 12, 0, 0, 0};
        const auto result =
            f::writeVolume(writer, *plan.layout, geometry, f::volumeIdFrom(time), "QUIB", time);
        ::fsync(fd);
        ::close(fd);
        return result.failedWrites ? "a write failed" : nullptr;
    });
}
BENCHMARK(BM_Fat32Format2TiB)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_MkfsFat2TiB(benchmark::State& state) {
    timeOnFreshImages(state, [](const fs::path& image) -> const char* {
        // mkfs.fat syncs the device before it ends.
        const std::string command = "/sbin/mkfs.fat -F 32 -n QUIB '" + image.string() + "' >/dev/null 2>&1";
        return std::system(command.c_str()) != 0 ? "mkfs.fat failed" : nullptr;
    });
}
BENCHMARK(BM_MkfsFat2TiB)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
