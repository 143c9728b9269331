#include "bench/folder_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "bench/bench_error.h"

namespace bench {
namespace {

constexpr const char* kLockFile = "bench.lock";
constexpr const char* kGenerationFile = "generation";

[[noreturn]] void failWith(const std::filesystem::path& path, const char* what) {
    throw BenchError(path.string() + ": " + what + ": " + std::strerror(errno));
}

void writeAll(int fd, const std::uint8_t* data, std::size_t size, const std::filesystem::path& path) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            failWith(path, "cannot write");
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}

}  // namespace

FolderStore::FolderStore(std::filesystem::path folder) : m_folder(std::move(folder)) {
    const auto lockPath = m_folder / kLockFile;
    m_lockFd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (m_lockFd < 0) failWith(lockPath, "cannot open the lock file");
}

FolderStore::~FolderStore() {
    if (m_lockFd >= 0) ::close(m_lockFd);
}

void FolderStore::lock() {
    while (::flock(m_lockFd, LOCK_EX) != 0)
        if (errno != EINTR) failWith(m_folder / kLockFile, "cannot lock");
}

void FolderStore::unlock() {
    ::flock(m_lockFd, LOCK_UN);
}

std::uint64_t FolderStore::readGeneration() const {
    const auto text = readText(kGenerationFile);
    if (!text) return 0;
    try {
        return std::stoull(*text);
    } catch (const std::exception&) {
        return 0;
    }
}

void FolderStore::writeGeneration(std::uint64_t generation) {
    writeText(kGenerationFile, std::to_string(generation) + "\n");
}

bool FolderStore::exists(const std::string& name) const {
    return std::filesystem::exists(m_folder / name);
}

std::optional<std::vector<std::uint8_t>> FolderStore::read(const std::string& name) const {
    std::ifstream in(m_folder / name, std::ios::binary);
    if (!in) return std::nullopt;
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::optional<std::string> FolderStore::readText(const std::string& name) const {
    std::ifstream in(m_folder / name, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void FolderStore::write(const std::string& name, std::span<const std::uint8_t> bytes) {
    const auto path = m_folder / name;
    std::filesystem::create_directories(path.parent_path());
    const auto temporary = path.string() + ".tmp";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) failWith(temporary, "cannot create");
    writeAll(fd, bytes.data(), bytes.size(), temporary);
    ::close(fd);
    if (::rename(temporary.c_str(), path.c_str()) != 0) failWith(path, "cannot replace");
}

void FolderStore::writeText(const std::string& name, const std::string& text) {
    write(name, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

void FolderStore::appendLine(const std::string& name, const std::string& line) {
    const auto path = m_folder / name;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) failWith(path, "cannot append to");
    std::string withEnd = line;
    if (withEnd.empty() || withEnd.back() != '\n') withEnd += '\n';
    writeAll(fd, reinterpret_cast<const std::uint8_t*>(withEnd.data()), withEnd.size(), path);
    ::close(fd);
}

void FolderStore::remove(const std::string& name) {
    std::error_code ignored;
    std::filesystem::remove(m_folder / name, ignored);
}

}  // namespace bench
