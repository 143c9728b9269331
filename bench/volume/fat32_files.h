// Files and folders in the root folder of a FAT32 volume, as the system's FAT driver keeps them: long
// names with their short aliases, clusters chained in both FATs, FSInfo's free count and next-free hint
// kept current. What the bench offers of a bridge volume's file system.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace bench {

struct VolumeIo {
    std::function<bool(std::uint64_t offset, std::span<std::uint8_t> out)> read;
    std::function<bool(std::uint64_t offset, std::span<const std::uint8_t> in)>
        write;  // whole 512-byte units
};

class Fat32Files {
  public:
    // Nothing when the volume holds no FAT32.
    static std::optional<Fat32Files> open(VolumeIo io, std::uint64_t volumeBytes);
    // The date and time new entries carry, in FAT encoding.
    void setTime(std::uint16_t fatDate, std::uint16_t fatTime) {
        m_date = fatDate;
        m_time = fatTime;
    }

    struct Entry {
        std::string name;
        bool directory = false;
        std::uint32_t firstCluster = 0;
        std::uint32_t size = 0;
    };
    // `name` is a name in the root folder (compared without regard to case).
    std::optional<Entry> find(const std::string& name);
    std::optional<std::vector<std::uint8_t>> readFile(const std::string& name);
    // Creates or replaces a file; false when the volume is full or the name is not allowed (error set).
    bool writeFile(const std::string& name, std::span<const std::uint8_t> bytes, std::uint32_t& error);
    bool remove(const std::string& name, bool directory, std::uint32_t& error);
    bool createDirectory(const std::string& name, std::uint32_t& error);

  private:
    explicit Fat32Files(VolumeIo io) : m_io(std::move(io)) {}
    std::uint64_t clusterOffset(std::uint32_t cluster) const;
    std::uint32_t fatEntry(std::uint32_t cluster);
    void setFatEntry(std::uint32_t cluster, std::uint32_t value);  // in every FAT
    void setFatEntries(const std::vector<std::pair<std::uint32_t, std::uint32_t>>& changes);
    std::vector<std::uint32_t> chain(std::uint32_t first);
    std::optional<std::vector<std::uint32_t>> allocate(std::uint32_t count);
    void freeChain(std::uint32_t first);
    void updateFsInfo(std::int64_t freedClusters, std::uint32_t nextFree);
    // The root folder's bytes and the clusters holding them.
    std::vector<std::uint8_t> rootBytes(std::vector<std::uint32_t>& clusters);
    void writeRoot(const std::vector<std::uint8_t>& bytes, const std::vector<std::uint32_t>& clusters);
    // Adds the entries for `name` (long-name entries and the short one) pointing at `first`.
    bool addEntry(const std::string& name, bool directory, std::uint32_t first, std::uint32_t size,
                  std::uint32_t& error);
    // Marks an entry and its long-name entries deleted; its first cluster, or nothing.
    std::optional<Entry> dropEntry(const std::string& name);

    VolumeIo m_io;
    std::uint32_t m_bytesPerSector = 512, m_sectorsPerCluster = 1, m_reserved = 0, m_fats = 2, m_fatSize = 0;
    std::uint32_t m_rootCluster = 2, m_clusters = 0, m_fsInfoSector = 1;
    std::uint64_t m_firstDataSector = 0;
    std::uint16_t m_date = 0x21, m_time = 0;  // 1980-01-01 00:00
};

}  // namespace bench
