// The bench: the system's format and label programs, carried out by the host's own file-system tools on a
// copy of the partition; and the volume label call.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>

#include "bench/bench_internal.h"
#include "bench/drive/sparse_file.h"
#include "bench/volume/diskpart_script.h"

#ifdef __linux__
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

namespace bench {
namespace {

constexpr std::uint64_t kCopyPiece = 1048576;
constexpr std::uint32_t kNotSupported = 50;

std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// "C:\Windows\system32\format.com" -> "format.com"
std::string programName(const std::string& program) {
    const std::size_t slash = program.find_last_of("\\/");
    return lower(slash == std::string::npos ? program : program.substr(slash + 1));
}

// The words of a command line, a switch starting a word of its own ("E:/Q" -> "E:", "/Q").
std::vector<std::string> commandWords(const std::string& arguments) {
    std::string spaced;
    for (const char c : arguments) {
        if (c == '/') spaced += ' ';
        spaced += c;
    }
    return blankSeparatedWords(spaced);
}

char driveWord(const std::string& word) {
    return word.size() == 2 && word[1] == ':' && std::isalpha(static_cast<unsigned char>(word[0]))
               ? static_cast<char>(std::toupper(static_cast<unsigned char>(word[0])))
               : 0;
}

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

#ifdef __linux__
// A tool of the host by name: on the search path, or where Debian keeps administrators' tools.
std::optional<std::string> findTool(const std::string& name) {
    std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
    path += ":/usr/sbin:/sbin";
    std::size_t at = 0;
    while (at <= path.size()) {
        const std::size_t end = std::min(path.find(':', at), path.size());
        const std::string candidate = path.substr(at, end - at) + "/" + name;
        if (end > at && ::access(candidate.c_str(), X_OK) == 0) return candidate;
        at = end + 1;
    }
    return std::nullopt;
}

std::optional<int> spawnQuietly(const std::vector<std::string>& argv) {
    const auto tool = findTool(argv.front());
    if (!tool) return std::nullopt;
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int started = ::posix_spawn(&pid, tool->c_str(), &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (started != 0) return std::nullopt;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}
#else
std::optional<int> spawnQuietly(const std::vector<std::string>&) {
    return std::nullopt;  // the host's file-system tools are Debian's
}
#endif

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
    const std::string name = programName(program);
    if (name == "diskpart.exe") {
        // "/s <script>": the rest of the line is the script's path (it may hold blanks and slashes).
        std::string rest = arguments;
        rest.erase(0, rest.find_first_not_of(" \t"));
        std::optional<std::string> text;
        if (rest.size() > 3 && lower(rest.substr(0, 2)) == "/s" &&
            std::isspace(static_cast<unsigned char>(rest[2]))) {
            std::string path = rest.substr(3);
            path.erase(0, path.find_first_not_of(" \t\""));
            path.erase(path.find_last_not_of(" \t\"") + 1);
            text = readScript(path);
        }
        if (!text) return kDiskpartNoScript;
        return transact([&] { return runDiskpart(*text); });
    }
    if (name != "format.com" && name != "label.exe") {
        error = err::kFileNotFound;
        return std::nullopt;
    }
    return transact([&]() -> std::optional<std::uint32_t> {
        const std::vector<std::string> words = commandWords(arguments);
        const char letter = words.empty() ? 0 : driveWord(words[0]);
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
            std::string label;
            for (std::size_t i = 1; i < words.size(); ++i) label += (i > 1 ? " " : "") + words[i];
            std::uint32_t ignored = 0;
            return setVolumeLabel(std::string(1, letter) + ":\\", label, ignored) ? 0u : kFormatFatal;
        }
        std::string fileSystem;
        bool confirmed = false;
        for (std::size_t i = 1; i < words.size(); ++i) {
            const std::string w = lower(words[i]);
            if (w == "/y")
                confirmed = true;
            else if (w.rfind("/fs:", 0) == 0)
                fileSystem = w.substr(4);
            else if (w != "/q")
                return kFormatBadParameters;
        }
        // Without /y the program would wait for an answer no one gives.
        if (!confirmed) return kFormatFatal;
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
