#include "tests/frontend/program_runner.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace quib::frontend::testing {
namespace {

namespace fs = std::filesystem;

std::string readWhole(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

}  // namespace

ProgramBench::ProgramBench(const nlohmann::json& benchDescription) {
    fs::create_directories(toolFolder());
    fs::create_directories(m_root.path() / "bench");
    // A link where the file system allows it: the program is large in the sanitizer build.
    std::error_code linkError;
    fs::create_hard_link(QUIB_PROGRAM_FILE, toolFolder() / "KRV610xFWUpg", linkError);
    if (linkError) fs::copy_file(QUIB_PROGRAM_FILE, toolFolder() / "KRV610xFWUpg");
    m_root.write("bench/bench.json", benchDescription.dump(2));
}

ProgramRun ProgramBench::run(const std::vector<std::string>& arguments) const {
    return runWith("QUIB_BENCH=" + quoted(m_root.path() / "bench"), arguments);
}

ProgramRun ProgramBench::runNative(const std::vector<std::string>& arguments, const fs::path& sysfs) const {
    return runWith("env -u QUIB_BENCH QUIB_SYSFS=" + quoted(sysfs) +
                       " QUIB_DEVFS=" + quoted(m_root.path() / "dev") +
                       " QUIB_REGISTRY=" + quoted(m_root.path() / "registry") +
                       " QUIB_DEBUG_OUTPUT=" + quoted(m_root.path() / "native.log"),
                   arguments);
}

ProgramRun ProgramBench::runWith(const std::string& environment,
                                 const std::vector<std::string>& arguments) const {
    // Started from elsewhere: the program must work in its own folder.
    std::string command =
        "cd " + quoted(m_root.path()) + " && " + environment + " " + quoted(toolFolder() / "KRV610xFWUpg");
    for (const std::string& a : arguments) command += " " + quoted(a);
    command += " </dev/null >output.txt 2>&1";
    const int status = std::system(command.c_str());
    ProgramRun r{static_cast<std::int8_t>(static_cast<std::uint8_t>(WEXITSTATUS(status))),
                 readWhole(m_root.path() / "output.txt")};
    fs::remove(m_root.path() / "output.txt");
    return r;
}

std::string ProgramBench::nativeLog() const {
    return readWhole(m_root.path() / "native.log");
}

std::map<std::string, std::string> ProgramBench::toolFolderContents() const {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(toolFolder())) {
        if (!entry.is_regular_file()) {
            files[fs::relative(entry.path(), toolFolder())] = "<dir>";
            continue;
        }
        // The program itself is told by size and modification time: reading it whole twice per run would
        // cost seconds in the sanitizer build, and a program that wrote itself would change both.
        if (entry.path().filename() == "KRV610xFWUpg") {
            const auto stamp = fs::last_write_time(entry.path()).time_since_epoch().count();
            files["KRV610xFWUpg"] =
                std::to_string(entry.file_size()) + " bytes, written " + std::to_string(stamp);
            continue;
        }
        // Size and a digest: enough to see a change, short enough to print.
        const std::string bytes = readWhole(entry.path());
        std::uint64_t digest = 14695981039346656037ull;
        for (unsigned char c : bytes) digest = (digest ^ c) * 1099511628211ull;
        files[fs::relative(entry.path(), toolFolder())] =
            std::to_string(bytes.size()) + " bytes, digest " + std::to_string(digest);
    }
    return files;
}

void ProgramBench::writeToolFile(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
    std::ofstream(toolFolder() / name, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::string ProgramBench::toolFile(const std::string& name) const {
    return readWhole(toolFolder() / name);
}

nlohmann::json ProgramBench::messageBoxes() const {
    nlohmann::json boxes = nlohmann::json::array();
    std::istringstream lines(readWhole(m_root.path() / "bench" / "message_boxes.jsonl"));
    for (std::string line; std::getline(lines, line);)
        if (!line.empty()) boxes.push_back(nlohmann::json::parse(line));
    return boxes;
}

std::string ProgramBench::debugLog() const {
    return readWhole(m_root.path() / "bench" / "debug.log");
}

nlohmann::json bridge(const std::string& id, const std::string& version, const std::string& link) {
    return {
        {"id", id}, {"family", "7120"}, {"firmware_version", version}, {"serial", "SN" + id}, {"link", link}};
}

ProgramRun runChecked(const ProgramBench& bench, const std::vector<std::string>& arguments) {
    const auto before = bench.toolFolderContents();
    ProgramRun r = bench.run(arguments);
    auto after = bench.toolFolderContents();
    if (!before.count("KRV610xVersion.txt")) after.erase("KRV610xVersion.txt");
    EXPECT_EQ(after, before) << "the tool folder changed; output:\n" << r.output;
    for (const char* fault : {"Sanitizer", "runtime error:", "terminate called"})
        EXPECT_EQ(r.output.find(fault), std::string::npos) << r.output;
    return r;
}

nlohmann::json benchWith(const std::vector<nlohmann::json>& bridges) {
    nlohmann::json ports = nlohmann::json::array();
    for (std::size_t i = 0; i < bridges.size(); ++i)
        ports.push_back({{"port", i + 1}, {"bridge", bridges[i]}});
    return {{"controllers", {{{"ports", {{"port_count", 4}, {"ports", ports}}}}}}, {"system_disks", 1}};
}

}  // namespace quib::frontend::testing
