// What the device ports share: handles as the seam carries them, control requests through the call
// table with the last error carried over, and wide text read from buffers Windows filled.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "platform/platform.h"
#include "platform/win32/win32_device_calls.h"

namespace quib::platform::win32 {

inline HANDLE toHandle(DeviceHandle handle) {
    return reinterpret_cast<HANDLE>(handle);
}
inline DeviceHandle fromHandle(HANDLE handle) {
    return reinterpret_cast<DeviceHandle>(handle);
}

// The table's last error becomes the seam's; returns it.
std::uint32_t carryLastError();

template <typename T>
std::optional<T> failWith(std::uint32_t error) {
    setLastError(error);
    return std::nullopt;
}

// DeviceIoControl through the table. On failure the seam's last error is set and false returned;
// `returned` then holds what the call reported (some failures still fill part of the output).
bool ioControl(DeviceHandle device, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize,
               DWORD& returned);

// UTF-16 text of a buffer Windows filled: up to the first terminator, never past the span.
std::string wideText(std::span<const std::uint8_t> bytes);
std::string wideText(std::span<const wchar_t> chars);
// ASCII text of a buffer at `offset`, up to the first terminator or the end of the span; empty for 0.
std::string asciiAt(std::span<const std::uint8_t> bytes, std::uint32_t offset);

// A status the caller can grow its buffer on and ask again.
inline bool wantsMoreRoom(std::uint32_t error) {
    return error == ERROR_INSUFFICIENT_BUFFER || error == ERROR_MORE_DATA;
}

// Buffers never grow past this (a name, a descriptor, a property, a list of extents).
inline constexpr std::uint32_t kLargestAnswer = 1u << 20;
// Asks at most this often while the answer keeps growing.
inline constexpr int kGrowthAttempts = 4;

}  // namespace quib::platform::win32
