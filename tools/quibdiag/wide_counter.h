// 128-bit counters of NVMe data (capacities, the health log's counts), kept as two 64-bit halves so that
// every target (also 32-bit Windows) handles them the same way.
#pragma once

#include <cstdint>
#include <string>

namespace quibdiag {

struct WideCounter {
    std::uint64_t low = 0, high = 0;

    static WideCounter product(std::uint64_t a, std::uint32_t b);
    bool fitsIn64() const { return high == 0; }
    std::string decimal() const;
    bool operator==(const WideCounter&) const = default;
};

}  // namespace quibdiag
