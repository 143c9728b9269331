// Runs the built quibdiag as its own process over a bench folder, as a technician's shell would.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "bench/bench.h"

namespace quibdiag_test {

struct DiagRun {
    int exitCode = 0;
    std::string out, err;
    nlohmann::json json() const;  // standard output parsed; a test failure when it is not JSON
};

// A test folder holding bench/ (described by `description`) and the files a run reads or writes.
class DiagBench {
  public:
    explicit DiagBench(const nlohmann::json& description);
    ~DiagBench();
    DiagBench(const DiagBench&) = delete;
    DiagBench& operator=(const DiagBench&) = delete;

    // Runs quibdiag with QUIB_BENCH set; fails the test on any sanitizer or runtime report.
    DiagRun run(const std::vector<std::string>& arguments) const;
    std::string path(const std::string& name) const { return (m_root / name).string(); }
    void writeFile(const std::string& name, const std::vector<std::uint8_t>& bytes) const;
    void writeText(const std::string& name, const std::string& text) const;
    std::vector<std::uint8_t> readFile(const std::string& name) const;
    // The bench as the runs left it, and the CDBs (lower-case hex) of its trace.
    std::shared_ptr<bench::Bench> open() const { return bench::Bench::openFolder(m_root / "bench"); }
    std::vector<std::string> tracedCdbs() const;

  private:
    std::filesystem::path m_root;
};

}  // namespace quibdiag_test
