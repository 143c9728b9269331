// The medium of a bench drive, in 512-byte units; units never written read as zeros. A bench folder keeps
// it in an image file of the drive's full size (chips/<id>/drive.img, sparse: only what was written takes
// room). A bench without a folder keeps the units written so far as records of an 8-byte little-endian
// unit number and the 512 bytes (what older bench folders saved as drive_sectors.bin).
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <utility>
#include <vector>

namespace bench {

class SectorStore {
  public:
    static constexpr std::size_t kUnit = 512;

    // Reads `out.size()` bytes from `unit` on; a last partial unit is cut.
    void read(std::uint64_t unit, std::span<std::uint8_t> out) const;
    // Writes whole units from `unit` on.
    void write(std::uint64_t unit, std::span<const std::uint8_t> in);
    // A unit's bytes: with an image, any unit of the drive; without, only one that was written.
    std::optional<std::vector<std::uint8_t>> unit(std::uint64_t unit) const;
    // The runs of units from `first` for `count` units that may hold something other than zeros (what was
    // written; the image file's data extents), as (first unit, units). Units outside them read as zeros.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> writtenRuns(std::uint64_t first,
                                                                     std::uint64_t count) const;

    // Keeps the medium in the image file from now on: created (sparse) or resized to `bytes`, and what the
    // records held moved into it (the records then stay empty, marked for saving so that no older copy of
    // them is loaded again).
    void attachImage(const std::filesystem::path& path, std::uint64_t bytes);
    bool hasImage() const { return m_image != nullptr; }

    const std::vector<std::uint8_t>& records() const { return m_records; }
    void replaceRecords(std::vector<std::uint8_t> records);
    bool dirty() const { return m_dirty; }
    void setDirty(bool dirty) { m_dirty = dirty; }

  private:
    static constexpr std::size_t kRecord = 8 + kUnit;
    void moveRecordsIntoImage();

    // Unbuffered, so that every command reads what any process of the bench wrote last.
    std::unique_ptr<std::fstream> m_image;
    std::filesystem::path m_imagePath;
    std::uint64_t m_imageBytes = 0;
    std::vector<std::uint8_t> m_records;
    std::map<std::uint64_t, std::size_t> m_index;  // unit -> offset of its record
    bool m_dirty = false;
};

}  // namespace bench
