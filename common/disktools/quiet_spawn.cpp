#include "common/disktools/quiet_spawn.h"

#include <cerrno>
#include <cstdlib>

#ifdef __linux__
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
extern char** environ;
#endif

namespace quib::disktools {

#ifdef __linux__
namespace {

std::optional<std::string> findProgram(const std::string& name) {
    if (name.find('/') != std::string::npos) return name;
    std::string path = std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin";
    path += ":/usr/sbin:/sbin";
    for (std::size_t at = 0; at <= path.size();) {
        const std::size_t end = std::min(path.find(':', at), path.size());
        const std::string candidate = path.substr(at, end - at) + "/" + name;
        if (end > at && ::access(candidate.c_str(), X_OK) == 0) return candidate;
        at = end + 1;
    }
    return std::nullopt;
}

std::int64_t monotonicMs() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return std::int64_t{now.tv_sec} * 1000 + now.tv_nsec / 1000000;
}

}  // namespace

std::optional<std::uint32_t> spawnQuietly(const std::vector<std::string>& argv, std::uint32_t timeoutMs,
                                          int& startError) {
    const auto program = argv.empty() ? std::nullopt : findProgram(argv.front());
    if (!program) {
        startError = ENOENT;
        return std::nullopt;
    }
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int started = ::posix_spawn(&pid, program->c_str(), &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (started != 0) {
        startError = started;
        return std::nullopt;
    }
    // Polled when bounded, so that the wait ends in time; the program is left running then, as on Windows.
    const std::int64_t start = monotonicMs();
    for (;;) {
        int status = 0;
        const pid_t done = ::waitpid(pid, &status, timeoutMs ? WNOHANG : 0);
        if (done == pid)
            return static_cast<std::uint32_t>(WIFEXITED(status) ? WEXITSTATUS(status)
                                                                : 128 + WTERMSIG(status));
        if (done < 0 && errno != EINTR) {
            startError = errno;
            return std::nullopt;
        }
        if (timeoutMs == 0) continue;
        if (monotonicMs() - start >= timeoutMs) return kStillRunning;
        const timespec pause{0, 10'000'000};
        ::nanosleep(&pause, nullptr);
    }
}
#else
std::optional<std::uint32_t> spawnQuietly(const std::vector<std::string>&, std::uint32_t, int& startError) {
    startError = ENOSYS;  // the host's disk tools are Debian's
    return std::nullopt;
}
#endif

}  // namespace quib::disktools
