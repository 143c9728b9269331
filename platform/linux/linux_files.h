// Files and folders on a POSIX file system.
#pragma once

#include "platform/platform.h"

namespace quib::platform {

class LinuxFileSystem final : public FileSystem {
  public:
    char separator() const override { return '/'; }
    bool isFullPath(std::string_view path) const override { return !path.empty() && path.front() == '/'; }

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

// Maps an errno value to the Windows-numbered system error code.
std::uint32_t systemErrorFromErrno(int error);

}  // namespace quib::platform
