#include "bench/bridge/image_files.h"

#include <algorithm>

#include "bench/bench_error.h"
#include "bench/bridge/firmware_image.h"

namespace bench {

std::array<std::uint8_t, 128> makeConfigRecordBlock(const ConfigIdentity& identity, std::uint8_t textPad) {
    std::array<std::uint8_t, 128> block;
    block.fill(0xFF);
    auto put = [&](std::size_t at, std::size_t width, const std::string& text, std::uint8_t pad) {
        for (std::size_t i = 0; i < width; ++i)
            block[at + i] = i < text.size() ? static_cast<std::uint8_t>(text[i]) : pad;
    };
    put(4, 20, identity.serial, 0xFF);
    put(24, 44, identity.manufacturer, textPad);
    put(68, 48, identity.product, textPad);
    auto put16 = [&](std::size_t at, std::uint16_t v) {
        block[at] = static_cast<std::uint8_t>(v);
        block[at + 1] = static_cast<std::uint8_t>(v >> 8);
    };
    put16(116, identity.vid);
    put16(118, identity.pid);
    put16(120, identity.release);
    block[126] = 0x5A;
    std::uint32_t sum = 0;
    for (std::size_t i = 4; i <= 126; ++i) sum += block[i];
    block[127] = static_cast<std::uint8_t>(sum);
    return block;
}

std::vector<std::uint8_t> makeStreamOfVersion(const std::string& version12hex, std::size_t imageSize,
                                              bool longHeader) {
    if (version12hex.size() != 12) throw BenchError("\"" + version12hex + "\" is no twelve-digit version");
    const std::uint8_t signature = signatureForRevisionDigit(version12hex[6]);
    if (!isValidSignature(signature))
        throw BenchError("version " + version12hex + ": revision digit " + version12hex[6] +
                         " has no signature");
    return buildStream(makeImage(version12hex, imageSize), signature, longHeader);
}

std::vector<std::uint8_t> makeConfigRom(const std::string& version12hex, std::size_t imageSize,
                                        const ConfigIdentity& identity, bool longHeader) {
    const auto block = makeConfigRecordBlock(identity);
    std::vector<std::uint8_t> rom(block.begin(), block.end());
    const auto stream = makeStreamOfVersion(version12hex, imageSize, longHeader);
    rom.insert(rom.end(), stream.begin(), stream.end());
    return rom;
}

}  // namespace bench
