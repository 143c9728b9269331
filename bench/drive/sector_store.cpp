#include "bench/drive/sector_store.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "bench/bench_error.h"
#include "bench/drive/sparse_file.h"

namespace bench {

void SectorStore::read(std::uint64_t first, std::span<std::uint8_t> out) const {
    if (m_image) {
        std::fill(out.begin(), out.end(), 0);
        const std::uint64_t offset = first * kUnit;
        if (offset >= m_imageBytes) return;
        const auto n =
            static_cast<std::streamsize>(std::min<std::uint64_t>(out.size(), m_imageBytes - offset));
        m_image->clear();
        m_image->seekg(static_cast<std::streamoff>(offset));
        m_image->read(reinterpret_cast<char*>(out.data()), n);
        if (m_image->gcount() != n) throw std::runtime_error("drive image: read failed");
        return;
    }
    for (std::size_t at = 0; at < out.size(); at += kUnit) {
        auto piece = out.subspan(at, std::min(kUnit, out.size() - at));
        const auto it = m_index.find(first + at / kUnit);
        if (it == m_index.end())
            std::fill(piece.begin(), piece.end(), 0);
        else
            std::copy_n(m_records.begin() + static_cast<std::ptrdiff_t>(it->second + 8), piece.size(),
                        piece.begin());
    }
}

void SectorStore::write(std::uint64_t first, std::span<const std::uint8_t> in) {
    if (m_image) {
        const bool zeros = std::all_of(in.begin(), in.end(), [](std::uint8_t v) { return v == 0; });
        const std::uint64_t offset = first * kUnit;
        const std::uint64_t whole = in.size() / kUnit * kUnit;
        if (offset + whole > m_imageBytes)
            throw std::runtime_error("drive image: write past the drive's end");
        // Zeros give their room back, as a thin-provisioned drive does, so that clearing a large area
        // keeps the image small.
        if (zeros && whole > 0 && punchHole(m_imagePath, offset, whole)) return;
        m_image->clear();
        m_image->seekp(static_cast<std::streamoff>(offset));
        m_image->write(reinterpret_cast<const char*>(in.data()), static_cast<std::streamsize>(whole));
        m_image->flush();
        if (!*m_image) throw std::runtime_error("drive image: write failed");
        return;
    }
    for (std::size_t at = 0; at + kUnit <= in.size(); at += kUnit) {
        const std::uint64_t number = first + at / kUnit;
        auto it = m_index.find(number);
        if (it == m_index.end()) {
            const auto unitBytes = in.subspan(at, kUnit);
            if (std::all_of(unitBytes.begin(), unitBytes.end(), [](std::uint8_t v) { return v == 0; }))
                continue;  // reads as zeros already
            const std::size_t offset = m_records.size();
            m_records.resize(offset + kRecord);
            for (std::size_t i = 0; i < 8; ++i)
                m_records[offset + i] = static_cast<std::uint8_t>(number >> (8 * i));
            it = m_index.emplace(number, offset).first;
        }
        std::copy_n(in.begin() + static_cast<std::ptrdiff_t>(at), kUnit,
                    m_records.begin() + static_cast<std::ptrdiff_t>(it->second + 8));
    }
    m_dirty = true;
}

std::optional<std::vector<std::uint8_t>> SectorStore::unit(std::uint64_t number) const {
    if (m_image ? number >= m_imageBytes / kUnit : !m_index.count(number)) return std::nullopt;
    std::vector<std::uint8_t> bytes(kUnit);
    read(number, bytes);
    return bytes;
}

std::vector<std::pair<std::uint64_t, std::uint64_t>> SectorStore::writtenRuns(std::uint64_t first,
                                                                              std::uint64_t count) const {
    std::vector<std::pair<std::uint64_t, std::uint64_t>> runs;
    auto add = [&runs](std::uint64_t from, std::uint64_t units) {
        if (units == 0) return;
        if (!runs.empty() && runs.back().first + runs.back().second == from)
            runs.back().second += units;
        else
            runs.emplace_back(from, units);
    };
    const std::uint64_t end = first + count;
    if (m_image) {
        const std::uint64_t limit = std::min(end, m_imageBytes / kUnit);
        for (const auto& [at, bytes] : dataExtents(m_imagePath, first * kUnit, limit * kUnit)) {
            const std::uint64_t from = at / kUnit, to = (at + bytes + kUnit - 1) / kUnit;
            add(from, to - from);
        }
        return runs;
    }
    for (auto it = m_index.lower_bound(first); it != m_index.end() && it->first < end; ++it)
        add(it->first, 1);
    return runs;
}

void SectorStore::replaceRecords(std::vector<std::uint8_t> records) {
    m_records = std::move(records);
    m_index.clear();
    for (std::size_t at = 0; at + kRecord <= m_records.size(); at += kRecord) {
        std::uint64_t number = 0;
        for (std::size_t i = 8; i-- > 0;) number = (number << 8) | m_records[at + i];
        m_index[number] = at;
    }
    m_dirty = false;
    if (m_image && !m_records.empty()) moveRecordsIntoImage();
}

void SectorStore::attachImage(const std::filesystem::path& path, std::uint64_t bytes) {
    try {
        std::filesystem::create_directories(path.parent_path());
        if (!std::filesystem::exists(path)) std::ofstream(path, std::ios::binary).flush();
        const std::uint64_t size = std::filesystem::file_size(path);
        if (size > bytes) std::filesystem::resize_file(path, bytes);
        if (size < bytes) {
            // Grown by its last byte: the file system leaves a hole before it. (resize_file of the Windows
            // run-time library stops at 2 GiB.)
            std::fstream grow(path, std::ios::in | std::ios::out | std::ios::binary);
            grow.seekp(static_cast<std::streamoff>(bytes - 1));
            grow.put('\0');
            grow.flush();
            if (!grow)
                throw std::filesystem::filesystem_error("cannot grow", path,
                                                        std::make_error_code(std::errc::file_too_large));
        }
    } catch (const std::filesystem::filesystem_error& e) {
        // For example a drive larger than the largest file the folder's file system holds.
        throw BenchError(path.string() + ": the drive's image of " + std::to_string(bytes) +
                         " bytes cannot be made: " + e.code().message());
    }
    auto image = std::make_unique<std::fstream>();
    image->rdbuf()->pubsetbuf(nullptr, 0);
    image->open(path, std::ios::in | std::ios::out | std::ios::binary);
    if (!image->is_open()) throw BenchError(path.string() + ": cannot open the drive image");
    m_image = std::move(image);
    m_imagePath = path;
    m_imageBytes = bytes;
    moveRecordsIntoImage();
}

void SectorStore::moveRecordsIntoImage() {
    const auto records = std::move(m_records);
    m_records.clear();
    m_index.clear();
    for (std::size_t at = 0; at + kRecord <= records.size(); at += kRecord) {
        std::uint64_t number = 0;
        for (std::size_t i = 8; i-- > 0;) number = (number << 8) | records[at + i];
        if ((number + 1) * kUnit <= m_imageBytes) write(number, std::span(records).subspan(at + 8, kUnit));
    }
    if (!records.empty()) m_dirty = true;
}

}  // namespace bench
