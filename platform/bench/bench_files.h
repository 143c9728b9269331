// Files over the bench: paths on a bridge volume's letter ("E:\rwtestbin.txt") are the bench's, kept in
// the file system on that volume; every other path is the host's own.
#pragma once

#include <memory>

#include "bench/bench.h"
#include "platform/platform.h"

namespace quib::platform {

class BenchFiles final : public FileSystem {
  public:
    BenchFiles(std::shared_ptr<bench::Bench> bench, FileSystem& host)
        : m_bench(std::move(bench)), m_host(host) {}

    char separator() const override { return m_host.separator(); }
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
    std::string currentDirectory() override { return m_host.currentDirectory(); }
    bool setCurrentDirectory(const std::string& path) override { return m_host.setCurrentDirectory(path); }

  private:
    bool owned(const std::string& path) const { return m_bench->ownsPath(path); }
    std::optional<bench::Fat32Files::Entry> entry(const std::string& path);

    std::shared_ptr<bench::Bench> m_bench;
    FileSystem& m_host;
};

}  // namespace quib::platform
