#include "platform/linux/sysfs_reader.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace quib::platform {
namespace {

namespace fs = std::filesystem;

// Attributes are small; a larger file is not an attribute we read.
constexpr std::uintmax_t kMaxAttributeBytes = 1 << 20;

}  // namespace

SysfsReader::SysfsReader(std::string root) : m_root(std::move(root)) {
    while (m_root.size() > 1 && m_root.back() == '/') m_root.pop_back();
}

std::string SysfsReader::full(const std::string& relative) const {
    return relative.empty() ? m_root : m_root + "/" + relative;
}

std::optional<std::vector<std::uint8_t>> SysfsReader::bytes(const std::string& relative) const {
    std::ifstream in(full(relative), std::ios::binary);
    if (!in) return std::nullopt;
    std::vector<std::uint8_t> out;
    char buffer[4096];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        out.insert(out.end(), buffer, buffer + in.gcount());
        if (out.size() > kMaxAttributeBytes) return std::nullopt;
    }
    if (in.bad()) return std::nullopt;
    return out;
}

std::optional<std::string> SysfsReader::text(const std::string& relative) const {
    const auto raw = bytes(relative);
    if (!raw) return std::nullopt;
    std::string out(raw->begin(), raw->end());
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == '\0')) out.pop_back();
    return out;
}

std::optional<std::uint64_t> SysfsReader::number(const std::string& relative, int base) const {
    auto value = text(relative);
    if (!value) return std::nullopt;
    std::string_view digits = *value;
    while (!digits.empty() && digits.front() == ' ') digits.remove_prefix(1);
    while (!digits.empty() && digits.back() == ' ') digits.remove_suffix(1);
    if (base == 16 && digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X'))
        digits.remove_prefix(2);
    if (digits.empty()) return std::nullopt;
    std::uint64_t out = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), out, base);
    if (error != std::errc{} || end != digits.data() + digits.size()) return std::nullopt;
    return out;
}

std::vector<std::string> SysfsReader::entries(const std::string& relative) const {
    std::vector<std::string> out;
    std::error_code ec;
    for (fs::directory_iterator it(full(relative), ec), end; !ec && it != end; it.increment(ec))
        out.push_back(it->path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

bool SysfsReader::exists(const std::string& relative) const {
    std::error_code ec;
    return fs::exists(full(relative), ec);
}

std::optional<std::string> SysfsReader::resolve(const std::string& relative) const {
    std::error_code ec;
    const fs::path resolved = fs::canonical(full(relative), ec);
    if (ec) return std::nullopt;
    const fs::path root = fs::canonical(m_root, ec);
    if (ec) return std::nullopt;
    const std::string text = resolved.string(), base = root.string();
    if (text == base) return std::string();
    const std::string prefix = base == "/" ? base : base + "/";
    if (text.compare(0, prefix.size(), prefix) != 0) return std::nullopt;
    return text.substr(prefix.size());
}

std::optional<std::string> SysfsReader::linkName(const std::string& relative) const {
    std::error_code ec;
    const fs::path target = fs::read_symlink(full(relative), ec);
    if (ec) return std::nullopt;
    return target.filename().string();
}

bool SysfsReader::write(const std::string& relative, const std::string& value) const {
    const int fd = ::open(full(relative).c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const ssize_t written = ::write(fd, value.data(), value.size());
    const int error = errno;
    ::close(fd);
    errno = error;
    return written == static_cast<ssize_t>(value.size());
}

std::string parentOf(const std::string& relative) {
    const std::size_t slash = relative.rfind('/');
    return slash == std::string::npos ? std::string() : relative.substr(0, slash);
}

std::string baseName(const std::string& relative) {
    const std::size_t slash = relative.rfind('/');
    return slash == std::string::npos ? relative : relative.substr(slash + 1);
}

}  // namespace quib::platform
