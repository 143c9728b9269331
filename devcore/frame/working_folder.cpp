#include "devcore/frame/working_folder.h"

#include <algorithm>
#include <set>

#include "common/log/debug_log.h"
#include "platform/platform.h"

namespace quib::devcore {

std::string programFolder() {
    platform::Platform& os = platform::get();
    const std::string strPath = os.module.executablePath();
    const std::size_t cut = strPath.rfind(os.files.separator());
    return cut == std::string::npos ? std::string() : strPath.substr(0, cut);
}

std::string tempFolderOf(const std::string& strWorkingFolder) {
    return strWorkingFolder + platform::get().files.separator() + kTempFolderName;
}

bool removeFolderTree(const std::string& strFolder) {
    constexpr auto kFn = "CQuibUSBDev::vDeleteDirectory";
    platform::FileSystem& files = platform::get().files;
    // A link in place of the folder is removed itself: what it points to is not ours.
    if (files.isLink(strFolder)) {
        LogWarning("%s:%d: [%s] is a link, not a folder of ours: only the link is removed", kFn, __LINE__,
                   strFolder.c_str());
        return files.deleteFile(strFolder);
    }
    if (!files.isDirectory(strFolder)) return true;
    const std::string strPrefix = strFolder + files.separator();

    bool bAll = true;
    const auto folders = files.findFolders(strFolder);
    const std::set<std::string> folderNames(folders.begin(), folders.end());
    for (const auto& name : folders) {
        if (name == "." || name == "..") continue;
        bAll = removeFolderTree(strPrefix + name) && bAll;
    }
    for (const auto& name : files.findFiles(strFolder, "*")) {
        if (name == "." || name == ".." || folderNames.count(name)) continue;
        const std::string strFile = strPrefix + name;
        files.clearReadOnly(strFile);
        if (!files.deleteFile(strFile)) {
            LogError("%s:%d: DeleteFile[%s] Fail , dwErrorCode %d", kFn, __LINE__, strFile.c_str(),
                     platform::lastErrorCode());
            bAll = false;
        }
    }
    if (!files.removeDirectory(strFolder)) {
        LogError("%s:%d: RemoveDirectory[%s] Fail , dwErrorCode %d", kFn, __LINE__, strFolder.c_str(),
                 platform::lastErrorCode());
        return false;
    }
    return bAll;
}

}  // namespace quib::devcore
