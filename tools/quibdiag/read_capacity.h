// READ CAPACITY(16), sent through the library's vendor pass-through: the capacity and sector size the
// bridge reports for its drive. A drive that is switched off (or absent) does not answer it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "tools/quibdiag/bytes.h"

namespace quibdiag {

inline constexpr std::size_t kReadCapacityLength = 32;

struct Capacity {
    std::uint64_t lastLba = 0;
    std::uint32_t sectorSize = 0;
    std::uint64_t sectors() const { return lastLba + 1; }
};

// The 16 CDB bytes: SERVICE ACTION IN(16), READ CAPACITY(16), allocation length 32.
std::array<std::uint8_t, 16> readCapacityCdb();
// Decodes the big-endian answer.
Capacity decodeReadCapacity(ByteView data);
// Asks the bridge at the library's list index; nullopt with the library's result when it did not answer.
std::optional<Capacity> readCapacity(std::uint8_t libraryIndex, int& result);

}  // namespace quibdiag
