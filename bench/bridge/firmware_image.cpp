#include "bench/bridge/firmware_image.h"

#include <algorithm>
#include <cstring>

#include "bench/bench_error.h"
#include "bench/hex_text.h"

namespace bench {
namespace {

constexpr std::size_t kShortHeaderLimit = 65536;
constexpr std::size_t kTrailerLength = 6;  // signature, checksum, four zero bytes

std::uint8_t byteSum(std::span<const std::uint8_t> bytes) {
    std::uint32_t sum = 0;
    for (std::uint8_t b : bytes) sum += b;
    return static_cast<std::uint8_t>(sum);
}

std::optional<BootableImage> checkImageAt(std::span<const std::uint8_t> stream, std::size_t offset,
                                          std::size_t length) {
    if (offset + length + 2 > stream.size()) return std::nullopt;
    const std::uint8_t signature = stream[offset + length];
    const std::uint8_t checksum = stream[offset + length + 1];
    if (!isValidSignature(signature)) return std::nullopt;
    if (byteSum(stream.subspan(offset, length)) != checksum) return std::nullopt;
    return BootableImage{offset, length, signature};
}

}  // namespace

std::optional<VersionBytes> parseVersion(std::string_view version12hex) {
    if (version12hex.size() != 12) return std::nullopt;
    VersionBytes out{};
    for (std::size_t i = 0; i < out.size(); ++i) {
        const auto byte = parseHexNumber(version12hex.substr(i * 2, 2));
        if (!byte || version12hex[i * 2] == 'x' || version12hex[i * 2 + 1] == 'x') return std::nullopt;
        out[i] = static_cast<std::uint8_t>(*byte);
    }
    return out;
}

std::string formatVersion(const VersionBytes& bytes) {
    return toUpper(hexBytes(bytes));
}

std::vector<std::uint8_t> makeImage(std::string_view version12hex, std::size_t size) {
    const auto version = parseVersion(version12hex);
    if (!version)
        throw BenchError("image version \"" + std::string(version12hex) + "\" is not twelve hex digits");
    if (size < kMinimumImageSize)
        throw BenchError("image size " + std::to_string(size) + " is below " +
                         std::to_string(kMinimumImageSize));

    // xorshift seeded from the version: deterministic, different per version.
    std::uint64_t state = 0x9E3779B97F4A7C15ull;
    for (std::uint8_t b : *version) state = (state ^ b) * 0x100000001B3ull;
    std::vector<std::uint8_t> image(size);
    for (auto& b : image) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        b = static_cast<std::uint8_t>(state >> 24);
    }
    const std::size_t at = size >= kVersionTagOffset + kMinimumImageSize ? kVersionTagOffset : 0;
    std::memcpy(image.data() + at, kVersionTag, kVersionTagLength);
    std::copy(version->begin(), version->end(),
              image.begin() + static_cast<std::ptrdiff_t>(at + kVersionTagLength));
    return image;
}

std::optional<VersionBytes> versionBytesOfImage(std::span<const std::uint8_t> image) {
    const auto* tag = reinterpret_cast<const std::uint8_t*>(kVersionTag);
    const auto it = std::search(image.begin(), image.end(), tag, tag + kVersionTagLength);
    if (it == image.end() || static_cast<std::size_t>(image.end() - it) < kMinimumImageSize)
        return std::nullopt;
    VersionBytes out{};
    std::copy_n(it + kVersionTagLength, 6, out.begin());
    return out;
}

std::optional<std::string> versionOfImage(std::span<const std::uint8_t> image) {
    const auto bytes = versionBytesOfImage(image);
    if (!bytes) return std::nullopt;
    return formatVersion(*bytes);
}

std::uint8_t signatureForRevisionDigit(char digit) {
    static constexpr std::uint8_t kByLowBits[8] = {0x5A, 0x4B, 0x3C, 0x2D, 0x00, 0x1E, 0x0F, 0x69};
    const auto value = parseHexNumber(std::string_view(&digit, 1)).value_or(0);
    return kByLowBits[value & 7];
}

bool isValidSignature(std::uint8_t signature) {
    switch (signature) {
        case 0x5A:
        case 0x4B:
        case 0x3C:
        case 0x2D:
        case 0x1E:
        case 0x0F:
        case 0x69:
            return true;
        default:
            return false;
    }
}

std::vector<std::uint8_t> buildStream(std::span<const std::uint8_t> image, std::uint8_t signature,
                                      bool longHeader) {
    std::vector<std::uint8_t> stream;
    stream.reserve(image.size() + 12);
    const std::size_t n = image.size();
    if (n <= kShortHeaderLimit) {
        stream.push_back(static_cast<std::uint8_t>(n));
        stream.push_back(static_cast<std::uint8_t>(n >> 8));
    } else if (longHeader) {
        stream.push_back(0x4C);
        stream.push_back(0x17);
        for (int shift = 24; shift >= 0; shift -= 8) stream.push_back(static_cast<std::uint8_t>(n >> shift));
    }
    stream.insert(stream.end(), image.begin(), image.end());
    stream.push_back(signature);
    stream.push_back(byteSum(image));
    for (int i = 0; i < 4; ++i) stream.push_back(0);
    return stream;
}

std::optional<BootableImage> findBootableImage(std::span<const std::uint8_t> stream) {
    if (stream.size() >= 6 && stream[0] == 0x4C && stream[1] == 0x17) {
        const std::size_t n = (std::size_t{stream[2]} << 24) | (std::size_t{stream[3]} << 16) |
                              (std::size_t{stream[4]} << 8) | stream[5];
        if (n > kShortHeaderLimit)
            if (auto found = checkImageAt(stream, 6, n)) return found;
    }
    if (stream.size() >= 2) {
        std::size_t n = stream[0] | (std::size_t{stream[1]} << 8);
        if (n == 0) n = kShortHeaderLimit;
        if (auto found = checkImageAt(stream, 2, n)) return found;
    }
    // Without a header the image runs to the trailer; erased flash (0xFF) after the stream does not count.
    std::size_t end = stream.size();
    while (end > 0 && stream[end - 1] == 0xFF) --end;
    if (end > kShortHeaderLimit + kTrailerLength)
        if (auto found = checkImageAt(stream.first(end), 0, end - kTrailerLength)) return found;
    return std::nullopt;
}

}  // namespace bench
