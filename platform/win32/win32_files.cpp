#include "platform/win32/win32_files.h"

#include <windows.h>

#include <algorithm>
#include <cctype>

#include "platform/backends.h"

namespace quib::platform {
namespace {

bool fail() {
    setLastError(::GetLastError());
    return false;
}

// Closes a handle when it goes out of scope.
struct FileHandle {
    HANDLE h;
    explicit FileHandle(HANDLE handle) : h(handle) {}
    ~FileHandle() {
        if (h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    bool valid() const { return h != INVALID_HANDLE_VALUE; }
};

bool isReparsePoint(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// A regular file on a disk: not a folder, a pipe, a console or a device.
bool isRegularFile(HANDLE h) {
    BY_HANDLE_FILE_INFORMATION info{};
    return ::GetFileType(h) == FILE_TYPE_DISK && ::GetFileInformationByHandle(h, &info) &&
           (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool writeAll(HANDLE h, std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
        DWORD written = 0;
        if (!::WriteFile(h, bytes.data() + done, chunk, &written, nullptr)) return false;
        done += written;
    }
    return ::FlushFileBuffers(h) != 0;
}

bool writeWith(const std::string& path, std::span<const std::uint8_t> bytes, DWORD access,
               DWORD disposition) {
    const std::wstring wide = utf8ToWide(path);
    // A link in place of the file is refused, never written through.
    if (isReparsePoint(::GetFileAttributesW(wide.c_str()))) {
        setLastError(kErrorCantAccessFile);
        return false;
    }
    FileHandle file(::CreateFileW(wide.c_str(), access, FILE_SHARE_READ, nullptr, disposition,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file.valid()) return fail();
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(file.h, &info) || isReparsePoint(info.dwFileAttributes) ||
        ::GetFileType(file.h) != FILE_TYPE_DISK) {
        setLastError(kErrorCantAccessFile);
        return false;
    }
    return writeAll(file.h, bytes) ? true : fail();
}

std::vector<std::string> listEntries(const std::string& folder, const std::string& pattern,
                                     bool wantFolders) {
    std::vector<std::string> names;
    std::wstring query = utf8ToWide(folder.empty() ? std::string(".") : folder);
    if (query.back() != L'\\' && query.back() != L'/') query += L'\\';
    query += utf8ToWide(pattern);
    WIN32_FIND_DATAW found{};
    HANDLE search =
        ::FindFirstFileExW(query.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) {
        fail();
        return names;
    }
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        // A link to a folder is listed among the files, so that removing what the program wrote removes
        // the link and never what it points to.
        const bool realFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                                !isReparsePoint(found.dwFileAttributes);
        if (realFolder != wantFolders) continue;
        names.push_back(wideToUtf8(name));
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    if (names.empty()) setLastError(kErrorFileNotFound);
    return names;
}

}  // namespace

bool deleteFileOrLink(const wchar_t* path) {
    const DWORD attributes = ::GetFileAttributesW(path);
    // A folder link (junction or symbolic link) goes with RemoveDirectory, which removes the link only.
    if (isReparsePoint(attributes) && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return ::RemoveDirectoryW(path) != 0;
    return ::DeleteFileW(path) != 0;
}

bool Win32FileSystem::isFullPath(std::string_view path) const {
    const bool drive = path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) &&
                       path[1] == ':' && (path[2] == '\\' || path[2] == '/');
    const bool unc = path.size() >= 2 && path[0] == '\\' && path[1] == '\\';
    return drive || unc;
}

bool Win32FileSystem::exists(const std::string& path) {
    return ::GetFileAttributesW(utf8ToWide(path).c_str()) != INVALID_FILE_ATTRIBUTES ? true : fail();
}

bool Win32FileSystem::isDirectory(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesW(utf8ToWide(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return fail();
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool Win32FileSystem::isLink(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesW(utf8ToWide(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return fail();
    return isReparsePoint(attributes);
}

bool Win32FileSystem::isReadWrite(const std::string& path) {
    // Folders open only with backup semantics; the open itself is the access check.
    FileHandle h(::CreateFileW(utf8ToWide(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return h.valid() ? true : fail();
}

std::optional<std::vector<std::uint8_t>> Win32FileSystem::readFile(const std::string& path) {
    FileHandle file(::CreateFileW(utf8ToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        fail();
        return std::nullopt;
    }
    // Only a regular file is read at all: a pipe must not hold the run, a device not be read for ever.
    LARGE_INTEGER size{};
    if (!isRegularFile(file.h) || !::GetFileSizeEx(file.h, &size)) {
        setLastError(kErrorAccessDenied);
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes;
    std::uint8_t chunk[65536];
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file.h, chunk, sizeof chunk, &got, nullptr)) {
            fail();
            return std::nullopt;
        }
        if (got == 0) break;
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    return bytes;
}

std::optional<std::uint64_t> Win32FileSystem::fileSize(const std::string& path) {
    FileHandle file(::CreateFileW(utf8ToWide(path).c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file.valid()) {
        fail();
        return std::nullopt;
    }
    LARGE_INTEGER size{};
    if (!isRegularFile(file.h) || !::GetFileSizeEx(file.h, &size)) {
        setLastError(kErrorAccessDenied);
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(size.QuadPart);
}

bool Win32FileSystem::writeFile(const std::string& path, std::span<const std::uint8_t> bytes) {
    return writeWith(path, bytes, GENERIC_WRITE, CREATE_ALWAYS);
}

bool Win32FileSystem::appendFile(const std::string& path, std::span<const std::uint8_t> bytes) {
    return writeWith(path, bytes, FILE_APPEND_DATA | SYNCHRONIZE, OPEN_ALWAYS);
}

bool Win32FileSystem::deleteFile(const std::string& path) {
    return deleteFileOrLink(utf8ToWide(path).c_str()) ? true : fail();
}

bool Win32FileSystem::copyFile(const std::string& from, const std::string& to, bool replaceExisting) {
    if (!replaceExisting && ::GetFileAttributesW(utf8ToWide(to).c_str()) != INVALID_FILE_ATTRIBUTES) {
        setLastError(kErrorFileExists);
        return false;
    }
    // Read and written as any file the program writes: a link at the destination is refused.
    const auto bytes = readFile(from);
    return bytes && writeFile(to, *bytes);
}

bool Win32FileSystem::createDirectory(const std::string& path) {
    const std::wstring wide = utf8ToWide(path);
    if (::CreateDirectoryW(wide.c_str(), nullptr)) return true;
    const DWORD error = ::GetLastError();
    // Only a real folder counts as existing: a link to one is refused.
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (error == ERROR_ALREADY_EXISTS && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY) && !isReparsePoint(attributes))
        return true;
    setLastError(error);
    return false;
}

bool Win32FileSystem::removeDirectory(const std::string& path) {
    return ::RemoveDirectoryW(utf8ToWide(path).c_str()) ? true : fail();
}

bool Win32FileSystem::clearReadOnly(const std::string& path) {
    const std::wstring wide = utf8ToWide(path);
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return fail();
    if (isReparsePoint(attributes)) return true;  // a link: nothing of the target is changed
    if (!(attributes & FILE_ATTRIBUTE_READONLY)) return true;
    return ::SetFileAttributesW(wide.c_str(), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY}) ? true : fail();
}

std::vector<std::string> Win32FileSystem::findFiles(const std::string& folder, const std::string& pattern) {
    return listEntries(folder, pattern, false);
}

std::vector<std::string> Win32FileSystem::findFolders(const std::string& folder) {
    return listEntries(folder, "*", true);
}

std::string Win32FileSystem::currentDirectory() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data());
        if (n == 0) {
            fail();
            return {};
        }
        if (n < buffer.size()) return wideToUtf8(std::wstring_view(buffer.data(), n));
        buffer.resize(n);  // too small: n is the size needed, terminator included
    }
}

bool Win32FileSystem::setCurrentDirectory(const std::string& path) {
    return ::SetCurrentDirectoryW(utf8ToWide(path).c_str()) ? true : fail();
}

}  // namespace quib::platform
