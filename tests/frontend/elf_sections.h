// Section names and contents of a 64-bit little-endian ELF file held in memory, for checking what ships.
#pragma once

#include <cstdint>
#include <cstring>
#include <map>
#include <span>
#include <string>
#include <vector>

namespace quib::frontend::testing {

// Section name -> bytes; empty when the bytes are no 64-bit little-endian ELF file.
inline std::map<std::string, std::vector<std::uint8_t>> elfSections(std::span<const std::uint8_t> elf) {
    auto read = [&](std::size_t at, std::size_t width) -> std::uint64_t {
        std::uint64_t v = 0;
        if (at + width > elf.size()) return 0;
        for (std::size_t i = 0; i < width; ++i) v |= std::uint64_t{elf[at + i]} << (8 * i);
        return v;
    };
    std::map<std::string, std::vector<std::uint8_t>> out;
    if (elf.size() < 64 ||
        std::memcmp(elf.data(),
                    "\x7F"
                    "ELF",
                    4) != 0 ||
        elf[4] != 2 || elf[5] != 1)
        return out;
    const std::uint64_t table = read(0x28, 8);
    const std::uint64_t entrySize = read(0x3A, 2), count = read(0x3C, 2), namesIndex = read(0x3E, 2);
    if (entrySize < 64 || table + count * entrySize > elf.size() || namesIndex >= count) return out;
    auto header = [&](std::uint64_t i) { return table + i * entrySize; };
    const std::uint64_t names = read(header(namesIndex) + 0x18, 8);
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::uint64_t h = header(i);
        const std::uint64_t nameAt = names + read(h, 4);
        if (nameAt >= elf.size()) continue;
        std::string name;
        for (std::size_t p = nameAt; p < elf.size() && elf[p]; ++p) name += static_cast<char>(elf[p]);
        const std::uint64_t type = read(h + 4, 4), offset = read(h + 0x18, 8), size = read(h + 0x20, 8);
        std::vector<std::uint8_t> bytes;
        if (type != 8 /* SHT_NOBITS */ && offset + size <= elf.size())
            bytes.assign(elf.begin() + static_cast<std::ptrdiff_t>(offset),
                         elf.begin() + static_cast<std::ptrdiff_t>(offset + size));
        out[name] = std::move(bytes);
    }
    return out;
}

}  // namespace quib::frontend::testing
