// PNG encoding of a picture: 8-bit RGB, the image data in stored (uncompressed) deflate blocks. Larger
// than it could be, but needs no compressor and is read by every PNG reader.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "tools/uiprobe/window_capture.h"

namespace quib::uiprobe {

std::vector<std::uint8_t> encodePng(const Picture& picture);
bool writeFile(const std::string& path, std::span<const std::uint8_t> bytes);

// The checksums PNG and zlib use (exposed for their tests).
std::uint32_t crc32(std::span<const std::uint8_t> bytes, std::uint32_t crc = 0);
std::uint32_t adler32(std::span<const std::uint8_t> bytes);

}  // namespace quib::uiprobe
