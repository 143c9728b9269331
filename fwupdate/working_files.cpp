#include "fwupdate/working_files.h"

#include "common/log/debug_log.h"
#include "devcore/frame/library_objects.h"
#include "devcore/frame/working_folder.h"
#include "platform/platform.h"

namespace quib::fwupdate {

std::string tempFolder() {
    return devcore::tempFolderOf(devcore::theUtility().m_strWorkingFolder);
}

std::string tempFilePath(std::string_view fileName) {
    return tempFolder() + platform::get().files.separator() + std::string(fileName);
}

bool createTempFolder() {
    platform::FileSystem& files = platform::get().files;
    if (files.createDirectory(tempFolder())) return true;
    const std::uint32_t error = platform::lastError();
    LogError(
        "%s:%d: [%s] cannot be made a folder of ours (a link, a file, or no rights), dwErrorCode %d: "
        "nothing is written there",
        "CQuibUSBDev::vCreateTempFolder", __LINE__, tempFolder().c_str(), static_cast<int>(error));
    platform::setLastError(error);
    return false;
}

bool deleteTempFile(std::string_view fileName) {
    platform::FileSystem& files = platform::get().files;
    // Through a link in place of the folder a delete would reach another folder's file of that name.
    if (files.isLink(tempFolder())) return false;
    const std::string path = tempFilePath(fileName);
    if (!files.exists(path) || files.isDirectory(path)) return false;
    files.clearReadOnly(path);
    return files.deleteFile(path);
}

std::string clearTempFile(const char* kFn, std::string_view fileName, const char* noOldCopyFormat) {
    if (!createTempFolder()) return {};
    const std::string path = tempFilePath(fileName);
    if (!deleteTempFile(fileName)) LogMessage(noOldCopyFormat, kFn, __LINE__, path.c_str());
    return path;
}

std::optional<std::vector<std::uint8_t>> readWholeFile(const std::string& path) {
    platform::FileSystem& files = platform::get().files;
    if (path.empty()) {
        platform::setLastError(platform::kErrorPathNotFound);
        return std::nullopt;
    }
    if (files.isDirectory(path)) {
        platform::setLastError(platform::kErrorAccessDenied);  // as opening a folder for reading answers
        return std::nullopt;
    }
    return files.readFile(path);
}

}  // namespace quib::fwupdate
