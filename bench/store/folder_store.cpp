#include "bench/store/folder_store.h"

#include <fcntl.h>
#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/file.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "bench/bench_error.h"

namespace bench {
namespace {

constexpr const char* kLockFile = "bench.lock";
constexpr const char* kGenerationFile = "generation";

#if !defined(_WIN32)
[[noreturn]] void failWith(const std::filesystem::path& path, const char* what) {
    throw BenchError(path.string() + ": " + what + ": " + std::strerror(errno));
}
#endif

#if defined(_WIN32)
[[noreturn]] void failWithSystemError(const std::filesystem::path& path, const char* what) {
    throw BenchError(path.string() + ": " + what + ": system error " + std::to_string(::GetLastError()));
}

void writeAll(HANDLE h, const std::uint8_t* data, std::size_t size, const std::filesystem::path& path) {
    while (size > 0) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(size > (1u << 30) ? (1u << 30) : size);
        if (!::WriteFile(h, data, chunk, &written, nullptr)) failWithSystemError(path, "cannot write");
        data += written;
        size -= written;
    }
}

HANDLE openForWriting(const std::filesystem::path& path, DWORD access, DWORD disposition) {
    // Shared for reading and deleting, as a POSIX file is, so other modules on the bench read it meanwhile.
    return ::CreateFileW(path.wstring().c_str(), access,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, disposition,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
}
#else
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
#endif

}  // namespace

#if defined(_WIN32)
FolderStore::FolderStore(std::filesystem::path folder) : m_folder(std::move(folder)) {
    const auto lockPath = m_folder / kLockFile;
    HANDLE h = openForWriting(lockPath, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS);
    if (h == INVALID_HANDLE_VALUE) failWithSystemError(lockPath, "cannot open the lock file");
    m_lockHandle = h;
}

FolderStore::~FolderStore() {
    if (m_lockHandle) ::CloseHandle(static_cast<HANDLE>(m_lockHandle));
}

void FolderStore::lock() {
    OVERLAPPED at{};
    if (!::LockFileEx(static_cast<HANDLE>(m_lockHandle), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at))
        failWithSystemError(m_folder / kLockFile, "cannot lock");
}

void FolderStore::unlock() {
    OVERLAPPED at{};
    ::UnlockFileEx(static_cast<HANDLE>(m_lockHandle), 0, 1, 0, &at);
}
#else
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
#endif

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
    const auto temporary =
        std::filesystem::path(path.native() + std::filesystem::path::string_type({'.', 't', 'm', 'p'}));
#if defined(_WIN32)
    HANDLE h = openForWriting(temporary, GENERIC_WRITE, CREATE_ALWAYS);
    if (h == INVALID_HANDLE_VALUE) failWithSystemError(temporary, "cannot create");
    try {
        writeAll(h, bytes.data(), bytes.size(), temporary);
    } catch (...) {
        ::CloseHandle(h);
        throw;
    }
    ::CloseHandle(h);
    if (!::MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING))
        failWithSystemError(path, "cannot replace");
#else
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) failWith(temporary, "cannot create");
    writeAll(fd, bytes.data(), bytes.size(), temporary);
    ::close(fd);
    if (::rename(temporary.c_str(), path.c_str()) != 0) failWith(path, "cannot replace");
#endif
}

void FolderStore::writeText(const std::string& name, const std::string& text) {
    write(name, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

void FolderStore::appendLine(const std::string& name, const std::string& line) {
    const auto path = m_folder / name;
    std::string withEnd = line;
    if (withEnd.empty() || withEnd.back() != '\n') withEnd += '\n';
#if defined(_WIN32)
    HANDLE h = openForWriting(path, FILE_APPEND_DATA | SYNCHRONIZE, OPEN_ALWAYS);
    if (h == INVALID_HANDLE_VALUE) failWithSystemError(path, "cannot append to");
    try {
        writeAll(h, reinterpret_cast<const std::uint8_t*>(withEnd.data()), withEnd.size(), path);
    } catch (...) {
        ::CloseHandle(h);
        throw;
    }
    ::CloseHandle(h);
#else
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) failWith(path, "cannot append to");
    writeAll(fd, reinterpret_cast<const std::uint8_t*>(withEnd.data()), withEnd.size(), path);
    ::close(fd);
#endif
}

void FolderStore::remove(const std::string& name) {
    std::error_code ignored;
    std::filesystem::remove(m_folder / name, ignored);
}

}  // namespace bench
