// The intermediate files of an update: the programming stream and the configuration ROM file.
#include <exception>

#include "common/log/debug_log.h"
#include "devcore/device/quib_usb_dev.h"
#include "devcore/frame/library_objects.h"
#include "fwupdate/image_checks.h"
#include "fwupdate/image_name.h"
#include "fwupdate/programming_stream.h"
#include "fwupdate/working_files.h"
#include "platform/platform.h"

using namespace quib;
using namespace quib::fwupdate;

namespace {

// Chip type of the first listed device: it decides the header of a stream longer than 64 KiB.
std::string firstDeviceChipType() {
    const devcore::USBDevList* list = devcore::libraryObjects().devList();
    return list != nullptr ? list->Devs[0].m_strChipType : std::string();
}

}  // namespace

bool CQuibUSBDev::vCreateTempBinDataFile(std::string strFWPath, std::uint8_t ucType) {
    constexpr auto kFn = "CQuibUSBDev::vCreateTempBinDataFile";
    try {
        platform::FileSystem& files = platform::get().files;
        const std::string strTempBinDataFilePath =
            clearTempFile(kFn, kTempBinDataFileName,
                          "%s:%d: vCreateTempBinDataFile: No strTempBinDataFilePath[%s] to Delete  ");
        if (!files.writeFile(strTempBinDataFilePath, {})) {
            LogError("%s:%d: vCreateTempBinDataFile: CreateFile[%s] Fail , dwErrorCode %d", kFn, __LINE__,
                     strTempBinDataFilePath.c_str(), platform::lastErrorCode());
            return false;
        }

        const auto image = readImageFile(kFn, m_strFWBinFilePath, kMaxPlainImageSize);
        if (!image) {
            LogError("%s:%d: vCreateTempBinDataFile: FW[%s] cannot be read , dwErrorCode %d", kFn, __LINE__,
                     m_strFWBinFilePath.c_str(), platform::lastErrorCode());
            LogError("%s:%d: vCreateTempBinDataFile: FW[%s] ReadFileSize != FWFileSize ", kFn, __LINE__,
                     m_strFWBinFilePath.c_str());
            return false;
        }
        if (image->empty()) {
            LogError("%s:%d: vCreateTempBinDataFile: FW[%s] is empty", kFn, __LINE__,
                     m_strFWBinFilePath.c_str());
            return false;
        }

        const char cDigit = streamRevisionDigit(fileNameOf(strFWPath), ucType);
        const auto signature = streamSignature(cDigit, ucType, m_strDevChipType);
        if (!signature)
            LogError("%s:%d: strGetFWFileCSignature[%c] ERROR", kFn, __LINE__, cDigit ? cDigit : '?');
        const auto stream = buildStream(*image, signature.value_or(0x00), firstDeviceChipType());
        if (!files.writeFile(strTempBinDataFilePath, stream)) {
            LogError("%s:%d: vCreateTempBinDataFile: WriteFile[%s] Fail , dwErrorCode %d", kFn, __LINE__,
                     strTempBinDataFilePath.c_str(), platform::lastErrorCode());
            return false;
        }
        return signature.has_value();
    } catch (...) {
        LogError("%s:%d:  catch{}!!!!!, m_strFWBinFilePath : %s , dwErrorCode %d", kFn, __LINE__,
                 m_strFWBinFilePath.c_str(), platform::lastErrorCode());
        return false;
    }
}

bool CQuibUSBDev::vCreateConfigRomFile(std::string strFWPath, std::uint8_t ucType) {
    constexpr auto kFn = "CQuibUSBDev::vCreateConfigRomFile";
    platform::FileSystem& files = platform::get().files;
    const std::string strName = configRomFileName(fileNameOf(strFWPath));
    const std::string strConfigRomFilePath =
        clearTempFile(kFn, strName, "%s:%d: vCreateConfigRomFile: No strConfigRomFilePath[%s] to Delete  ");
    if (!files.writeFile(strConfigRomFilePath, {})) {
        LogError("%s:%d: vCreateConfigRomFile: CreateFile[%s] Fail , dwErrorCode %d", kFn, __LINE__,
                 strConfigRomFilePath.c_str(), platform::lastErrorCode());
        return false;
    }

    const std::string strTempBinDataFilePath = tempFilePath(kTempBinDataFileName);
    if (!vCreateTempBinDataFile(strFWPath, ucType)) {
        LogError("%s:%d: vCreateTempBinDataFile Fail , strTempBinDataFilePath[%s] ", kFn, __LINE__,
                 strTempBinDataFilePath.c_str());
        return false;
    }
    const auto stream = readWholeFile(strTempBinDataFilePath);
    if (!stream) {
        LogError("%s:%d: vCreateConfigRomFile: ReadFile[%s] Fail , dwErrorCode %d", kFn, __LINE__,
                 strTempBinDataFilePath.c_str(), platform::lastErrorCode());
        return false;
    }
    std::vector<std::uint8_t> rom(m_ucConfigBuffer.begin(), m_ucConfigBuffer.end());
    rom.insert(rom.end(), stream->begin(), stream->end());
    if (!files.writeFile(strConfigRomFilePath, rom)) {
        LogError("%s:%d: vCreateConfigRomFile: WriteFile[%s] Fail , dwErrorCode %d", kFn, __LINE__,
                 strConfigRomFilePath.c_str(), platform::lastErrorCode());
        return false;
    }
    return true;
}
