#include "bench/drive/sparse_file.h"

#ifdef __linux__
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace bench {

#ifdef __linux__
namespace {

struct Fd {
    int fd;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
};

}  // namespace

std::vector<std::pair<std::uint64_t, std::uint64_t>> dataExtents(const std::filesystem::path& path,
                                                                 std::uint64_t from, std::uint64_t to) {
    std::vector<std::pair<std::uint64_t, std::uint64_t>> extents;
    if (from >= to) return extents;
    const Fd file{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
    if (file.fd < 0) return {{from, to - from}};
    std::uint64_t at = from;
    while (at < to) {
        const off_t data = ::lseek(file.fd, static_cast<off_t>(at), SEEK_DATA);
        if (data < 0) {
            if (errno == ENXIO) break;  // nothing but a hole up to the end
            return {{from, to - from}};
        }
        if (static_cast<std::uint64_t>(data) >= to) break;
        off_t hole = ::lseek(file.fd, data, SEEK_HOLE);
        if (hole < 0) hole = static_cast<off_t>(to);
        const std::uint64_t end = std::min<std::uint64_t>(static_cast<std::uint64_t>(hole), to);
        extents.emplace_back(static_cast<std::uint64_t>(data), end - static_cast<std::uint64_t>(data));
        at = end;
    }
    return extents;
}

bool punchHole(const std::filesystem::path& path, std::uint64_t offset, std::uint64_t length) {
    const Fd file{::open(path.c_str(), O_WRONLY | O_CLOEXEC)};
    return file.fd >= 0 && ::fallocate(file.fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE,
                                       static_cast<off_t>(offset), static_cast<off_t>(length)) == 0;
}

#else

std::vector<std::pair<std::uint64_t, std::uint64_t>> dataExtents(const std::filesystem::path&,
                                                                 std::uint64_t from, std::uint64_t to) {
    if (from >= to) return {};
    return {{from, to - from}};
}

bool punchHole(const std::filesystem::path&, std::uint64_t, std::uint64_t) {
    return false;
}

#endif

}  // namespace bench
