// quibredir: presents the bridges of a bench folder to QEMU as USB mass-storage devices (bulk-only
// transport), one usbredir connection per bridge, all served by one poll loop over one bench.
//
//   quibredir BENCH_FOLDER SOCKET_DIR [--bridge ID]...
//
// It listens on SOCKET_DIR/<bridge id>.sock; QEMU connects with
//   -chardev socket,id=r0,path=SOCKET_DIR/bridge0.sock -device usb-redir,chardev=r0,...
// The bench's clock follows real time while QEMU is connected, so a restarted bridge comes back after its
// restart delay: the device is disconnected after the status of the command that restarted it, and
// connected again when the bench puts the bridge back on the bus. It ends when QEMU has closed every
// connection (or on SIGINT / SIGTERM).
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bench/bench.h"
#include "tools/usbredir/bot_device.h"
#include "tools/usbredir/redir_connection.h"

namespace {

using quib::redir::BotDevice;
using quib::redir::RedirConnection;
using quib::redir::redirLog;
using Clock = std::chrono::steady_clock;

volatile std::sig_atomic_t g_stop = 0;

int listenOn(const std::filesystem::path& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error("socket: " + std::string(std::strerror(errno)));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string text = path.string();
    if (text.size() >= sizeof address.sun_path) throw std::runtime_error("socket path too long: " + text);
    std::memcpy(address.sun_path, text.c_str(), text.size() + 1);
    ::unlink(text.c_str());
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 1) != 0)
        throw std::runtime_error(text + ": " + std::strerror(errno));
    return fd;
}

void onSignal(int) {
    g_stop = 1;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Presents the bridges of a bench folder to QEMU over usbredir (bulk-only mass storage)"};
    std::string benchFolder, socketDir;
    std::vector<std::string> bridges;
    app.add_option("bench", benchFolder, "bench folder")->required();
    app.add_option("socket-dir", socketDir, "folder for the listening sockets <bridge id>.sock")->required();
    app.add_option("--bridge", bridges, "bridges to present (default: every bridge)");
    CLI11_PARSE(app, argc, argv);

    struct sigaction action {};
    action.sa_handler = onSignal;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    try {
        auto bench = bench::Bench::openFolder(benchFolder);
        if (bridges.empty())
            for (const auto& b : bench->description().bridges) bridges.push_back(b.id);

        struct Listener {
            std::string id;
            std::filesystem::path path;
            int fd;
        };
        std::vector<Listener> listeners;
        for (const auto& id : bridges) {
            BotDevice probe(bench, id);  // refuses an unknown bridge before anything listens
            const auto path = std::filesystem::path(socketDir) / (id + ".sock");
            listeners.push_back({id, path, listenOn(path)});
            redirLog("%s: listening on %s", id.c_str(), path.c_str());
        }

        std::vector<std::unique_ptr<RedirConnection>> connections;
        std::size_t accepted = 0;
        auto lastTick = Clock::now();
        while (!g_stop) {
            std::vector<pollfd> fds;
            for (const auto& l : listeners) fds.push_back({l.fd, POLLIN, 0});
            for (const auto& c : connections)
                fds.push_back({c->fd(), static_cast<short>(POLLIN | (c->wantsWrite() ? POLLOUT : 0)), 0});
            if (::poll(fds.data(), fds.size(), 20) < 0 && errno != EINTR)
                throw std::runtime_error(std::string("poll: ") + std::strerror(errno));

            std::size_t at = 0;
            for (auto it = listeners.begin(); it != listeners.end(); ++at) {
                if (fds[at].revents & POLLIN) {
                    const int fd = ::accept4(it->fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
                    if (fd >= 0) {
                        connections.push_back(
                            RedirConnection::make(fd, std::make_unique<BotDevice>(bench, it->id)));
                        ++accepted;
                        ::close(it->fd);
                        ::unlink(it->path.c_str());
                        it = listeners.erase(it);
                        continue;
                    }
                }
                ++it;
            }
            for (std::size_t i = 0; i < connections.size() && at + i < fds.size(); ++i) {
                if (fds[at + i].revents & (POLLIN | POLLHUP | POLLERR)) connections[i]->readable();
                if (fds[at + i].revents & POLLOUT) connections[i]->writable();
            }

            // The bench's clock follows real time, so restart delays and pauses run out as on hardware.
            const auto now = Clock::now();
            const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(now - lastTick);
            if (elapsed.count() >= 50) {
                bench->sleepMs(static_cast<std::uint64_t>(elapsed.count()));
                lastTick += elapsed;
            }
            for (auto& c : connections) {
                c->tick();
                c->writable();
            }
            std::erase_if(connections, [](const auto& c) { return c->closed(); });
            if (accepted > 0 && connections.empty() && listeners.empty()) break;
        }
        for (const auto& l : listeners) {
            ::close(l.fd);
            ::unlink(l.path.c_str());
        }
        redirLog("done");
        return 0;
    } catch (const std::exception& e) {
        redirLog("error: %s", e.what());
        return 1;
    }
}
