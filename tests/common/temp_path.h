// A fresh path under the test temporary folder for the running test.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <random>
#include <string>

namespace quib::testing {

// Unique across the test processes ctest runs side by side (a random tag per process) and across the
// folders one test makes (a counter); named after the test for whoever inspects a left-over folder.
inline std::filesystem::path freshTempPath(const std::string& prefix) {
    static const unsigned process = std::random_device{}();
    static std::atomic<int> counter{0};
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = prefix + "_" + (info ? info->name() : "test") + "_" + std::to_string(process) + "_" +
                       std::to_string(counter++);
    std::replace(name.begin(), name.end(), '/', '_');  // parameterised test names hold slashes
    return std::filesystem::path(::testing::TempDir()) / name;
}

}  // namespace quib::testing
