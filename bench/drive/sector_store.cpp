#include "bench/drive/sector_store.h"

#include <algorithm>
#include <utility>

namespace bench {

void SectorStore::read(std::uint64_t first, std::span<std::uint8_t> out) const {
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
    for (std::size_t at = 0; at + kUnit <= in.size(); at += kUnit) {
        const std::uint64_t number = first + at / kUnit;
        auto it = m_index.find(number);
        if (it == m_index.end()) {
            const std::size_t offset = m_records.size();
            m_records.resize(offset + kRecord);
            for (std::size_t i = 0; i < 8; ++i) m_records[offset + i] = static_cast<std::uint8_t>(number >> (8 * i));
            it = m_index.emplace(number, offset).first;
        }
        std::copy_n(in.begin() + static_cast<std::ptrdiff_t>(at), kUnit,
                    m_records.begin() + static_cast<std::ptrdiff_t>(it->second + 8));
    }
    m_dirty = true;
}

std::optional<std::vector<std::uint8_t>> SectorStore::unit(std::uint64_t number) const {
    if (!m_index.count(number)) return std::nullopt;
    std::vector<std::uint8_t> bytes(kUnit);
    read(number, bytes);
    return bytes;
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
}

}  // namespace bench
