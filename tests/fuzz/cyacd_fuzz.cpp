// Fuzzes the .cyacd parser: whatever the text, a parse either succeeds with every row inside its record
// and the table's limit, or is refused with the line it stopped at and why.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "pdupdate/image_tables.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quib::pdupdate;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (const std::size_t rowSize : {kCypressRowSize, kCypressCcg4RowSize}) {
        CypressImage image;
        ParseFault fault;
        if (parseCyacd(text, rowSize, image, fault) == 0) {
            if (image.rows.empty() || image.rows.size() > kMaxCypressRows) __builtin_trap();
            for (std::size_t i = 1; i < image.rows.size(); ++i) {
                const CypressRow& row = image.rows[i];
                if (row.data.size() != rowSize || row.dwDataLen > rowSize) __builtin_trap();
                if (i > 1 && row.wRowNum <= image.rows[i - 1].wRowNum) __builtin_trap();
            }
        } else if (fault.what.empty()) {
            __builtin_trap();
        }
    }
    return 0;
}
