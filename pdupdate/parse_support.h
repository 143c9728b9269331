// What both image parsers use: hex fields of a line, converted as the library converts hex text, and the
// refusal that records where a parse stopped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "devcore/frame/usb_utility.h"
#include "pdupdate/image_tables.h"

namespace quib::pdupdate {

inline std::uint32_t hexAt(std::string_view line, std::size_t pos, std::size_t chars) {
    return CUSBUtility::vCharToHex(line.substr(pos, chars));
}

// -10, with the line and the fault recorded.
inline int refuse(ParseFault& fault, std::size_t line, std::string what) {
    fault.line = line;
    fault.what = std::move(what);
    return -10;
}

}  // namespace quib::pdupdate
