#include "fwupdate/image_checks.h"

#include <cinttypes>

#include "common/log/debug_log.h"
#include "common/records/exchange_records.h"
#include "fwupdate/image_name.h"
#include "fwupdate/working_files.h"
#include "platform/platform.h"

namespace quib::fwupdate {

std::optional<std::vector<std::uint8_t>> readImageFile(const char* kFn, const std::string& path,
                                                       std::uint64_t maxBytes) {
    platform::FileSystem& files = platform::get().files;
    // The size comes first: nothing is read of a file that is not a regular file or too large.
    const auto size = path.empty() ? std::nullopt : files.fileSize(path);
    if (!size) {
        const std::uint32_t error = path.empty() ? platform::kErrorPathNotFound : platform::lastError();
        LogError("%s:%d: image file [%s] is missing or not a regular file, dwErrorCode %d", kFn, __LINE__,
                 path.c_str(), static_cast<int>(error));
        platform::setLastError(error);
        return std::nullopt;
    }
    if (*size > maxBytes) {
        LogError("%s:%d: image file [%s] holds %" PRIu64 " bytes: more than the %" PRIu64
                 " bytes the bridge's firmware area takes",
                 kFn, __LINE__, path.c_str(), *size, maxBytes);
        platform::setLastError(platform::kErrorFileTooLarge);
        return std::nullopt;
    }
    auto bytes = readWholeFile(path);
    if (bytes && bytes->size() > maxBytes) {  // grew since it was measured
        platform::setLastError(platform::kErrorFileTooLarge);
        return std::nullopt;
    }
    return bytes;
}

std::optional<int> refuseUnverifiableImage(const char* kFn, const ExchangeData& exchange,
                                           std::uint8_t ucTargetNumber) {
    if (!exchange.ucEnableReLinkAfterFWUpgrade) return std::nullopt;
    const std::string strFwPath(records::readText(exchange.cFwPath));
    if (!expectedRunningVersion(strFwPath).empty()) return std::nullopt;
    LogError(
        "%s:%d: Dev[%d] image name [%s] carries no firmware version (twelve hexadecimal digits): the bridge "
        "could not be proven to run it after the restart; nothing done",
        kFn, __LINE__, ucTargetNumber, fileNameOf(strFwPath).c_str());
    return QUIB_INVALID_PARAMETER;
}

}  // namespace quib::fwupdate
