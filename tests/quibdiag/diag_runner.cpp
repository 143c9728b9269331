#include "tests/quibdiag/diag_runner.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "tests/common/temp_path.h"

namespace quibdiag_test {
namespace {

namespace fs = std::filesystem;

std::string readWhole(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

}  // namespace

nlohmann::json DiagRun::json() const {
    const auto parsed = nlohmann::json::parse(out, nullptr, false);
    EXPECT_FALSE(parsed.is_discarded()) << "not JSON:\n" << out << err;
    return parsed.is_discarded() ? nlohmann::json::object() : parsed;
}

DiagBench::DiagBench(const nlohmann::json& description) : m_root(quib::testing::freshTempPath("quibdiag")) {
    fs::remove_all(m_root);
    fs::create_directories(m_root / "bench");
    writeText("bench/bench.json", description.dump(2));
    // The program runs from this folder: the library's working files (a partitioning script, the file
    // test's reference file) are in the program's folder, which is then the test's own.
    fs::copy_file(QUIBDIAG_PROGRAM, m_root / "quibdiag");
}

DiagBench::~DiagBench() {
    std::error_code ignored;
    fs::remove_all(m_root, ignored);
}

DiagRun DiagBench::run(const std::vector<std::string>& arguments) const {
    std::string command = "cd " + quoted(m_root.string()) +
                          " && QUIB_BENCH=" + quoted((m_root / "bench").string()) + " " +
                          quoted((m_root / "quibdiag").string());
    for (const std::string& a : arguments) command += " " + quoted(a);
    command += " </dev/null >stdout.txt 2>stderr.txt";
    const int status = std::system(command.c_str());
    DiagRun r{WIFEXITED(status) ? WEXITSTATUS(status) : -1, readWhole(m_root / "stdout.txt"),
              readWhole(m_root / "stderr.txt")};
    for (const char* fault : {"Sanitizer", "runtime error:", "terminate called"})
        EXPECT_EQ(r.err.find(fault), std::string::npos) << r.err;
    return r;
}

void DiagBench::writeFile(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
    std::ofstream(m_root / name, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void DiagBench::writeText(const std::string& name, const std::string& text) const {
    std::ofstream(m_root / name, std::ios::binary | std::ios::trunc) << text;
}

std::vector<std::uint8_t> DiagBench::readFile(const std::string& name) const {
    const std::string bytes = readWhole(m_root / name);
    return {bytes.begin(), bytes.end()};
}

std::vector<std::string> DiagBench::tracedCdbs() const {
    std::vector<std::string> cdbs;
    std::istringstream lines(readWhole(m_root / "bench" / "trace.jsonl"));
    for (std::string line; std::getline(lines, line);)
        if (!line.empty()) cdbs.push_back(nlohmann::json::parse(line).at("cdb").get<std::string>());
    return cdbs;
}

}  // namespace quibdiag_test
