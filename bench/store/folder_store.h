// The files of a bench folder and the lock that lets several modules and processes share it.
//
// Every operation on a bench folder holds an exclusive lock on "bench.lock" (flock, LockFileEx). A module
// that changed the state writes it and bumps the number in "generation"; a module that finds a number other
// than the one it last saw reloads before it acts.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace bench {

class FolderStore {
  public:
    explicit FolderStore(std::filesystem::path folder);
    ~FolderStore();
    FolderStore(const FolderStore&) = delete;
    FolderStore& operator=(const FolderStore&) = delete;

    const std::filesystem::path& folder() const { return m_folder; }
    std::filesystem::path pathOf(const std::string& name) const { return m_folder / name; }

    void lock();
    void unlock();

    std::uint64_t readGeneration() const;
    void writeGeneration(std::uint64_t generation);

    bool exists(const std::string& name) const;
    std::optional<std::vector<std::uint8_t>> read(const std::string& name) const;
    std::optional<std::string> readText(const std::string& name) const;
    // Written to a temporary file and renamed over the old one, so readers never see half a file.
    void write(const std::string& name, std::span<const std::uint8_t> bytes);
    void writeText(const std::string& name, const std::string& text);
    // One write(2) on a file opened for appending: lines from several modules never interleave.
    void appendLine(const std::string& name, const std::string& line);
    void remove(const std::string& name);

  private:
    std::filesystem::path m_folder;
#if defined(_WIN32)
    void* m_lockHandle = nullptr;
#else
    int m_lockFd = -1;
#endif
};

}  // namespace bench
