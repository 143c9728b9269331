// The medium of a bench drive: the 512-byte units written so far, kept as records of an 8-byte
// little-endian unit number and the 512 bytes (the bench folder's drive_sectors.bin). Units never written
// read as zeros.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <vector>

namespace bench {

class SectorStore {
  public:
    static constexpr std::size_t kUnit = 512;

    // Reads `out.size()` bytes from `unit` on; a last partial unit is cut.
    void read(std::uint64_t unit, std::span<std::uint8_t> out) const;
    // Writes whole units from `unit` on.
    void write(std::uint64_t unit, std::span<const std::uint8_t> in);
    std::optional<std::vector<std::uint8_t>> unit(std::uint64_t unit) const;

    const std::vector<std::uint8_t>& records() const { return m_records; }
    void replaceRecords(std::vector<std::uint8_t> records);
    bool dirty() const { return m_dirty; }
    void setDirty(bool dirty) { m_dirty = dirty; }

  private:
    static constexpr std::size_t kRecord = 8 + kUnit;
    std::vector<std::uint8_t> m_records;
    std::map<std::uint64_t, std::size_t> m_index;  // unit -> offset of its record
    bool m_dirty = false;
};

}  // namespace bench
