// Runs one of the system's tools for a test and keeps what it printed.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <regex>
#include <string>

namespace quib::testing {

struct ToolRun {
    int status = -1;
    std::string output;
};

inline ToolRun run(const std::string& command) {
    ToolRun result;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen((command + " 2>&1").c_str(), "r"), ::pclose);
    if (!pipe) return result;
    std::array<char, 4096> chunk;
    while (std::fgets(chunk.data(), chunk.size(), pipe.get())) result.output += chunk.data();
    result.status = ::pclose(pipe.release());
    return result;
}

inline std::string tool(const std::string& name) {
    for (const char* folder : {"/usr/sbin/", "/sbin/", "/usr/bin/", "/bin/"}) {
        if (std::filesystem::exists(std::string(folder) + name)) return std::string(folder) + name;
    }
    ADD_FAILURE() << name << " is not installed (scripts/test.sh installs the tools)";
    return name;
}

// The volume serial as Windows shows it, from blkid's UUID of a file system ("1A2B-3C4D"; NTFS's sixteen
// hex digits: their low 32 bits). 0 when blkid finds none.
inline std::uint32_t blkidSerial(const std::string& device) {
    const auto uuid = run(tool("blkid") + " -p -o value -s UUID '" + device + "'");
    std::string hex;
    for (const char c : uuid.output)
        if (std::isxdigit(static_cast<unsigned char>(c))) hex += c;
    if (hex.empty()) return 0;
    return static_cast<std::uint32_t>(
        std::stoull(hex.substr(hex.size() > 8 ? hex.size() - 8 : 0), nullptr, 16));
}

// The free bytes mdir counts on a FAT image; nothing when it says none.
inline std::optional<std::uint64_t> mdirBytesFree(const std::string& image) {
    const auto dir = run(tool("mdir") + " -i '" + image + "' ::");
    std::smatch m;
    if (!std::regex_search(dir.output, m, std::regex(R"(([0-9 ]+) bytes free)"))) return std::nullopt;
    std::string digits;
    for (const char c : m[1].str())
        if (c != ' ') digits += c;
    return std::stoull(digits);
}

// What fdisk says is wrong with a table it listed (empty when it found nothing wrong).
inline std::string fdiskComplaints(const std::string& listing) {
    std::string found;
    for (const char* bad : {"corrupt", "mismatch", "Warning", "does not end", "overlap", "not aligned"})
        if (listing.find(bad) != std::string::npos) found += std::string(found.empty() ? "" : ", ") + bad;
    return found;
}

}  // namespace quib::testing
