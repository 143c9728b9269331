#include "tools/quibdiag/wide_counter.h"

#include <algorithm>

namespace quibdiag {

WideCounter WideCounter::product(std::uint64_t a, std::uint32_t b) {
    // Two 32-bit halves of a, each times b, fit in 64 bits.
    const std::uint64_t lowPart = (a & 0xFFFFFFFFu) * b;
    const std::uint64_t highPart = (a >> 32) * b;
    WideCounter r;
    r.low = lowPart + (highPart << 32);
    r.high = (highPart >> 32) + (r.low < lowPart ? 1 : 0);
    return r;
}

std::string WideCounter::decimal() const {
    // Long division by 10 over four 32-bit digits.
    std::uint32_t parts[4] = {static_cast<std::uint32_t>(high >> 32), static_cast<std::uint32_t>(high),
                              static_cast<std::uint32_t>(low >> 32), static_cast<std::uint32_t>(low)};
    std::string digits;
    do {
        std::uint64_t remainder = 0;
        for (std::uint32_t& part : parts) {
            const std::uint64_t current = (remainder << 32) | part;
            part = static_cast<std::uint32_t>(current / 10);
            remainder = current % 10;
        }
        digits += static_cast<char>('0' + remainder);
    } while (parts[0] | parts[1] | parts[2] | parts[3]);
    std::reverse(digits.begin(), digits.end());
    return digits;
}

}  // namespace quibdiag
