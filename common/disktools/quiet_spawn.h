// Starting a program of the host and waiting for it, with its output kept off the terminal: how the Linux
// backend and the bench run Debian's disk tools.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quib::disktools {

inline constexpr std::uint32_t kStillRunning = 259;  // the wait ran out; the program is left running

// Runs argv[0] (found on the search path, or in /usr/sbin and /sbin where Debian keeps administrators'
// tools) and waits for it, at most `timeoutMs` unless that is 0: its exit code, 128 + the signal when one
// ended it, or kStillRunning. Nothing when it cannot start, with `startError` the errno value (ENOENT for
// a program not found; ENOSYS where the host has no such programs).
std::optional<std::uint32_t> spawnQuietly(const std::vector<std::string>& argv, std::uint32_t timeoutMs,
                                          int& startError);

}  // namespace quib::disktools
