#include "platform/bench/bench_files.h"

namespace quib::platform {
namespace {

template <typename T>
T reported(T result, std::uint32_t error, bool ok) {
    setLastError(ok ? kErrorSuccess : error);
    return result;
}

}  // namespace

bool BenchFiles::isFullPath(std::string_view path) const {
    return owned(std::string(path)) || m_host.isFullPath(path);
}

std::optional<bench::Fat32Files::Entry> BenchFiles::entry(const std::string& path) {
    std::uint32_t error = 0;
    auto found = m_bench->volumeEntry(path, error);
    return reported(found, error, found.has_value());
}

bool BenchFiles::exists(const std::string& path) {
    return owned(path) ? entry(path).has_value() : m_host.exists(path);
}

bool BenchFiles::isDirectory(const std::string& path) {
    if (!owned(path)) return m_host.isDirectory(path);
    const auto e = entry(path);
    return e && e->directory;
}

bool BenchFiles::isLink(const std::string& path) {
    return owned(path) ? false : m_host.isLink(path);
}

bool BenchFiles::isReadWrite(const std::string& path) {
    return owned(path) ? entry(path).has_value() : m_host.isReadWrite(path);
}

std::optional<std::vector<std::uint8_t>> BenchFiles::readFile(const std::string& path) {
    if (!owned(path)) return m_host.readFile(path);
    std::uint32_t error = 0;
    auto bytes = m_bench->readVolumeFile(path, error);
    return reported(std::move(bytes), error, bytes.has_value());
}

std::optional<std::uint64_t> BenchFiles::fileSize(const std::string& path) {
    if (!owned(path)) return m_host.fileSize(path);
    const auto e = entry(path);
    if (!e || e->directory) return std::nullopt;
    return e->size;
}

bool BenchFiles::writeFile(const std::string& path, std::span<const std::uint8_t> bytes) {
    if (!owned(path)) return m_host.writeFile(path, bytes);
    std::uint32_t error = 0;
    const bool ok = m_bench->writeVolumeFile(path, bytes, error);
    return reported(ok, error, ok);
}

bool BenchFiles::appendFile(const std::string& path, std::span<const std::uint8_t> bytes) {
    if (!owned(path)) return m_host.appendFile(path, bytes);
    std::uint32_t error = 0;
    auto old = m_bench->readVolumeFile(path, error);
    std::vector<std::uint8_t> whole = old ? std::move(*old) : std::vector<std::uint8_t>{};
    whole.insert(whole.end(), bytes.begin(), bytes.end());
    return writeFile(path, whole);
}

bool BenchFiles::deleteFile(const std::string& path) {
    if (!owned(path)) return m_host.deleteFile(path);
    std::uint32_t error = 0;
    const bool ok = m_bench->removeVolumeEntry(path, false, error);
    return reported(ok, error, ok);
}

bool BenchFiles::copyFile(const std::string& from, const std::string& to, bool replaceExisting) {
    if (!owned(from) && !owned(to)) return m_host.copyFile(from, to, replaceExisting);
    if (!replaceExisting && exists(to)) {
        setLastError(kErrorFileExists);
        return false;
    }
    const auto bytes = readFile(from);
    return bytes && writeFile(to, *bytes);
}

bool BenchFiles::createDirectory(const std::string& path) {
    if (!owned(path)) return m_host.createDirectory(path);
    std::uint32_t error = 0;
    const bool ok = m_bench->createVolumeDirectory(path, error);
    return reported(ok, error, ok);
}

bool BenchFiles::removeDirectory(const std::string& path) {
    if (!owned(path)) return m_host.removeDirectory(path);
    std::uint32_t error = 0;
    const bool ok = m_bench->removeVolumeEntry(path, true, error);
    return reported(ok, error, ok);
}

bool BenchFiles::clearReadOnly(const std::string& path) {
    return owned(path) ? exists(path) : m_host.clearReadOnly(path);
}

std::vector<std::string> BenchFiles::findFiles(const std::string& folder, const std::string& pattern) {
    return owned(folder) ? std::vector<std::string>{} : m_host.findFiles(folder, pattern);
}

std::vector<std::string> BenchFiles::findFolders(const std::string& folder) {
    return owned(folder) ? std::vector<std::string>{} : m_host.findFolders(folder);
}

}  // namespace quib::platform
