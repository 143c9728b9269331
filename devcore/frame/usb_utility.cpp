#include "devcore/frame/usb_utility.h"

#include <cctype>

#include "common/log/debug_log.h"
#include "devcore/frame/working_folder.h"
#include "platform/backends.h"
#include "platform/platform.h"

using namespace quib;

void CUSBUtility::vDEBUG_Initial_printf() {
    try {
        m_llPerformanceFrequency = platform::get().clock.performanceFrequency();
        m_strWorkingFolder = devcore::programFolder();
    } catch (...) {
        LogError("%s:%d: dwErrorCode:%d", "vDEBUG_Initial_printf", __LINE__, platform::lastErrorCode());
    }
}

CUSBUtility::~CUSBUtility() {
    m_strWorkingFolder.clear();
}

bool CUSBUtility::vCheckFilePathExists(const std::string& strFilePath) {
    platform::FileSystem& files = platform::get().files;
    const bool bExists = files.exists(strFilePath);
    if (bExists && files.isReadWrite(strFilePath)) return true;
    LogError("%s:%d: vCheckFilePathExists: Not Read/Write , strFilePath : %s , err : %d , dwErrorCode %d",
             "CUSBUtility::vCheckFilePathExists", __LINE__, strFilePath.c_str(), bExists ? 0 : -1,
             platform::lastErrorCode());
    return false;
}

bool CUSBUtility::vReadFile(const std::string& strFilePath, std::vector<std::uint8_t>& buffer) {
    auto bytes = platform::get().files.readFile(strFilePath);
    if (!bytes) {
        LogError("%s:%d: ReadFile[%s] Fail , dwErrorCode %d", "CUSBUtility::vReadFile", __LINE__,
                 strFilePath.c_str(), platform::lastErrorCode());
        return false;
    }
    buffer = std::move(*bytes);
    return true;
}

bool CUSBUtility::vWriteFile(const std::string& strFilePath, std::span<const std::uint8_t> buffer) {
    if (platform::get().files.writeFile(strFilePath, buffer)) return true;
    LogError("%s:%d: WriteFile[%s] Fail , dwErrorCode %d", "CUSBUtility::vWriteFile", __LINE__,
             strFilePath.c_str(), platform::lastErrorCode());
    return false;
}

std::uint32_t CUSBUtility::vCharToHex(std::string_view text) {
    std::uint32_t value = 0;
    for (const char raw : text) {
        const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(raw)));
        std::uint32_t digit = 0;
        if (c >= '0' && c <= '9')
            digit = static_cast<std::uint32_t>(c - '0');
        else if (c >= 'A' && c <= 'F')
            digit = static_cast<std::uint32_t>(c - 'A' + 10);
        value = value * 16 + digit;
    }
    return value;
}

std::string CUSBUtility::WideStrToMultiStr(std::wstring_view text) {
    return platform::wideToUtf8(text);
}

int CUSBUtility::vMessageBox(const std::string& strText, std::uint32_t dwExtraStyle, int iKind) {
    const char* strTitle = "";
    std::uint32_t dwIcon = 0;
    switch (iKind) {
        case kError:
            strTitle = "Error";
            dwIcon = platform::kMbIconError;
            break;
        case kTimeOut:
            strTitle = "TimeOut";
            dwIcon = platform::kMbIconError;
            break;
        case kWarning:
            strTitle = "Warning";
            dwIcon = platform::kMbIconExclamation;
            break;
        case kInformation:
            strTitle = "Information";
            dwIcon = platform::kMbIconInformation;
            break;
        case kQuestion:
            strTitle = "Question";
            dwIcon = platform::kMbIconQuestion;
            break;
        default:
            break;
    }
    return platform::get().ui.messageBox(strText, strTitle, dwIcon | dwExtraStyle);
}

std::uint8_t CUSBUtility::ucGetNextFreeDriveLetter() {
    try {
        bool taken[26] = {};
        platform::Volumes& volumes = platform::get().volumes;
        for (char c = 'A'; c <= 'Z'; ++c) {
            const std::uint32_t type = volumes.driveType(std::string(1, c) + ":\\");
            taken[c - 'A'] = type == platform::kDriveRemovable || type == platform::kDriveFixed ||
                             type == platform::kDriveRemote || type == platform::kDriveCdrom ||
                             type == platform::kDriveRamDisk;
        }
        for (char c = 'E'; c <= 'Z'; ++c)
            if (!taken[c - 'A']) return static_cast<std::uint8_t>(c);
    } catch (...) {
        LogError("%s:%d: catch(...): dwErrorCode %d", "CUSBUtility::ucGetNextFreeDriveLetter", __LINE__,
                 platform::lastErrorCode());
    }
    return kNoFreeDriveLetter;
}

std::string CUSBUtility::strDiskPartSetupInfoPath(std::uint8_t ucPhysicalAddress) const {
    return m_strWorkingFolder + platform::get().files.separator() + "DiskPartTarget" +
           std::to_string(ucPhysicalAddress) + ".sc";
}

bool CUSBUtility::vDelDiskPartSetupInfo(std::uint8_t ucPhysicalAddress) {
    const std::string path = strDiskPartSetupInfoPath(ucPhysicalAddress);
    if (platform::get().files.deleteFile(path)) return true;
    LogError("%s:%d: vDelDiskPartSetupInfo: DeleteFile[%s] Fail , dwErrorCode %d",
             "CUSBUtility::vDelDiskPartSetupInfo", __LINE__, path.c_str(), platform::lastErrorCode());
    return false;
}

std::uint16_t CUSBUtility::wGetProcessorType() {
    return static_cast<std::uint16_t>(platform::get().volumes.processorArchitecture());
}

std::uint8_t CUSBUtility::GetDiskRegisterCount(const std::string& strKeyPath, const std::string& strKeyName) {
    platform::Registry& registry = platform::get().registry;
    if (!registry.keyExists(strKeyPath)) {
        LogError("%s:%d: RegOpenKeyEx RootKey Fail , strKeyPath[%s] strKeyName[%s] Fail, ErrorCode:%d",
                 "CUSBUtility::GetDiskRegisterCount", __LINE__, strKeyPath.c_str(), strKeyName.c_str(),
                 platform::lastErrorCode());
        return 0;
    }
    const auto value = registry.readValue(strKeyPath, strKeyName);
    if (!value || value->data.empty()) return 0;
    return value->data.front();
}
