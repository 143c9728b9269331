// Sparse files: where a file holds data, and giving back the room of zeros written into it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <utility>
#include <vector>

namespace bench {

// The data extents of a file between byte offsets `from` and `to`, as (offset, bytes), clipped to the
// range. Where the system cannot tell holes from data, the whole range.
std::vector<std::pair<std::uint64_t, std::uint64_t>> dataExtents(const std::filesystem::path& path,
                                                                 std::uint64_t from, std::uint64_t to);

// Makes a range of the file a hole (it reads as zeros and takes no room); false where the system cannot.
bool punchHole(const std::filesystem::path& path, std::uint64_t offset, std::uint64_t length);

}  // namespace bench
