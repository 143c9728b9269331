// Text helpers of the device code: trimming, case, hex formatting, USB string descriptors.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace quib::devcore {

// Without leading and trailing blanks, tabs, line ends and NULs.
std::string trimText(std::string_view text);
std::string toUpper(std::string_view text);
bool equalsIgnoreCase(std::string_view a, std::string_view b);
// "%4.4x": four lower-case hex digits.
std::string hex4(std::uint16_t value);
// The text of a string descriptor (bLength, bDescriptorType, UTF-16LE), in the narrow code page.
std::string textOfStringDescriptor(std::span<const std::uint8_t> descriptor);

}  // namespace quib::devcore
