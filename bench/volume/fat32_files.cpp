#include "bench/volume/fat32_files.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>

#include "bench/bench_types.h"
#include "bench/byte_order.h"

namespace bench {
namespace {

constexpr std::uint32_t kEndOfChain = 0x0FFFFFFF;
constexpr std::uint8_t kAttrDirectory = 0x10, kAttrLongName = 0x0F, kAttrVolumeLabel = 0x08;
constexpr std::uint32_t kDiskFull = 112, kBadName = 123, kDirNotEmpty = 145;

void put16(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
void put32(std::uint8_t* p, std::uint32_t v) {
    put16(p, v & 0xFFFF);
    put16(p + 2, v >> 16);
}

std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool shortNameChar(char c) {
    return std::isupper(static_cast<unsigned char>(c)) || std::isdigit(static_cast<unsigned char>(c)) ||
           std::strchr("$%'-_@~`!(){}^#&", c) != nullptr;
}

// "NAME.EXT" of an 11-byte short name.
std::string shortNameText(const std::uint8_t* e) {
    std::string base(reinterpret_cast<const char*>(e), 8), ext(reinterpret_cast<const char*>(e + 8), 3);
    while (!base.empty() && base.back() == ' ') base.pop_back();
    while (!ext.empty() && ext.back() == ' ') ext.pop_back();
    return ext.empty() ? base : base + "." + ext;
}

std::uint8_t checksum(const std::uint8_t* shortName) {
    std::uint8_t sum = 0;
    for (int i = 0; i < 11; ++i)
        sum = static_cast<std::uint8_t>(((sum & 1) << 7) + (sum >> 1) + shortName[i]);
    return sum;
}

// The 11-byte short name when `name` is one as it stands (upper case, 8.3).
std::optional<std::string> exactShortName(const std::string& name) {
    const auto dot = name.find('.');
    const std::string base = name.substr(0, dot), ext = dot == std::string::npos ? "" : name.substr(dot + 1);
    if (base.empty() || base.size() > 8 || ext.size() > 3 || ext.find('.') != std::string::npos)
        return std::nullopt;
    for (const char c : base + ext)
        if (!shortNameChar(c)) return std::nullopt;
    std::string out = base + std::string(8 - base.size(), ' ') + ext + std::string(3 - ext.size(), ' ');
    return out;
}

constexpr std::size_t kLongNameOffsets[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};

}  // namespace

std::optional<Fat32Files> Fat32Files::open(VolumeIo io, std::uint64_t volumeBytes) {
    std::vector<std::uint8_t> boot(512);
    if (!io.read(0, boot) || boot[510] != 0x55 || boot[511] != 0xAA) return std::nullopt;
    Fat32Files f(std::move(io));
    f.m_bytesPerSector = le16(&boot[11]);
    f.m_sectorsPerCluster = boot[13];
    f.m_reserved = le16(&boot[14]);
    f.m_fats = boot[16];
    f.m_fatSize = le32(&boot[36]);
    f.m_rootCluster = le32(&boot[44]);
    f.m_fsInfoSector = le16(&boot[48]);
    const std::uint64_t total = le32(&boot[32]);
    if (f.m_bytesPerSector < 512 || f.m_sectorsPerCluster == 0 || f.m_fats == 0 || f.m_fatSize == 0 ||
        le16(&boot[17]) != 0 || total * f.m_bytesPerSector > volumeBytes)
        return std::nullopt;
    f.m_firstDataSector = f.m_reserved + std::uint64_t{f.m_fats} * f.m_fatSize;
    if (f.m_firstDataSector >= total) return std::nullopt;
    f.m_clusters = static_cast<std::uint32_t>((total - f.m_firstDataSector) / f.m_sectorsPerCluster);
    if (f.m_clusters < 65525 || f.m_rootCluster < 2 || f.m_rootCluster >= f.m_clusters + 2)
        return std::nullopt;
    return f;
}

std::uint64_t Fat32Files::clusterOffset(std::uint32_t cluster) const {
    return (m_firstDataSector + std::uint64_t{cluster - 2} * m_sectorsPerCluster) * m_bytesPerSector;
}

std::uint32_t Fat32Files::fatEntry(std::uint32_t cluster) {
    std::uint8_t raw[4] = {};
    m_io.read(std::uint64_t{m_reserved} * m_bytesPerSector + std::uint64_t{cluster} * 4, raw);
    return le32(raw) & 0x0FFFFFFF;
}

void Fat32Files::setFatEntry(std::uint32_t cluster, std::uint32_t value) {
    setFatEntries({{cluster, value}});
}

void Fat32Files::setFatEntries(const std::vector<std::pair<std::uint32_t, std::uint32_t>>& changes) {
    // One read and one write per run of touched 512-byte units (at most 64 KiB), in every FAT, as a driver
    // updates its cached FAT sectors: a long chain does not cost a command per cluster.
    std::map<std::uint64_t, std::vector<std::pair<std::uint32_t, std::uint32_t>>> byUnit;
    for (const auto& change : changes) byUnit[std::uint64_t{change.first} * 4 / 512].push_back(change);
    for (std::uint32_t i = 0; i < m_fats; ++i) {
        const std::uint64_t fatAt =
            (std::uint64_t{m_reserved} + std::uint64_t{i} * m_fatSize) * m_bytesPerSector;
        for (auto first = byUnit.begin(); first != byUnit.end();) {
            auto last = first;
            while (std::next(last) != byUnit.end() && std::next(last)->first == last->first + 1 &&
                   last->first - first->first + 1 < 128)
                ++last;
            std::vector<std::uint8_t> run(static_cast<std::size_t>((last->first - first->first + 1) * 512));
            m_io.read(fatAt + first->first * 512, run);
            for (auto unit = first; unit != std::next(last); ++unit)
                for (const auto& [cluster, value] : unit->second) {
                    std::uint8_t* p =
                        &run[static_cast<std::size_t>(std::uint64_t{cluster} * 4 - first->first * 512)];
                    put32(p, (le32(p) & 0xF0000000) | (value & 0x0FFFFFFF));
                }
            m_io.write(fatAt + first->first * 512, run);
            first = std::next(last);
        }
    }
}

std::vector<std::uint32_t> Fat32Files::chain(std::uint32_t first) {
    std::vector<std::uint32_t> out;
    for (std::uint32_t c = first; c >= 2 && c < m_clusters + 2 && out.size() <= m_clusters; c = fatEntry(c))
        out.push_back(c);
    return out;
}

std::optional<std::vector<std::uint32_t>> Fat32Files::allocate(std::uint32_t count) {
    std::vector<std::uint32_t> found;
    std::vector<std::uint8_t> info(m_bytesPerSector);
    std::uint32_t hint = 3;
    if (m_io.read(std::uint64_t{m_fsInfoSector} * m_bytesPerSector, info) && le32(&info[492]) >= 2 &&
        le32(&info[492]) < m_clusters + 2)
        hint = le32(&info[492]);
    // The FAT is read 64 KiB at a time while free entries are looked for.
    constexpr std::uint32_t kEntriesPerRead = 16384;
    const std::uint64_t fatBytes = std::uint64_t{m_fatSize} * m_bytesPerSector;
    std::vector<std::uint8_t> entries;
    std::uint64_t entriesFirst = ~std::uint64_t{0};
    const auto entry = [&](std::uint32_t c) {
        if (c < entriesFirst || c >= entriesFirst + kEntriesPerRead) {
            entriesFirst = c / kEntriesPerRead * kEntriesPerRead;
            entries.assign(static_cast<std::size_t>(
                               std::min<std::uint64_t>(kEntriesPerRead * 4, fatBytes - entriesFirst * 4)),
                           0);
            m_io.read(std::uint64_t{m_reserved} * m_bytesPerSector + entriesFirst * 4, entries);
        }
        return le32(&entries[static_cast<std::size_t>((c - entriesFirst) * 4)]) & 0x0FFFFFFF;
    };
    for (std::uint32_t k = 0; k < m_clusters && found.size() < count; ++k) {
        const std::uint32_t c = 2 + (hint - 2 + k) % m_clusters;
        if (entry(c) == 0) found.push_back(c);
    }
    if (found.size() < count) return std::nullopt;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> links;
    for (std::size_t i = 0; i < found.size(); ++i)
        links.emplace_back(found[i], i + 1 < found.size() ? found[i + 1] : kEndOfChain);
    setFatEntries(links);
    updateFsInfo(-static_cast<std::int64_t>(count), found.empty() ? hint : found.back() + 1);
    return found;
}

void Fat32Files::freeChain(std::uint32_t first) {
    const auto clusters = chain(first);
    std::vector<std::pair<std::uint32_t, std::uint32_t>> cleared;
    for (const std::uint32_t c : clusters) cleared.emplace_back(c, 0);
    setFatEntries(cleared);
    if (!clusters.empty()) updateFsInfo(static_cast<std::int64_t>(clusters.size()), 0);
}

void Fat32Files::updateFsInfo(std::int64_t freedClusters, std::uint32_t nextFree) {
    std::vector<std::uint8_t> info(m_bytesPerSector);
    const std::uint64_t at = std::uint64_t{m_fsInfoSector} * m_bytesPerSector;
    if (!m_io.read(at, info) || le32(&info[0]) != 0x41615252 || le32(&info[484]) != 0x61417272) return;
    if (const std::uint32_t free = le32(&info[488]); free != 0xFFFFFFFF)
        put32(&info[488], static_cast<std::uint32_t>(static_cast<std::int64_t>(free) + freedClusters));
    if (nextFree >= 2 && nextFree < m_clusters + 2) put32(&info[492], nextFree);
    m_io.write(at, info);
}

std::vector<std::uint8_t> Fat32Files::rootBytes(std::vector<std::uint32_t>& clusters) {
    clusters = chain(m_rootCluster);
    const std::size_t clusterBytes = std::size_t{m_bytesPerSector} * m_sectorsPerCluster;
    std::vector<std::uint8_t> bytes(clusters.size() * clusterBytes);
    for (std::size_t i = 0; i < clusters.size(); ++i)
        m_io.read(clusterOffset(clusters[i]), std::span(bytes).subspan(i * clusterBytes, clusterBytes));
    return bytes;
}

void Fat32Files::writeRoot(const std::vector<std::uint8_t>& bytes,
                           const std::vector<std::uint32_t>& clusters) {
    const std::size_t clusterBytes = std::size_t{m_bytesPerSector} * m_sectorsPerCluster;
    for (std::size_t i = 0; i < clusters.size(); ++i)
        m_io.write(clusterOffset(clusters[i]), std::span(bytes).subspan(i * clusterBytes, clusterBytes));
}

namespace {

// Each live entry of a folder (volume labels and deleted entries skipped) with its name, the long one when
// its long-name entries stand before it, and where those begin.
struct Walked {
    std::size_t at = 0, longStart = 0;
    std::string name;
};
std::vector<Walked> walk(const std::vector<std::uint8_t>& dir) {
    std::vector<Walked> out;
    std::u16string longName;
    std::size_t longStart = 0;
    for (std::size_t at = 0; at + 32 <= dir.size() && dir[at] != 0; at += 32) {
        const std::uint8_t* e = &dir[at];
        if (e[0] == 0xE5) {
            longName.clear();
            continue;
        }
        if (e[11] == kAttrLongName) {
            if (e[0] & 0x40) {
                longName.clear();
                longStart = at;
            }
            std::u16string part;
            for (const std::size_t off : kLongNameOffsets) {
                const std::uint16_t u = le16(e + off);
                if (u == 0 || u == 0xFFFF) break;
                part += static_cast<char16_t>(u);
            }
            longName = part + longName;
            continue;
        }
        if (e[11] & kAttrVolumeLabel) {
            longName.clear();
            continue;
        }
        Walked w{at, at, shortNameText(e)};
        if (!longName.empty()) {
            w.name.clear();
            for (const char16_t u : longName) w.name += u < 0x80 ? static_cast<char>(u) : '?';
            w.longStart = longStart;
        }
        longName.clear();
        out.push_back(std::move(w));
    }
    return out;
}

}  // namespace

std::optional<Fat32Files::Entry> Fat32Files::find(const std::string& name) {
    std::vector<std::uint32_t> clusters;
    const auto dir = rootBytes(clusters);
    for (const Walked& w : walk(dir)) {
        const std::uint8_t* e = &dir[w.at];
        if (upper(w.name) == upper(name) || shortNameText(e) == upper(name))
            return Entry{w.name, (e[11] & kAttrDirectory) != 0,
                         (std::uint32_t{le16(e + 20)} << 16) | le16(e + 26), le32(e + 28)};
    }
    return std::nullopt;
}

std::optional<std::vector<std::uint8_t>> Fat32Files::readFile(const std::string& name) {
    const auto entry = find(name);
    if (!entry || entry->directory) return std::nullopt;
    std::vector<std::uint8_t> out;
    const std::size_t clusterBytes = std::size_t{m_bytesPerSector} * m_sectorsPerCluster;
    std::vector<std::uint8_t> cluster(clusterBytes);
    for (const std::uint32_t c : chain(entry->firstCluster)) {
        if (out.size() >= entry->size) break;
        m_io.read(clusterOffset(c), cluster);
        const std::size_t n = std::min<std::size_t>(clusterBytes, entry->size - out.size());
        out.insert(out.end(), cluster.begin(), cluster.begin() + static_cast<std::ptrdiff_t>(n));
    }
    if (out.size() != entry->size) return std::nullopt;
    return out;
}

bool Fat32Files::addEntry(const std::string& name, bool directory, std::uint32_t first, std::uint32_t size,
                          std::uint32_t& error) {
    if (name.empty() || name.size() > 255 || name.find_first_of("\\/:*?\"<>|") != std::string::npos) {
        error = kBadName;
        return false;
    }
    std::string shortName;
    const auto exact = exactShortName(name);
    if (exact) {
        shortName = *exact;
    } else {
        // A short alias NAME~N.EXT of the long name's letters and digits.
        const auto dot = name.rfind('.');
        std::string base, ext;
        for (const char c : upper(name.substr(0, dot)))
            if (shortNameChar(c) && base.size() < 6) base += c;
        if (dot != std::string::npos)
            for (const char c : upper(name.substr(dot + 1)))
                if (shortNameChar(c) && ext.size() < 3) ext += c;
        if (base.empty()) base = "FILE";
        for (int n = 1; n < 10; ++n) {
            const std::string candidate = base + "~" + std::to_string(n);
            if (!find(ext.empty() ? candidate : candidate + "." + ext)) {
                shortName = candidate + std::string(8 - candidate.size(), ' ') + ext +
                            std::string(3 - ext.size(), ' ');
                break;
            }
        }
        if (shortName.empty()) {
            error = kBadName;
            return false;
        }
    }
    std::vector<std::array<std::uint8_t, 32>> entries;
    const std::uint8_t sum = checksum(reinterpret_cast<const std::uint8_t*>(shortName.data()));
    if (!exact) {
        const std::size_t parts = (name.size() + 12) / 13;
        for (std::size_t p = parts; p-- > 0;) {
            std::array<std::uint8_t, 32> e{};
            e[0] = static_cast<std::uint8_t>((p + 1) | (p + 1 == parts ? 0x40 : 0));
            e[11] = kAttrLongName;
            e[13] = sum;
            for (std::size_t k = 0; k < 13; ++k) {
                const std::size_t i = p * 13 + k;
                const std::uint16_t u = i < name.size()    ? static_cast<std::uint8_t>(name[i])
                                        : i == name.size() ? 0
                                                           : 0xFFFF;
                put16(&e[kLongNameOffsets[k]], u);
            }
            entries.push_back(e);
        }
    }
    std::array<std::uint8_t, 32> e{};
    std::memcpy(e.data(), shortName.data(), 11);
    e[11] = directory ? kAttrDirectory : 0x20;
    put16(&e[14], m_time);
    put16(&e[16], m_date);
    put16(&e[18], m_date);
    put16(&e[20], first >> 16);
    put16(&e[22], m_time);
    put16(&e[24], m_date);
    put16(&e[26], first & 0xFFFF);
    put32(&e[28], size);
    entries.push_back(e);

    std::vector<std::uint32_t> clusters;
    auto dir = rootBytes(clusters);
    const std::size_t needed = entries.size();
    std::size_t run = 0, start = 0;
    for (std::size_t at = 0; at + 32 <= dir.size(); at += 32) {
        if (dir[at] == 0 || dir[at] == 0xE5) {
            if (run++ == 0) start = at;
            if (run == needed) break;
        } else {
            run = 0;
        }
    }
    if (run < needed) {
        // The root folder grows by a cluster, zeroed, chained after its last.
        const auto more = allocate(1);
        if (!more) {
            error = kDiskFull;
            return false;
        }
        setFatEntry(clusters.back(), more->front());
        const std::size_t clusterBytes = std::size_t{m_bytesPerSector} * m_sectorsPerCluster;
        if (run == 0) start = dir.size();
        dir.resize(dir.size() + clusterBytes, 0);
        clusters.push_back(more->front());
    }
    for (std::size_t i = 0; i < needed; ++i) std::memcpy(&dir[start + 32 * i], entries[i].data(), 32);
    writeRoot(dir, clusters);
    return true;
}

std::optional<Fat32Files::Entry> Fat32Files::dropEntry(const std::string& name) {
    const auto entry = find(name);
    if (!entry) return std::nullopt;
    std::vector<std::uint32_t> clusters;
    auto dir = rootBytes(clusters);
    for (const Walked& w : walk(dir)) {
        if (upper(w.name) != upper(name) && shortNameText(&dir[w.at]) != upper(name)) continue;
        // The entry and the long-name entries before it.
        for (std::size_t at = w.longStart; at <= w.at; at += 32) dir[at] = 0xE5;
        writeRoot(dir, clusters);
        return entry;
    }
    return std::nullopt;
}

bool Fat32Files::writeFile(const std::string& name, std::span<const std::uint8_t> bytes,
                           std::uint32_t& error) {
    if (const auto old = find(name)) {
        if (old->directory) {
            error = err::kAccessDenied;
            return false;
        }
        if (!remove(name, false, error)) return false;
    }
    const std::size_t clusterBytes = std::size_t{m_bytesPerSector} * m_sectorsPerCluster;
    const auto count = static_cast<std::uint32_t>((bytes.size() + clusterBytes - 1) / clusterBytes);
    std::vector<std::uint32_t> clusters;
    if (count > 0) {
        const auto got = allocate(count);
        if (!got) {
            error = kDiskFull;
            return false;
        }
        clusters = *got;
    }
    std::vector<std::uint8_t> cluster(clusterBytes);
    for (std::size_t i = 0; i < clusters.size(); ++i) {
        std::fill(cluster.begin(), cluster.end(), 0);
        const std::size_t n = std::min(clusterBytes, bytes.size() - i * clusterBytes);
        std::memcpy(cluster.data(), bytes.data() + i * clusterBytes, n);
        m_io.write(clusterOffset(clusters[i]), cluster);
    }
    if (!addEntry(name, false, clusters.empty() ? 0 : clusters.front(),
                  static_cast<std::uint32_t>(bytes.size()), error)) {
        if (!clusters.empty()) freeChain(clusters.front());
        return false;
    }
    return true;
}

bool Fat32Files::remove(const std::string& name, bool directory, std::uint32_t& error) {
    const auto entry = find(name);
    if (!entry) {
        error = err::kFileNotFound;
        return false;
    }
    if (entry->directory != directory) {
        error = directory ? 267u /* not a folder */ : err::kAccessDenied;
        return false;
    }
    if (directory) {
        const std::size_t clusterBytes = std::size_t{m_bytesPerSector} * m_sectorsPerCluster;
        std::vector<std::uint8_t> cluster(clusterBytes);
        for (const std::uint32_t c : chain(entry->firstCluster)) {
            m_io.read(clusterOffset(c), cluster);
            for (std::size_t at = 0; at + 32 <= cluster.size() && cluster[at] != 0; at += 32)
                if (cluster[at] != 0xE5 && cluster[at] != '.') {
                    error = kDirNotEmpty;
                    return false;
                }
        }
    }
    dropEntry(name);
    if (entry->firstCluster >= 2) freeChain(entry->firstCluster);
    return true;
}

bool Fat32Files::createDirectory(const std::string& name, std::uint32_t& error) {
    if (find(name)) {
        error = 183;  // already exists
        return false;
    }
    const auto got = allocate(1);
    if (!got) {
        error = kDiskFull;
        return false;
    }
    const std::uint32_t self = got->front();
    std::vector<std::uint8_t> cluster(
        std::max<std::size_t>(64, std::size_t{m_bytesPerSector} * m_sectorsPerCluster), 0);
    for (int k = 0; k < 2; ++k) {
        std::uint8_t* e = &cluster[32 * static_cast<std::size_t>(k)];
        std::fill_n(e, 11, std::uint8_t{' '});
        e[0] = '.';
        if (k == 1) e[1] = '.';
        e[11] = kAttrDirectory;
        put16(e + 22, m_time);
        put16(e + 24, m_date);
        const std::uint32_t target = k == 0 ? self : 0;  // ".." of a folder in the root names cluster 0
        put16(e + 20, target >> 16);
        put16(e + 26, target & 0xFFFF);
    }
    m_io.write(clusterOffset(self), cluster);
    if (!addEntry(name, true, self, 0, error)) {
        freeChain(self);
        return false;
    }
    return true;
}

}  // namespace bench
