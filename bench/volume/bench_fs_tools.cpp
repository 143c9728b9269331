// The bench: the system's format and label programs, carried out by the host's own file-system tools on a
// copy of the partition; and the volume label call.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>

#include "bench/bench_internal.h"
#include "bench/drive/sparse_file.h"
#include "common/disktools/quiet_spawn.h"
#include "common/disktools/tool_commands.h"

namespace bench {
namespace disktools = quib::disktools;
namespace {

constexpr std::uint64_t kCopyPiece = 1048576;
constexpr std::uint32_t kNotSupported = 50;

// A sparse file holding the drive's bytes from `offset` for `length`: only what was written is copied.
bool sparseCopy(const BridgeChip& chip, std::uint64_t offset, std::uint64_t length,
                const std::filesystem::path& path) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::vector<std::uint8_t> piece;
    for (const auto& [at, bytes] : chip.writtenDriveExtents(offset, length)) {
        const std::uint64_t from = std::max(at, offset), to = std::min(at + bytes, offset + length);
        for (std::uint64_t p = from; p < to; p += kCopyPiece) {
            piece.resize(static_cast<std::size_t>(std::min(kCopyPiece, to - p)));
            if (!chip.readDrive(p, piece)) return false;
            if (std::all_of(piece.begin(), piece.end(), [](std::uint8_t v) { return v == 0; })) continue;
            out.seekp(static_cast<std::streamoff>(p - offset));
            out.write(reinterpret_cast<const char*>(piece.data()),
                      static_cast<std::streamsize>(piece.size()));
        }
    }
    out.close();
    if (!out) return false;
    std::error_code failed;
    std::filesystem::resize_file(path, length, failed);
    return !failed;
}

// A tool of the host, waited for without a bound (the bench's clock does not run meanwhile).
std::optional<int> spawnQuietly(const std::vector<std::string>& argv) {
    int ignored = 0;
    const auto code = disktools::spawnQuietly(argv, 0, ignored);
    if (!code) return std::nullopt;
    return static_cast<int>(*code);
}

}  // namespace

std::optional<int> Bench::runToolOnPartition(const VolumePlace& place, const ToolCommand& command) {
    BridgeChip& chip = *m_chips[static_cast<std::size_t>(place.bridge)];
    const std::uint32_t bs =
        m_description.bridges[static_cast<std::size_t>(place.bridge)].drive->reportedBytesPerSector;
    static int serial = 0;
    const std::filesystem::path copy =
        (!m_scratchFolder.empty() ? m_scratchFolder
         : m_store                ? m_store->pathOf("")
                                  : std::filesystem::temp_directory_path()) /
        ("partition-" + std::to_string(reinterpret_cast<std::uintptr_t>(this) % 100000) + "-" +
         std::to_string(++serial) + ".img");
    struct Remove {
        std::filesystem::path path;
        ~Remove() {
            std::error_code ignored;
            std::filesystem::remove(path, ignored);
        }
    } remove{copy};
    if (!sparseCopy(chip, place.offset, place.length, copy)) return kFormatFatal;
    const auto code = spawnQuietly(command(copy.string()));
    if (!code) return std::nullopt;
    // What the tool changed goes to the drive as the system's writes would: through the bridge.
    std::ifstream in(copy, std::ios::binary);
    std::vector<std::uint8_t> mine, theirs;
    for (const auto& [at, bytes] : dataExtents(copy, 0, place.length)) {
        const std::uint64_t from = at / bs * bs, to = std::min(place.length, (at + bytes + bs - 1) / bs * bs);
        for (std::uint64_t p = from; p < to; p += kCopyPiece) {
            const std::size_t n = static_cast<std::size_t>(std::min(kCopyPiece, to - p));
            mine.assign(n, 0);
            theirs.assign(n, 0);
            in.clear();
            in.seekg(static_cast<std::streamoff>(p));
            in.read(reinterpret_cast<char*>(mine.data()), static_cast<std::streamsize>(n));
            if (!chip.readDrive(place.offset + p, theirs) || mine == theirs) continue;
            std::uint32_t error = 0;
            if (!driveTransfer(place.bridge, place.offset + p, mine, true, error)) return kFormatFatal;
        }
    }
    return code;
}

std::optional<std::uint32_t> Bench::runProgram(const std::string& program, const std::string& arguments,
                                               const ScriptReader& readScript, std::uint32_t& error) {
    const std::string name = disktools::programName(program);
    if (name == "diskpart.exe") {
        const auto path = disktools::diskpartScriptPath(arguments);
        const std::optional<std::string> text = path ? readScript(*path) : std::nullopt;
        if (!text) return kDiskpartNoScript;
        return transact([&] { return runDiskpart(*text); });
    }
    if (name != "format.com" && name != "label.exe") {
        error = err::kFileNotFound;
        return std::nullopt;
    }
    return transact([&]() -> std::optional<std::uint32_t> {
        const disktools::FormatRequest format = disktools::parseFormatArguments(arguments);
        const char letter = format.letter;
        std::optional<std::size_t> volume;
        for (std::size_t v = 0; v < m_description.volumes.size(); ++v)
            if (letter && volumeLetter(v) == letter && volumeShown(v)) volume = v;
        if (!volume) return kFormatBadParameters;
        const auto place = volumePlace(*volume);
        if (!place || place->bridge < 0) {
            m_volumeEvents.push_back(std::string("refused ") + (name == "format.com" ? "format " : "label ") +
                                     letter);
            return kFormatFatal;
        }
        if (name == "label.exe") {
            std::uint32_t ignored = 0;
            return setVolumeLabel(std::string(1, letter) + ":\\",
                                  disktools::parseLabelArguments(arguments).label, ignored)
                       ? 0u
                       : kFormatFatal;
        }
        if (format.unknownSwitch) return kFormatBadParameters;
        // Without /y the program would wait for an answer no one gives.
        if (!format.confirmed) return kFormatFatal;
        const std::string& fileSystem = format.fileSystem;
        if (m_lockedVolumes.count(letter)) return kFormatFatal;
        const std::uint32_t bs =
            m_description.bridges[static_cast<std::size_t>(place->bridge)].drive->reportedBytesPerSector;
        if (fileSystem != "exfat" && fileSystem != "ntfs") return kFormatBadParameters;
        const std::uint64_t hidden = place->offset / bs;
        m_volumeEvents.push_back(std::string("format ") + letter + " " + fileSystem);
        const auto code =
            runToolOnPartition(*place, [&](const std::string& image) -> std::vector<std::string> {
                if (fileSystem == "exfat") return {"mkfs.exfat", image};
                return {"mkntfs", "-Q",  "-F", "-q", "-s", std::to_string(bs), "-p", std::to_string(hidden),
                        "-H",     "255", "-S", "63", image};
            });
        if (!code) {
            error = err::kFileNotFound;
            return std::nullopt;
        }
        return *code == 0 ? 0u : kFormatFatal;
    });
}

bool Bench::setVolumeLabel(const std::string& rootPath, const std::string& label, std::uint32_t& error) {
    return transact([&] {
        const char letter = letterOfMountPoint(rootPath);
        for (std::size_t v = 0; v < m_description.volumes.size(); ++v) {
            if (volumeLetter(v) != letter || !volumeShown(v)) continue;
            const auto place = volumePlace(v);
            std::uint32_t ignored = 0;
            const auto facts = volumeFacts(rootPath, ignored);
            if (!place || place->bridge < 0 || !facts) {
                error = place && place->bridge < 0 ? err::kAccessDenied : err::kUnrecognizedVolume;
                return false;
            }
            if (m_lockedVolumes.count(letter)) {
                error = err::kAccessDenied;
                return false;
            }
            const std::string tool = facts->fileSystem == "FAT32"   ? "fatlabel"
                                     : facts->fileSystem == "exFAT" ? "exfatlabel"
                                                                    : "ntfslabel";
            const auto code = runToolOnPartition(*place, [&](const std::string& image) {
                return std::vector<std::string>{tool, image, label};
            });
            if (!code || *code != 0) {
                error = code ? err::kInvalidParameter : kNotSupported;
                return false;
            }
            m_volumeEvents.push_back(std::string("label ") + letter + " " + label);
            return true;
        }
        error = err::kPathNotFound;
        return false;
    });
}

void Bench::saveDriveRange(const std::string& bridgeId, std::uint64_t offset, std::uint64_t length,
                           const std::filesystem::path& path) {
    transact([&] {
        const int b = m_description.bridgeIndex(bridgeId);
        if (b < 0) throw BenchError("no bridge \"" + bridgeId + "\"");
        if (!sparseCopy(*m_chips[static_cast<std::size_t>(b)], offset, length, path))
            throw BenchError(path.string() + ": cannot be written");
    });
}

}  // namespace bench
