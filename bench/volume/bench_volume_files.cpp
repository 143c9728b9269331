// The bench: files in the root folder of a bridge volume's FAT32, as the system's FAT driver keeps them.
#include <ctime>

#include "bench/bench_internal.h"

namespace bench {
namespace {

constexpr std::uint32_t kNotSupported = 50, kSharingViolation = 32, kAlreadyExists = 183;
std::string folderKey(const std::string& path) {
    std::string key = path;
    for (char& c : key) c = c == '/' ? '\\' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return key;
}

// "E:\name" -> ('E', "name"); the letter 0 when the path names no drive.
std::pair<char, std::string> split(const std::string& path) {
    const char letter = letterOfMountPoint(path);
    if (letter == 0) return {0, {}};
    std::string rest = path.substr(2);
    while (!rest.empty() && (rest.front() == '\\' || rest.front() == '/')) rest.erase(0, 1);
    return {letter, rest};
}

}  // namespace

bool Bench::foreignVolume(const std::string& path, std::uint32_t error) {
    if (error != kNotSupported) return false;
    std::uint32_t ignored = 0;
    const auto facts = volumeFacts(std::string(1, split(path).first) + ":\\", ignored);
    return facts && facts->fileSystem != "FAT32";
}

bool Bench::ownsPath(const std::string& path) {
    return transact([&] {
        const char letter = split(path).first;
        for (std::size_t v = 0; v < m_description.volumes.size(); ++v)
            if (volumeLetter(v) == letter && m_description.volumes[v].bridge) return true;
        return false;
    });
}

std::optional<std::pair<Fat32Files, std::string>> Bench::volumeFilesOf(const std::string& path,
                                                                       std::uint32_t& error) {
    const auto [letter, name] = split(path);
    for (std::size_t v = 0; v < m_description.volumes.size(); ++v) {
        if (volumeLetter(v) != letter || !m_description.volumes[v].bridge) continue;
        const auto place = volumePlace(v);
        if (!place) break;
        if (m_lockedVolumes.count(letter)) {
            error = kSharingViolation;  // locked by a raw user: the file system is not reachable
            return std::nullopt;
        }
        if (name.find_first_of("\\/") != std::string::npos) {
            error = err::kPathNotFound;  // only the root folder's own entries are kept
            return std::nullopt;
        }
        // The file system driver reaches the drive as any reader does: whole blocks through the bridge.
        const int bridge = place->bridge;
        const std::uint64_t base = place->offset, length = place->length;
        const std::uint64_t block =
            m_description.bridges[static_cast<std::size_t>(bridge)].drive->reportedBytesPerSector;
        auto blocks = [this, bridge, base, block](std::uint64_t at, std::size_t size,
                                                  std::vector<std::uint8_t>& whole, std::uint64_t& first) {
            first = at / block * block;
            whole.assign(static_cast<std::size_t>((at + size + block - 1) / block * block - first), 0);
            std::uint32_t ignored = 0;
            return driveTransfer(bridge, base + first, whole, false, ignored).has_value();
        };
        VolumeIo io{
            [length, blocks](std::uint64_t at, std::span<std::uint8_t> out) {
                std::vector<std::uint8_t> whole;
                std::uint64_t first = 0;
                if (at > length || out.size() > length - at || !blocks(at, out.size(), whole, first))
                    return false;
                std::copy_n(whole.begin() + static_cast<std::ptrdiff_t>(at - first), out.size(), out.begin());
                return true;
            },
            [this, bridge, base, length, block, blocks](std::uint64_t at, std::span<const std::uint8_t> in) {
                if (at > length || in.size() > length - at) return false;
                std::vector<std::uint8_t> whole;
                std::uint64_t first = at;
                if (at % block == 0 && in.size() % block == 0)
                    whole.resize(in.size());  // whole blocks: nothing to keep around them
                else if (!blocks(at, in.size(), whole, first))
                    return false;
                std::copy(in.begin(), in.end(), whole.begin() + static_cast<std::ptrdiff_t>(at - first));
                std::uint32_t ignored = 0;
                return driveTransfer(bridge, base + first, whole, true, ignored).has_value();
            }};
        auto files = Fat32Files::open(std::move(io), length);
        if (!files) {
            error = kNotSupported;  // the bench keeps files on FAT32 volumes only
            return std::nullopt;
        }
        const std::time_t now = static_cast<std::time_t>(m_description.clockStartUnix +
                                                         static_cast<std::int64_t>(m_state->clockMs / 1000));
        std::tm t{};
#if defined(_WIN32)
        gmtime_s(&t, &now);
#else
        gmtime_r(&now, &t);
#endif
        files->setTime(
            static_cast<std::uint16_t>(((t.tm_year - 80) << 9) | ((t.tm_mon + 1) << 5) | t.tm_mday),
            static_cast<std::uint16_t>((t.tm_hour << 11) | (t.tm_min << 5) | (t.tm_sec / 2)));
        return std::make_pair(std::move(*files), name);
    }
    error = err::kPathNotFound;
    return std::nullopt;
}

std::optional<Fat32Files::Entry> Bench::volumeEntry(const std::string& path, std::uint32_t& error) {
    return transact([&]() -> std::optional<Fat32Files::Entry> {
        auto files = volumeFilesOf(path, error);
        if (!files && foreignVolume(path, error)) {
            // Only folders are kept there, and only while this bench object lives.
            const std::string name = split(path).second;
            if (name.empty() || m_foreignFolders.count(folderKey(path)))
                return Fat32Files::Entry{name, true, 0, 0};
            error = err::kFileNotFound;
            return std::nullopt;
        }
        if (!files) return std::nullopt;
        if (files->second.empty()) return Fat32Files::Entry{"", true, 0, 0};  // the root folder itself
        auto entry = files->first.find(files->second);
        if (!entry) error = err::kFileNotFound;
        return entry;
    });
}

std::optional<std::vector<std::uint8_t>> Bench::readVolumeFile(const std::string& path,
                                                               std::uint32_t& error) {
    return transact([&]() -> std::optional<std::vector<std::uint8_t>> {
        auto files = volumeFilesOf(path, error);
        if (!files) return std::nullopt;
        auto bytes = files->first.readFile(files->second);
        if (!bytes) error = err::kFileNotFound;
        return bytes;
    });
}

bool Bench::writeVolumeFile(const std::string& path, std::span<const std::uint8_t> bytes,
                            std::uint32_t& error) {
    return transact([&] {
        auto files = volumeFilesOf(path, error);
        if (!files) return false;
        if (files->second.empty()) {
            error = err::kAccessDenied;
            return false;
        }
        return files->first.writeFile(files->second, bytes, error);
    });
}

bool Bench::removeVolumeEntry(const std::string& path, bool directory, std::uint32_t& error) {
    return transact([&] {
        auto files = volumeFilesOf(path, error);
        if (!files && foreignVolume(path, error)) {
            if (directory && m_foreignFolders.erase(folderKey(path))) return true;
            error = err::kFileNotFound;
            return false;
        }
        return files && !files->second.empty() && files->first.remove(files->second, directory, error);
    });
}

bool Bench::createVolumeDirectory(const std::string& path, std::uint32_t& error) {
    return transact([&] {
        auto files = volumeFilesOf(path, error);
        if (!files && foreignVolume(path, error)) {
            if (m_foreignFolders.insert(folderKey(path)).second) return true;
            error = kAlreadyExists;
            return false;
        }
        if (!files) return false;
        if (files->second.empty()) return true;  // the root folder exists
        return files->first.createDirectory(files->second, error);
    });
}

}  // namespace bench
