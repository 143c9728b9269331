// The packaged files: written into the tool folder at start, removed again at every end of a run.
#include <span>

#include "common/log/debug_log.h"
#include "frontend/dlg_log_names.h"
#include "frontend/fwupg_dlg.h"
#include "frontend/packaged_file_names.h"
#include "frontend/text_helpers.h"
#include "platform/platform.h"

using namespace quib::frontend;
using quib::platform::get;

namespace {

std::optional<std::span<const std::uint8_t>> findPackaged(int id, const char* fn, int line) {
    auto resource = get().module.findResource(kPackagedResourceType, id);
    if (!resource) LogError(L"%s:%d: FindResource fail: %d", fn, line, quib::platform::lastErrorCode());
    return resource;
}

std::string asText(std::span<const std::uint8_t> bytes) {
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace

bool CKRV610xFWUpgDlg::vExtractResourceFiles() {
    const char* const kFn = logname::kExtractResourceFiles;
    vRemoveExtractedFiles();

    auto writePackaged = [&](std::span<const std::uint8_t> bytes, std::wstring_view name) {
        const std::wstring path = strInToolFolder(name);
        // A file that cannot be written makes the step that needs it fail later.
        if (!get().files.writeFile(toNarrow(path), bytes))
            LogError(L"%s:%d: cannot write %ls, error %d", kFn, __LINE__, path.c_str(),
                     quib::platform::lastErrorCode());
    };

    auto library = findPackaged(kResourceLibrary, kFn, __LINE__);
    if (!library) return false;
    writePackaged(*library, kLibraryFileName);

    auto settings = findPackaged(kResourceSettings, kFn, __LINE__);
    if (!settings) return false;
    writePackaged(*settings, kSettingsFileName);

    auto list = findPackaged(kResourceFirmwareList, kFn, __LINE__);
    if (!list) return false;
    const std::wstring listText = toWide(asText(*list));
    LogMessage(L"%s:%d:  !!! m_strFWBinFile: %ls, lpFwName: %ls, dwLen: %d", kFn, __LINE__,
               m_strFWBinFile.c_str(), listText.c_str(), static_cast<int>(list->size()));
    m_strFWBinFile = packagedImageName(asText(*list));
    LogMessage(L"%s:%d:  !!! m_strFWBinFile: %ls, lpFwName: %ls ", kFn, __LINE__, m_strFWBinFile.c_str(),
               listText.c_str());
    if (m_strFWBinFile.empty()) {
        LogError(L"%s:%d: the firmware list names no image file", kFn, __LINE__);
        return false;
    }

    auto image = findPackaged(kResourceFirmwareImage, kFn, __LINE__);
    if (!image) return false;
    writePackaged(*image, m_strFWBinFile);
    vArmInterruptCleanup();
    return true;
}

void CKRV610xFWUpgDlg::vArmInterruptCleanup() {
    std::vector<std::string> files = {toNarrow(strInToolFolder(kLibraryFileName)),
                                      toNarrow(strInToolFolder(kSettingsFileName))};
    auto list = get().module.findResource(kPackagedResourceType, kResourceFirmwareList);
    if (list) {
        const std::wstring packagedImage = packagedImageName(asText(*list));
        if (!packagedImage.empty()) files.push_back(toNarrow(strInToolFolder(packagedImage)));
    }
    if (!m_strSerialImagePath.empty()) files.push_back(toNarrow(m_strSerialImagePath));
    const std::vector<std::string> folders = {toNarrow(strInToolFolder(kLibraryTempFolderName))};
    // A silent run ends with -1; a dialog-mode run dies of the signal, as it would have.
    get().process.setInterruptCleanup(files, folders,
                                      m_bSilentMode ? std::optional<int>(QUIB_FAIL) : std::nullopt);
}

bool CKRV610xFWUpgDlg::vRemoveExtractedFiles() {
    const char* const kFn = logname::kRemoveExtractedFiles;
    vUnloadQuibUSBLib();
    vDeleteFromToolFolder(kLibraryFileName);
    vDeleteFromToolFolder(kSettingsFileName);

    auto list = findPackaged(kResourceFirmwareList, kFn, __LINE__);
    if (!list) return false;
    const std::wstring listText = toWide(asText(*list));
    const std::wstring packagedImage = packagedImageName(asText(*list));
    LogMessage(L"%s:%d:  !!! strLine: %ls, lpFwName: %ls, dwLen: %d", kFn, __LINE__, packagedImage.c_str(),
               listText.c_str(), static_cast<int>(list->size()));
    if (!packagedImage.empty()) vDeleteFromToolFolder(packagedImage);

    // Of the firmware files only the serial-number image is the program's own copy: a user's file ("/U:" or
    // found in the folder) is never deleted.
    if (!m_strSerialImagePath.empty()) {
        const std::string path = toNarrow(m_strSerialImagePath);
        if (get().files.exists(path) && !get().files.isDirectory(path)) get().files.deleteFile(path);
        m_strSerialImagePath.clear();
    }
    get().process.setInterruptCleanup({}, {}, m_bSilentMode ? std::optional<int>(QUIB_FAIL) : std::nullopt);
    return true;
}

std::wstring CKRV610xFWUpgDlg::vSearchKRV610xFirmware(std::wstring_view pattern) {
    const char* const kFn = logname::kSearchFirmware;
    LogMessage(L"%s:%d: m_szCurDir: [%ls]", kFn, __LINE__, m_szCurDir.c_str());
    const auto hits = get().files.findFiles(toNarrow(m_szCurDir), toNarrow(pattern));
    if (hits.empty()) return {};
    const std::wstring name = toWide(hits.front());
    LogMessage(L"%s:%d:  GetFileName: [%ls]", kFn, __LINE__, name.c_str());
    return name;
}

// A configuration ROM file is preferred to a plain image.
std::wstring CKRV610xFWUpgDlg::strSearchFirmwareFile() {
    std::wstring name = vSearchKRV610xFirmware(L"*.rom");
    if (name.empty()) name = vSearchKRV610xFirmware(L"*.bin");
    return name;
}

void CKRV610xFWUpgDlg::vUseFirmwareFile(const std::wstring& strFileName) {
    m_strFWBinFile = strFileName;
    m_strFWPath = strInToolFolder(strFileName);
    if (!storePath(pExchangeData->cFwPath, m_strFWPath))
        LogError(L"%s:%d: firmware path too long: %ls", logname::kOnInitDialog, __LINE__,
                 m_strFWPath.c_str());
}

// A directory search for the exact name: wildcards in a user's file name match nothing.
bool CKRV610xFWUpgDlg::bFileInToolFolder(std::wstring_view name) {
    if (name.empty()) return false;
    const std::string narrow = toNarrow(name);
    for (const std::string& hit : get().files.findFiles(toNarrow(m_szCurDir), narrow))
        if (hit == narrow) return true;
    return false;
}

void CKRV610xFWUpgDlg::vDeleteFromToolFolder(std::wstring_view name) {
    if (bFileInToolFolder(name)) get().files.deleteFile(toNarrow(strInToolFolder(name)));
}
