#include "tools/quibdiag/progress.h"

#include <chrono>
#include <cstdio>

#ifdef _WIN32
#include <io.h>
#define QUIBDIAG_ISATTY(fd) _isatty(fd)
#else
#include <unistd.h>
#define QUIBDIAG_ISATTY(fd) ::isatty(fd)
#endif

namespace quibdiag {

Progress::Progress(std::string what) : m_what(std::move(what)) {
    if (!QUIBDIAG_ISATTY(2)) return;
    m_drawer = std::thread([this] {
        const auto start = std::chrono::steady_clock::now();
        std::unique_lock lock(m_lock);
        while (!m_finished) {
            const auto seconds =
                std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start)
                    .count();
            std::fprintf(stderr, "\r%s ... %lld s ", m_what.c_str(), static_cast<long long>(seconds));
            std::fflush(stderr);
            m_done.wait_for(lock, std::chrono::seconds(1));
        }
        std::fprintf(stderr, "\r%*s\r", static_cast<int>(m_what.size() + 16), "");
        std::fflush(stderr);
    });
}

Progress::~Progress() {
    {
        std::lock_guard lock(m_lock);
        m_finished = true;
    }
    m_done.notify_all();
    if (m_drawer.joinable()) m_drawer.join();
}

}  // namespace quibdiag
