#include "tools/quibdiag/read_capacity.h"

#include <vector>

#include "include/quibusb.h"

namespace quibdiag {
namespace {

std::uint64_t readBe(ByteView data, std::size_t offset, std::size_t bytes) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < bytes; ++i) value = value << 8 | byteAt(data, offset + i);
    return value;
}

}  // namespace

std::array<std::uint8_t, 16> readCapacityCdb() {
    std::array<std::uint8_t, 16> cdb{};
    cdb[0] = 0x9E;
    cdb[1] = 0x10;
    cdb[13] = kReadCapacityLength;
    return cdb;
}

Capacity decodeReadCapacity(ByteView data) {
    return {readBe(data, 0, 8), static_cast<std::uint32_t>(readBe(data, 8, 4))};
}

std::optional<Capacity> readCapacity(std::uint8_t libraryIndex, int& result) {
    const auto cdb = readCapacityCdb();
    std::vector<std::uint8_t> answer(kReadCapacityLength);
    result = QuibUSBLib_VENDOR_CMD(libraryIndex, 0, cdb[0], cdb[1], cdb[2], cdb.data() + 3, answer.data(),
                                   static_cast<std::uint32_t>(answer.size()));
    if (result != QUIB_SUCCESS) return std::nullopt;
    return decodeReadCapacity(answer);
}

}  // namespace quibdiag
