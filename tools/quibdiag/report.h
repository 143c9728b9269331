// What a command hands back: the JSON object scripts read and the text people read.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tools/quibdiag/wide_counter.h"

namespace quibdiag {

struct Report {
    nlohmann::json data = nlohmann::json::object();
    std::string text;
};

// Columns padded to their widest cell; the first row is the heading.
class Table {
  public:
    explicit Table(std::vector<std::string> headings) { m_rows.push_back(std::move(headings)); }
    void add(std::vector<std::string> row) { m_rows.push_back(std::move(row)); }
    std::string text() const;

  private:
    std::vector<std::vector<std::string>> m_rows;
};

// "name:  value" lines with the values aligned.
class Fields {
  public:
    void add(const std::string& name, const std::string& value) { m_fields.emplace_back(name, value); }
    std::string text() const;

  private:
    std::vector<std::pair<std::string, std::string>> m_fields;
};

// A 128-bit counter: a JSON number when it fits in 64 bits, else its decimal text.
nlohmann::json counterJson(const WideCounter& counter);
// "1,234,567" style grouping for large numbers in text.
std::string grouped(const std::string& decimal);
std::string grouped(std::uint64_t value);

}  // namespace quibdiag
