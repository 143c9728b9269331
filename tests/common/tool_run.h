// Runs one of the system's tools for a test and keeps what it printed.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <memory>
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

}  // namespace quib::testing
