// Files and folders on Windows, through the UTF-16 calls (a tool folder such as "C:\Prüfstand 2\" works).
#pragma once

#include "platform/platform.h"

namespace quib::platform {

class Win32FileSystem final : public FileSystem {
  public:
    char separator() const override { return '\\'; }
    // "X:\" or a UNC path ("\\server\share", "\\?\...").
    bool isFullPath(std::string_view path) const override;

    bool exists(const std::string& path) override;
    bool isDirectory(const std::string& path) override;
    bool isLink(const std::string& path) override;
    bool isReadWrite(const std::string& path) override;
    std::optional<std::vector<std::uint8_t>> readFile(const std::string& path) override;
    std::optional<std::uint64_t> fileSize(const std::string& path) override;
    bool writeFile(const std::string& path, std::span<const std::uint8_t> bytes) override;
    bool appendFile(const std::string& path, std::span<const std::uint8_t> bytes) override;
    bool deleteFile(const std::string& path) override;
    bool copyFile(const std::string& from, const std::string& to, bool replaceExisting) override;
    bool createDirectory(const std::string& path) override;
    bool removeDirectory(const std::string& path) override;
    bool clearReadOnly(const std::string& path) override;
    std::vector<std::string> findFiles(const std::string& folder, const std::string& pattern) override;
    std::vector<std::string> findFolders(const std::string& folder) override;
    std::string currentDirectory() override;
    bool setCurrentDirectory(const std::string& path) override;
};

// Removes a file, or a link (a reparse point) itself, file or folder kind; never what a link points to.
bool deleteFileOrLink(const wchar_t* path);

}  // namespace quib::platform
