// Helpers shared by the bench tests: a private temporary folder and small bench descriptions.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <span>
#include <string>
#include <vector>

#include "bench/bench.h"
#include "tests/common/temp_path.h"

namespace bench::testing {

// A fresh folder under the test temporary directory, removed with everything in it at the end.
class TempFolder {
  public:
    TempFolder() : m_path(quib::testing::freshTempPath("bench")) {
        std::filesystem::remove_all(m_path);
        std::filesystem::create_directories(m_path);
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    const std::filesystem::path& path() const { return m_path; }

  private:
    std::filesystem::path m_path;
};

// A file's bytes as text, line ends as written.
inline std::string readText(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

#ifdef QUIBBENCH_PATH
// Runs the built quibbench with `arguments`, its output to `output`; returns its exit code.
inline int runTool(const std::string& arguments, const std::filesystem::path& output) {
    const std::string line =
        std::string("\"") + QUIBBENCH_PATH + "\" " + arguments + " > \"" + output.string() + "\" 2>&1";
#ifdef _WIN32
    return std::system(("\"" + line + "\"").c_str());  // cmd.exe drops the outer pair of quotes
#else
    return WEXITSTATUS(std::system(line.c_str()));
#endif
}
#endif

// One controller with the given bridges on root ports 1, 2, ...
inline nlohmann::json benchWithBridges(std::vector<nlohmann::json> bridges) {
    nlohmann::json ports = nlohmann::json::array();
    int port = 1;
    for (auto& b : bridges) ports.push_back({{"port", port++}, {"bridge", b}});
    return {{"controllers", {{{"ports", ports}}}}};
}

inline ScsiCommand command(std::initializer_list<std::uint8_t> cdb, std::uint8_t cdbLength,
                           std::uint8_t dataIn, std::uint32_t transferLength, std::uint32_t timeout = 3) {
    ScsiCommand c;
    std::size_t i = 0;
    for (std::uint8_t b : cdb) c.cdb[i++] = b;
    c.cdbLength = cdbLength;
    c.dataIn = dataIn;
    c.transferLength = transferLength;
    c.timeoutSeconds = timeout;
    return c;
}

// Sends a command to disk or CD-ROM `number` of a bench; data sized to the transfer length.
struct Sent {
    ScsiOutcome outcome;
    std::vector<std::uint8_t> data;
};
inline Sent send(Bench& bench, const Target& target, const ScsiCommand& c,
                 std::vector<std::uint8_t> out = {}) {
    Sent s;
    s.data = out.empty() ? std::vector<std::uint8_t>(c.transferLength, 0) : std::move(out);
    ScsiRequest r;
    r.command = c;
    r.inputSize = 65616;
    r.outputSize = 65616;
    s.outcome = bench.executeScsi(target, r, s.data);
    return s;
}

inline Target openPath(Bench& bench, const std::string& path) {
    std::uint32_t error = 0;
    const auto t = bench.open(path, error);
    if (!t) throw std::runtime_error("cannot open " + path + " error " + std::to_string(error));
    return *t;
}

inline Target disk(Bench& bench, int n) {
    return openPath(bench, "\\\\.\\PHYSICALDRIVE" + std::to_string(n));
}

// Commands as the system sends them.
inline ScsiCommand registerRead(std::uint16_t address, std::uint32_t length) {
    return command({0xE4, static_cast<std::uint8_t>(length), 0, static_cast<std::uint8_t>(address >> 8),
                    static_cast<std::uint8_t>(address), 0},
                   6, 1, length);
}
inline ScsiCommand registerWrite(std::uint16_t address, std::uint8_t value) {
    return command(
        {0xE5, value, 0, static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address), 0}, 6,
        0, 0, 60);
}
inline ScsiCommand firmwareRead(std::uint8_t selector, std::uint32_t length) {
    return command(
        {0xE2, selector, static_cast<std::uint8_t>(length >> 24), static_cast<std::uint8_t>(length >> 16),
         static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)},
        6, 1, length);
}
inline ScsiCommand firmwareWrite(std::uint8_t selector, std::uint32_t length) {
    return command(
        {0xE3, selector, static_cast<std::uint8_t>(length >> 24), static_cast<std::uint8_t>(length >> 16),
         static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)},
        6, 0, length, 60);
}
inline ScsiCommand inquiry38() {
    return command({0x12, 0, 0, 0, 38, 0}, 12, 1, 38);
}
inline ScsiCommand cpuReset(std::uint8_t mode = 0) {
    return command({0xE8, mode, 0, 0, 0, 0}, 12, 1, 0);
}

// Writes a stream the way the update does: consecutive pieces of at most 65536 bytes.
inline void writeStreamInPieces(Bench& bench, const Target& t, std::uint8_t selector,
                                std::span<const std::uint8_t> stream) {
    for (std::size_t at = 0; at < stream.size(); at += 65536) {
        const std::size_t n = std::min<std::size_t>(65536, stream.size() - at);
        const auto sent =
            send(bench, t, firmwareWrite(selector, static_cast<std::uint32_t>(n)),
                 std::vector<std::uint8_t>(stream.begin() + static_cast<std::ptrdiff_t>(at),
                                           stream.begin() + static_cast<std::ptrdiff_t>(at + n)));
        if (!sent.outcome.controlOk || sent.outcome.scsiStatus != 0)
            throw std::runtime_error("stream piece refused");
    }
}

}  // namespace bench::testing
