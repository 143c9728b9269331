// Runs the built program as its own process in a fresh tool folder over a bench folder.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "bench/bench.h"
#include "tests/frontend/recording_backend.h"

namespace quib::frontend::testing {

struct ProgramRun {
    int exitCode = 0;  // as the program meant it: the parent's 0..255 read back as a signed byte
    std::string output;
};

// A tool folder holding a copy of the program, and a bench folder beside it.
class ProgramBench {
  public:
    explicit ProgramBench(const nlohmann::json& benchDescription);

    const std::filesystem::path toolFolder() const { return m_root.path() / "tool"; }
    ProgramRun run(const std::vector<std::string>& arguments) const;
    // Runs the program on the native backend instead, over the sysfs tree `sysfs` (no bench); its debug
    // output goes to native.log in the test folder, its registry to a folder there.
    ProgramRun runNative(const std::vector<std::string>& arguments, const std::filesystem::path& sysfs) const;
    std::string nativeLog() const;
    std::map<std::string, std::string> toolFolderContents() const;  // file name -> size and digest
    std::string toolFile(const std::string& name) const;
    nlohmann::json messageBoxes() const;  // as the bench recorded them
    const std::filesystem::path benchFolder() const { return m_root.path() / "bench"; }
    // A file in the tool folder, as a user leaves one there.
    void writeToolFile(const std::string& name, const std::vector<std::uint8_t>& bytes) const;
    std::string debugLog() const;
    // Replaces the bench description with any text (for refused descriptions).
    void writeBenchDescription(const std::string& text) { m_root.write("bench/bench.json", text); }

  private:
    ProgramRun runWith(const std::string& environment, const std::vector<std::string>& arguments) const;
    TempFolder m_root;
};

// Runs the program and checks that it left the tool folder as it found it (a version report excepted) and
// that no sanitizer or runtime fault was reported.
ProgramRun runChecked(const ProgramBench& bench, const std::vector<std::string>& arguments);

// The bench folder of a program bench, as the program left it.
inline std::shared_ptr<bench::Bench> openBench(const ProgramBench& b) {
    return bench::Bench::openFolder(b.benchFolder());
}

// Bench descriptions: one 7120 bridge, and one controller with a bridge on each port.
nlohmann::json bridge(const std::string& id, const std::string& version, const std::string& link = "super");
nlohmann::json benchWith(const std::vector<nlohmann::json>& bridges);

}  // namespace quib::frontend::testing
