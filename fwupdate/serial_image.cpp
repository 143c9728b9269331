// The serial-number image: a configuration ROM file built from a plain image and a serial-number record.
#include <string>

#include "common/log/debug_log.h"
#include "devcore/frame/library_objects.h"
#include "fwupdate/identity_update.h"
#include "fwupdate/image_name.h"
#include "fwupdate/update_context.h"
#include "platform/platform.h"

namespace quib::fwupdate {

int buildBinFile(const char* pFwPath, const SerialNumberRecord* pRecord) {
    constexpr auto kFn = "QuibUSBLib_Function_BuildBinFile";
    const std::string strBinFilePath = pFwPath != nullptr ? std::string(pFwPath) : std::string();
    if (strBinFilePath.empty() || pRecord == nullptr) {
        LogError("%s:%d: strBinFilePath.IsEmpty :[%s]", kFn, __LINE__, strBinFilePath.c_str());
        return QUIB_INVALID_PARAMETER;
    }
    platform::FileSystem& files = platform::get().files;
    std::string strFullPath = strBinFilePath;
    if (!files.isFullPath(strBinFilePath)) {
        strFullPath = devcore::theUtility().m_strWorkingFolder + files.separator() + strBinFilePath;
        if (!files.exists(strFullPath)) {
            LogError("%s:%d: no file [%s] in the working folder", kFn, __LINE__, strFullPath.c_str());
            return QUIB_FILE_NOT_FOUND;
        }
        LogMessage("%s:%d: append Full Path[]%s ", kFn, __LINE__, strFullPath.c_str());
    }
    CQuibUSBDev& dev = devcore::theDevice();
    dev.m_strFWBinFilePath = strFullPath;

    const std::string strFileName = fileNameOf(strFullPath);
    if (strFileName.find(kMarkerConfigRom) != std::string::npos ||
        strFileName.find(kMarkerPacked) != std::string::npos) {
        LogError("%s:%d: [%s] is no plain image", kFn, __LINE__, strFileName.c_str());
        return QUIB_INVALID_PARAMETER;
    }
    const ImageNameFields name = decodeImageName(strFullPath, false);
    fwType() = name.chipType();

    dev.m_ucConfigBuffer = configBlockOfRecord(*pRecord);
    if (!dev.vCreateConfigRomFile(strFullPath, name.bPCIe ? 1 : 0)) {
        LogError("%s:%d: Dev[0] vCreateConfigRomFile %s fail", kFn, __LINE__, strFullPath.c_str());
        return QUIB_BUILD_FILE_FAIL;
    }
    return QUIB_SUCCESS;
}

}  // namespace quib::fwupdate
