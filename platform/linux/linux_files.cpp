#include "platform/linux/linux_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>

namespace quib::platform {
namespace {

bool fail(int error) {
    setLastError(systemErrorFromErrno(error));
    return false;
}

bool writeAll(int fd, std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool writeWithFlags(const std::string& path, std::span<const std::uint8_t> bytes, int flags) {
    // A link in place of the file is refused, never written through.
    const int fd =
        ::open(path.c_str(), flags | O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644);
    if (fd < 0) return fail(errno);
    const bool ok = writeAll(fd, bytes) && ::fsync(fd) == 0;
    const int error = errno;
    ::close(fd);
    return ok ? true : fail(error);
}

std::vector<std::string> listEntries(const std::string& folder, const std::string* pattern,
                                     bool wantFolders) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir) {
        fail(errno);
        return names;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        // Links are not followed: a link to a folder is listed among the files, so that removing what the
        // program wrote removes the link and never what it points to.
        struct stat st {};
        if (::lstat((folder + '/' + name).c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode) != wantFolders) continue;
        if (pattern && ::fnmatch(pattern->c_str(), name.c_str(), 0) != 0) continue;
        names.push_back(name);
    }
    ::closedir(dir);
    // A directory search on the reference file system delivers names in sorted order.
    std::sort(names.begin(), names.end());
    if (names.empty()) setLastError(kErrorFileNotFound);
    return names;
}

}  // namespace

std::uint32_t systemErrorFromErrno(int error) {
    switch (error) {
        case 0:
            return kErrorSuccess;
        case ENOENT:
            return kErrorFileNotFound;
        case ENOTDIR:
            return kErrorPathNotFound;
        case EACCES:
        case EPERM:
        case EROFS:
            return kErrorAccessDenied;
        case EEXIST:
            return kErrorFileExists;
        case ELOOP:
            return kErrorCantAccessFile;
        case EINVAL:
            return kErrorInvalidParameter;
        case EBADF:
            return kErrorInvalidHandle;
        case ENODEV:
        case ENXIO:
            return kErrorDeviceNotConnected;
        case ENOTSUP:
            return kErrorNotSupported;
        default:
            return kErrorIoDevice;
    }
}

bool LinuxFileSystem::isDrivePath(const std::string& path) {
    return path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0])) &&
           (path.size() == 2 || path[2] == '\\' || path[2] == '/');
}

std::optional<std::string> LinuxFileSystem::drivePathOn(const std::string& path, const std::string& root) {
    std::string real = root == "/" ? "" : root;
    std::size_t at = 2;
    while (at < path.size()) {
        const std::size_t end = std::min(path.find_first_of("\\/", at), path.size());
        const std::string part = path.substr(at, end - at);
        // Never above the volume's root.
        if (part == "..") return std::nullopt;
        if (!part.empty() && part != ".") real += "/" + part;
        at = end + 1;
    }
    return real.empty() ? "/" : real;
}

template <typename Operation>
auto LinuxFileSystem::onDrive(const std::string& path, Operation operation) -> decltype(operation(path)) {
    using Result = decltype(operation(path));
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])));
    const std::shared_ptr<const std::string> root = m_driveRoots ? m_driveRoots(letter) : nullptr;
    if (!root) {
        if (!m_driveRoots) setLastError(kErrorPathNotFound);
        return Result{};
    }
    const auto real = drivePathOn(path, *root);
    if (!real) {
        setLastError(kErrorPathNotFound);
        return Result{};
    }
    return operation(*real);
}

bool LinuxFileSystem::exists(const std::string& path) {
    if (isDrivePath(path)) return onDrive(path, [&](const std::string& real) { return exists(real); });
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? true : fail(errno);
}

bool LinuxFileSystem::isLink(const std::string& path) {
    if (isDrivePath(path)) return onDrive(path, [&](const std::string& real) { return isLink(real); });
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return fail(errno);
    return S_ISLNK(st.st_mode);
}

bool LinuxFileSystem::isDirectory(const std::string& path) {
    if (isDrivePath(path)) return onDrive(path, [&](const std::string& real) { return isDirectory(real); });
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return fail(errno);
    return S_ISDIR(st.st_mode);
}

std::optional<std::uint64_t> LinuxFileSystem::fileSize(const std::string& path) {
    if (isDrivePath(path)) return onDrive(path, [&](const std::string& real) { return fileSize(real); });
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        fail(errno);
        return std::nullopt;
    }
    if (!S_ISREG(st.st_mode)) {
        fail(EISDIR);
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(st.st_size);
}

bool LinuxFileSystem::isReadWrite(const std::string& path) {
    if (isDrivePath(path)) return onDrive(path, [&](const std::string& real) { return isReadWrite(real); });
    return ::access(path.c_str(), R_OK | W_OK) == 0 ? true : fail(errno);
}

std::optional<std::vector<std::uint8_t>> LinuxFileSystem::readFile(const std::string& path) {
    if (isDrivePath(path)) return onDrive(path, [&](const std::string& real) { return readFile(real); });
    // Opened without blocking: a FIFO must not hold the run, and only a regular file is read at all (a
    // device such as /dev/zero would be read until memory runs out).
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        fail(errno);
        return std::nullopt;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        setLastError(kErrorAccessDenied);
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes;
    std::uint8_t chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int error = errno;
            ::close(fd);
            fail(error);
            return std::nullopt;
        }
        if (n == 0) break;
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    ::close(fd);
    return bytes;
}

bool LinuxFileSystem::writeFile(const std::string& path, std::span<const std::uint8_t> bytes) {
    if (isDrivePath(path))
        return onDrive(path, [&](const std::string& real) { return writeFile(real, bytes); });
    return writeWithFlags(path, bytes, O_TRUNC);
}

bool LinuxFileSystem::appendFile(const std::string& path, std::span<const std::uint8_t> bytes) {
    if (isDrivePath(path))
        return onDrive(path, [&](const std::string& real) { return appendFile(real, bytes); });
    return writeWithFlags(path, bytes, O_APPEND);
}

bool LinuxFileSystem::deleteFile(const std::string& path) {
    if (isDrivePath(path)) return onDrive(path, [&](const std::string& real) { return deleteFile(real); });
    return ::unlink(path.c_str()) == 0 ? true : fail(errno);
}

bool LinuxFileSystem::copyFile(const std::string& from, const std::string& to, bool replaceExisting) {
    if (!replaceExisting && ::access(to.c_str(), F_OK) == 0) {
        setLastError(kErrorFileExists);
        return false;
    }
    const auto bytes = readFile(from);
    return bytes && writeFile(to, *bytes);
}

bool LinuxFileSystem::createDirectory(const std::string& path) {
    if (isDrivePath(path))
        return onDrive(path, [&](const std::string& real) { return createDirectory(real); });
    if (::mkdir(path.c_str(), 0755) == 0) return true;
    const int error = errno;
    // Only a real folder counts as existing: a link to one is refused.
    struct stat st {};
    if (error == EEXIST && ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return true;
    return fail(error);
}

bool LinuxFileSystem::removeDirectory(const std::string& path) {
    if (isDrivePath(path))
        return onDrive(path, [&](const std::string& real) { return removeDirectory(real); });
    return ::rmdir(path.c_str()) == 0 ? true : fail(errno);
}

bool LinuxFileSystem::clearReadOnly(const std::string& path) {
    if (isDrivePath(path)) return onDrive(path, [&](const std::string& real) { return clearReadOnly(real); });
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return fail(errno);
    if (S_ISLNK(st.st_mode)) return true;  // a link has no attributes of its own to change
    return ::chmod(path.c_str(), st.st_mode | S_IWUSR) == 0 ? true : fail(errno);
}

std::vector<std::string> LinuxFileSystem::findFiles(const std::string& folder, const std::string& pattern) {
    if (isDrivePath(folder))
        return onDrive(folder, [&](const std::string& real) { return findFiles(real, pattern); });
    return listEntries(folder, &pattern, false);
}

std::vector<std::string> LinuxFileSystem::findFolders(const std::string& folder) {
    if (isDrivePath(folder))
        return onDrive(folder, [&](const std::string& real) { return findFolders(real); });
    return listEntries(folder, nullptr, true);
}

std::string LinuxFileSystem::currentDirectory() {
    char buf[PATH_MAX];
    if (!::getcwd(buf, sizeof buf)) {
        fail(errno);
        return {};
    }
    return buf;
}

bool LinuxFileSystem::setCurrentDirectory(const std::string& path) {
    if (isDrivePath(path)) {
        setLastError(kErrorPathNotFound);  // a volume mounted for one operation is no place to stay
        return false;
    }
    return ::chdir(path.c_str()) == 0 ? true : fail(errno);
}

}  // namespace quib::platform
