// What an image must be before any command reaches a bridge: a regular file that fits the firmware area,
// and, when the update ends with a restart, a name that says which version the bridge must then run.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "include/quibusb.h"

namespace quib::fwupdate {

// Each firmware bank of the family's bridges.
inline constexpr std::uint64_t kFirmwareAreaSize = 512 * 1024;
// The bytes a stream adds to a plain image at most: a six-byte length header, signature, checksum and the
// four-byte tail.
inline constexpr std::uint64_t kStreamOverhead = 12;
// The largest files that can become a stream that fits the area.
inline constexpr std::uint64_t kMaxPlainImageSize = kFirmwareAreaSize - kStreamOverhead;
inline constexpr std::uint64_t kMaxPackedImageSize = kFirmwareAreaSize;
inline constexpr std::uint64_t kMaxConfigRomSize = 128 + kFirmwareAreaSize;

// A whole regular file of at most `maxBytes`; none when it is missing, not a regular file (a folder, a
// FIFO, a device), larger (system error 223, the file is then not read) or unreadable. A refusal is logged
// under `kFn`, naming the file.
std::optional<std::vector<std::uint8_t>> readImageFile(const char* kFn, const std::string& path,
                                                       std::uint64_t maxBytes);

// With a restart after the update, success means that the bridge runs the image's own version: an image
// whose name carries none could never succeed and is refused with -10 (logged under `kFn`).
std::optional<int> refuseUnverifiableImage(const char* kFn, const ExchangeData& exchange,
                                           std::uint8_t ucTargetNumber);

}  // namespace quib::fwupdate
