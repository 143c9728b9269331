#include "platform/linux/linux_spawn.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/linux/linux_sg_io.h"
#include "platform/platform.h"

extern char** environ;

namespace quib::platform {
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

}  // namespace

std::vector<std::string> commandLineWords(const std::string& arguments) {
    std::vector<std::string> words;
    std::string word;
    bool quoted = false, any = false;
    for (const char c : arguments) {
        if (c == '"') {
            quoted = !quoted;
            any = true;
        } else if (!quoted && (c == ' ' || c == '\t')) {
            if (any) words.push_back(word);
            word.clear();
            any = false;
        } else {
            word += c;
            any = true;
        }
    }
    if (any) words.push_back(word);
    return words;
}

std::optional<std::uint32_t> runQuietly(const std::vector<std::string>& argv, std::uint32_t timeoutMs) {
    const auto program = argv.empty() ? std::nullopt : findProgram(argv.front());
    if (!program) {
        setLastError(kErrorFileNotFound);
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
        setLastError(sgio::systemErrorOf(started));
        return std::nullopt;
    }
    // Polled, so that the wait has a bound; the program is left running when it runs out, as on Windows.
    timespec start{};
    ::clock_gettime(CLOCK_MONOTONIC, &start);
    for (;;) {
        int status = 0;
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            setLastError(kErrorSuccess);
            return static_cast<std::uint32_t>(WIFEXITED(status) ? WEXITSTATUS(status)
                                                                : 128 + WTERMSIG(status));
        }
        if (done < 0 && errno != EINTR) {
            setLastError(sgio::systemErrorOf(errno));
            return std::nullopt;
        }
        timespec now{};
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        const std::int64_t elapsedMs =
            (now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1000000;
        if (elapsedMs >= timeoutMs) {
            setLastError(kErrorSuccess);
            return 259u;
        }
        const timespec pause{0, 10'000'000};
        ::nanosleep(&pause, nullptr);
    }
}

}  // namespace quib::platform
