#include "frontend/resources/packaged_files.h"

#include <cstdint>
#include <vector>

#include "platform/platform.h"

// Blobs placed in the executable by packaged_files.S.
extern "C" {
extern const std::uint8_t quib_res_136_begin[], quib_res_136_end[];
extern const std::uint8_t quib_res_137_begin[], quib_res_137_end[];
extern const std::uint8_t quib_res_138_begin[], quib_res_138_end[];
extern const std::uint8_t quib_res_139_begin[], quib_res_139_end[];
}

namespace quib::frontend {
namespace {
platform::PackagedResource blob(int id, const std::uint8_t* begin, const std::uint8_t* end) {
    return {kResourceType, id, {begin, static_cast<std::size_t>(end - begin)}};
}
}  // namespace

void registerPackagedFiles() {
    platform::registerPackagedResources({
        blob(kResourceLibrary, quib_res_136_begin, quib_res_136_end),
        blob(kResourceFirmwareImage, quib_res_137_begin, quib_res_137_end),
        blob(kResourceSettings, quib_res_138_begin, quib_res_138_end),
        blob(kResourceFirmwareList, quib_res_139_begin, quib_res_139_end),
    });
}

}  // namespace quib::frontend
