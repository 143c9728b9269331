#include "platform/linux/linux_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

#include "common/disktools/tool_commands.h"
#include "platform/linux/linux_devices.h"
#include "platform/linux/linux_spawn.h"
#include "platform/linux/terminal_screen.h"

namespace quib::platform {
namespace {

constexpr std::size_t kMaxPaths = 16;
constexpr std::size_t kMaxPathLength = 4096;
constexpr int kInterruptSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The prepared paths live in static storage: the handler reads them without locks or allocation.
struct PathTable {
    char paths[kMaxPaths][kMaxPathLength];
    std::size_t count = 0;
};
PathTable g_files, g_folders;
std::atomic<bool> g_armed{false};
volatile sig_atomic_t g_haveExitCode = 0;
volatile sig_atomic_t g_exitCode = 0;

void fill(PathTable& table, const std::vector<std::string>& paths) {
    table.count = 0;
    for (const std::string& p : paths) {
        if (table.count == kMaxPaths || p.size() >= kMaxPathLength) continue;
        std::memcpy(table.paths[table.count], p.c_str(), p.size() + 1);
        ++table.count;
    }
}

struct LinuxDirent64 {
    ino64_t d_ino;
    off64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[];
};

// Unlinks the plain files of a folder, then the folder; only system calls. A link in place of the folder
// is removed itself, never followed.
void emptyAndRemove(const char* folder) {
    struct stat st {};
    if (::lstat(folder, &st) == 0 && S_ISLNK(st.st_mode)) {
        ::unlink(folder);
        return;
    }
    const int fd = ::open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
    if (fd >= 0) {
        alignas(8) char buffer[4096];
        for (;;) {
            const long n = ::syscall(SYS_getdents64, fd, buffer, sizeof buffer);
            if (n <= 0) break;
            for (long at = 0; at < n;) {
                const auto* entry = reinterpret_cast<const LinuxDirent64*>(buffer + at);
                at += entry->d_reclen;
                if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
                ::unlinkat(fd, entry->d_name, 0);
            }
        }
        ::close(fd);
    }
    ::rmdir(folder);
}

void cleanUp() {
    // The shell's prompt must not land on the window's status line.
    endOpenLineAfterSignal();
    for (std::size_t i = 0; i < g_files.count; ++i) ::unlink(g_files.paths[i]);
    for (std::size_t i = 0; i < g_folders.count; ++i) emptyAndRemove(g_folders.paths[i]);
}

void onInterrupt(int signal) {
    if (g_armed.load()) cleanUp();
    if (g_haveExitCode) ::_exit(g_exitCode);
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

void installHandlers() {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    for (int s : kInterruptSignals) sigaddset(&action.sa_mask, s);
    for (int s : kInterruptSignals) ::sigaction(s, &action, nullptr);
}

}  // namespace

void LinuxProcess::setInterruptCleanup(const std::vector<std::string>& files,
                                       const std::vector<std::string>& folders, std::optional<int> exitCode) {
    // The handler must not read the tables while they change.
    sigset_t block, previous;
    sigemptyset(&block);
    for (int s : kInterruptSignals) sigaddset(&block, s);
    ::pthread_sigmask(SIG_BLOCK, &block, &previous);
    fill(g_files, files);
    fill(g_folders, folders);
    g_haveExitCode = exitCode.has_value() ? 1 : 0;
    g_exitCode = exitCode.value_or(0);
    const bool wasArmed = g_armed.exchange(true);
    if (!wasArmed) installHandlers();
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

void runInterruptCleanupForTest() {
    cleanUp();
}

std::optional<std::uint32_t> LinuxProcess::runHidden(const std::string& program, const std::string& arguments,
                                                     std::uint32_t timeoutMs) {
    const std::string name = disktools::programName(program);
    if (m_devices && (name == "diskpart.exe" || name == "format.com" || name == "label.exe"))
        return m_devices->runDiskTool(program, arguments, timeoutMs);
    std::vector<std::string> argv = commandLineWords(arguments);
    argv.insert(argv.begin(), program);
    return runQuietly(argv, timeoutMs);
}

}  // namespace quib::platform
