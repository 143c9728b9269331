#include "tools/quibdiag/file_io.h"

#include <fstream>
#include <iterator>

#include "tools/quibdiag/diag_error.h"

namespace quibdiag {

namespace fs = std::filesystem;

std::vector<std::uint8_t> readInputFile(const std::string& option, const fs::path& path,
                                        std::uintmax_t limit) {
    std::error_code error;
    const auto status = fs::status(path, error);
    if (error || !fs::exists(status))
        throw DiagError(ExitCode::FileError, option + ": cannot read " + path.string() + ": no such file");
    if (!fs::is_regular_file(status))
        throw DiagError(ExitCode::FileError, option + ": " + path.string() + " is not a regular file");
    const auto size = fs::file_size(path, error);
    if (error) throw DiagError(ExitCode::FileError, option + ": cannot read " + path.string());
    if (size > limit)
        throw DiagError(ExitCode::Usage, option + ": " + path.string() + " is " + std::to_string(size) +
                                             " bytes, more than the " + std::to_string(limit) + " allowed");
    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof())
        throw DiagError(ExitCode::FileError, option + ": cannot read " + path.string());
    if (bytes.size() != size)
        throw DiagError(ExitCode::FileError, option + ": " + path.string() + " changed while it was read");
    return bytes;
}

std::vector<std::uint8_t> readExactFile(const std::string& option, const fs::path& path,
                                        std::uintmax_t size) {
    auto bytes = readInputFile(option, path, size);
    if (bytes.size() != size)
        throw DiagError(ExitCode::Usage, option + ": " + path.string() + " is " +
                                             std::to_string(bytes.size()) + " bytes; exactly " +
                                             std::to_string(size) + " are needed");
    return bytes;
}

void writeOutputFile(const fs::path& path, ByteView data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    out.close();
    if (!out) throw DiagError(ExitCode::FileError, "cannot write " + path.string());
}

}  // namespace quibdiag
