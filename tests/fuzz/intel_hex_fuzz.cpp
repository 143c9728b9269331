// Fuzzes the Intel HEX parser and the flattened MCU image: a parse either succeeds with every data record
// inside the 48 KiB image, or is refused with the line it stopped at and why.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "pdupdate/image_tables.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quib::pdupdate;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    McuImage mcu;
    ParseFault fault;
    if (parseIntelHex(text, mcu, fault) == 0) {
        if (mcu.records.size() > kMaxMcuRecords) __builtin_trap();
        const FlatMcuImage flat = flattenMcuImage(mcu);
        if (flat.end > kMcuImageSize || flat.bytes.size() != kMcuImageSize) __builtin_trap();
    } else if (fault.what.empty()) {
        __builtin_trap();
    }
    return 0;
}
