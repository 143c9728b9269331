// Lines of a text file, numbered from 1, without their line ends (LF or CR LF).
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace quib::pdupdate {

class TextLines {
  public:
    explicit TextLines(std::string_view text) : m_text(text) {}

    struct Line {
        std::string_view text;
        std::size_t number = 0;
    };
    std::optional<Line> next() {
        if (m_pos >= m_text.size()) return std::nullopt;
        const std::size_t end = m_text.find('\n', m_pos);
        std::string_view line = m_text.substr(m_pos, end == std::string_view::npos ? end : end - m_pos);
        m_pos = end == std::string_view::npos ? m_text.size() : end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        return Line{line, ++m_number};
    }
    std::size_t count() const { return m_number; }

  private:
    std::string_view m_text;
    std::size_t m_pos = 0;
    std::size_t m_number = 0;
};

}  // namespace quib::pdupdate
