// Whole files in and out. Inputs are read completely and their size checked before anything goes to a
// device; a folder, a missing file or one above the limit is refused.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/quibdiag/bytes.h"

namespace quibdiag {

// Throws DiagError (exit code 4 when the file cannot be read, 2 when its size is refused). `limit` keeps a
// stray large file from being loaded whole.
std::vector<std::uint8_t> readInputFile(const std::string& option, const std::filesystem::path& path,
                                        std::uintmax_t limit);
// Requires exactly `size` bytes.
std::vector<std::uint8_t> readExactFile(const std::string& option, const std::filesystem::path& path,
                                        std::uintmax_t size);
// Writes (or replaces) a file; throws DiagError with exit code 4 on failure.
void writeOutputFile(const std::filesystem::path& path, ByteView data);

}  // namespace quibdiag
