// A fresh folder under the test temporary directory, removed at the end of the test.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

class TempFolder {
  public:
    TempFolder() {
        std::random_device rd;
        m_path = std::filesystem::path(::testing::TempDir()) / ("quib-linux-" + std::to_string(rd()));
        std::filesystem::create_directories(m_path);
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    std::string path() const { return m_path.string(); }
    std::string operator/(const std::string& name) const { return (m_path / name).string(); }

  private:
    std::filesystem::path m_path;
};
