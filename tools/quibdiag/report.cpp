#include "tools/quibdiag/report.h"

#include <algorithm>

namespace quibdiag {

std::string Table::text() const {
    std::vector<std::size_t> widths;
    for (const auto& row : m_rows) {
        if (widths.size() < row.size()) widths.resize(row.size(), 0);
        for (std::size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
    }
    std::string out;
    for (const auto& row : m_rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            line += row[i];
            if (i + 1 < row.size()) line += std::string(widths[i] - row[i].size() + 2, ' ');
        }
        out += line + "\n";
    }
    return out;
}

std::string Fields::text() const {
    std::size_t width = 0;
    for (const auto& [name, value] : m_fields) width = std::max(width, name.size());
    std::string out;
    for (const auto& [name, value] : m_fields)
        out += name + ":" + std::string(width - name.size() + 2, ' ') + value + "\n";
    return out;
}

nlohmann::json counterJson(const WideCounter& counter) {
    if (counter.fitsIn64()) return counter.low;
    return counter.decimal();
}

std::string grouped(const std::string& decimal) {
    std::string out;
    for (std::size_t i = 0; i < decimal.size(); ++i) {
        if (i > 0 && (decimal.size() - i) % 3 == 0) out += ',';
        out += decimal[i];
    }
    return out;
}

std::string grouped(std::uint64_t value) {
    return grouped(std::to_string(value));
}

}  // namespace quibdiag
