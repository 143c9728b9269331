// Starting a program of the host and waiting for it, with its output kept off the terminal.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quib::platform {

// Runs argv[0] (found on the search path, or in /usr/sbin and /sbin where Debian keeps administrators'
// tools) and waits at most `timeoutMs`: its exit code (128 + the signal when one ended it; 259 when the
// wait ran out, the program left running), or nothing with the system's error set when it cannot start.
std::optional<std::uint32_t> runQuietly(const std::vector<std::string>& argv, std::uint32_t timeoutMs);

// A command line's words: split at blanks, double quotes keeping blanks inside one word.
std::vector<std::string> commandLineWords(const std::string& arguments);

}  // namespace quib::platform
