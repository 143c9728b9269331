// The serial-number request record the program hands to the library, filled from the command line's
// serial number and the first device of the list.
#pragma once

#include <optional>
#include <string>

#include "include/quibusb.h"

namespace quib::frontend {

inline constexpr std::size_t kSerialNumberField = 20;

// Why a serial number cannot be carried; none when it can (it may still be longer than its field).
std::optional<std::wstring> serialNumberFault(std::wstring_view serial);

// Every byte 0xFF, then the serial number (at most 20 characters, no terminator), the first 44 and 48
// bytes of device 0's manufacturer and product texts, and its vendor id, product id and release read as
// hexadecimal numbers.
SerialNumberRecord buildSerialNumberRecord(std::wstring_view serial, const USBDevListExp& list);

// "Config_" + the image name with every "bin" replaced by "rom".
std::wstring serialImageName(std::wstring_view imageName);

}  // namespace quib::frontend
