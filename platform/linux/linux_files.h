// Files and folders on a POSIX file system. A drive path ("E:\tmp\a.txt") lies on the volume that has the
// letter: where it is mounted, or mounted for the one operation; "C:" is the root file system.
#pragma once

#include <functional>
#include <memory>

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

    // The folder standing for a drive letter's root while the pointer lives (it may unmount after);
    // nothing, with the system's error set, for a letter no volume has or a volume that cannot be reached.
    using DriveRoots = std::function<std::shared_ptr<const std::string>(char letter)>;
    void setDriveRoots(DriveRoots roots) { m_driveRoots = std::move(roots); }

    static bool isDrivePath(const std::string& path);
    // "E:\a\b" on the root "/mnt/e" -> "/mnt/e/a/b"; nothing for a path that climbs above the root.
    static std::optional<std::string> drivePathOn(const std::string& path, const std::string& root);

  private:
    template <typename Operation>
    auto onDrive(const std::string& path, Operation operation) -> decltype(operation(path));

    DriveRoots m_driveRoots;
};

// Maps an errno value to the Windows-numbered system error code.
std::uint32_t systemErrorFromErrno(int error);

}  // namespace quib::platform
