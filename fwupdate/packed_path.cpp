// Programming a packed image ("-VS-"): a stream prepared outside the library, for chip type "E", written
// into both banks with the piecewise firmware command.
#include "common/log/debug_log.h"
#include "common/records/exchange_records.h"
#include "devcore/device/text_helpers.h"
#include "devcore/frame/library_objects.h"
#include "fwupdate/image_checks.h"
#include "fwupdate/image_name.h"
#include "fwupdate/programming_stream.h"
#include "fwupdate/relink.h"
#include "fwupdate/update_context.h"
#include "fwupdate/update_paths.h"
#include "fwupdate/working_files.h"
#include "platform/platform.h"

namespace quib::fwupdate {

int vUpdateFW_WPacked_740QS(const ExchangeData& exchange, std::uint8_t ucTargetNumber) {
    constexpr auto kFn = "vUpdateFW_WPacked_740QS";
    CQuibUSBDev& dev = devcore::theDevice();
    devcore::USBDevEntry* entry = listEntry(dev, ucTargetNumber);
    if (entry == nullptr) return QUIB_INVALID_PARAMETER;
    const std::string strFwPath(records::readText(exchange.cFwPath));
    const std::string strFileName = fileNameOf(strFwPath);
    fwType() = std::string(1, 'E');
    if (!devcore::equalsIgnoreCase(entry->m_strChipType, "E") || entry->m_ucChipPackage == 0xFF) {
        LogError("%s:%d: ChipPackage mismatch.", kFn, __LINE__);
        return QUIB_IMAGE_MISMATCH;
    }
    const std::uint8_t ucDiskCount = diskRegisterCount();
    const int iCheck = customizedCheck(ucTargetNumber, exchange);
    if (iCheck != 0) {
        LogError("%s:%d: ucTargetNumber[%d], QuibUSBLib_Function_vCustomizedCheck failed", kFn, __LINE__,
                 ucTargetNumber);
        return iCheck;
    }
    if (strFwPath.empty()) {
        LogError("%s:%d: Can't Find Firmware file2. Path :[%s]", kFn, __LINE__, strFwPath.c_str());
        return QUIB_FILE_NOT_FOUND;
    }
    dev.m_strFWBinFilePath = strFwPath;
    dev.m_ucConfigBuffer.fill(0xFF);

    // The image is read before the bridge is touched: a missing file leaves it as it was.
    platform::FileSystem& files = platform::get().files;
    if (!files.exists(strFwPath) || files.isDirectory(strFwPath)) {
        LogError("%s:%d: Dev[%d]  create file [%s] fail", kFn, __LINE__, ucTargetNumber, strFwPath.c_str());
        return QUIB_FILE_NOT_FOUND;
    }
    const auto image = readImageFile(kFn, strFwPath, kMaxPackedImageSize);
    if (!image || image->empty()) {
        LogError("%s:%d: Dev[%d]  ReadFile[%s] fail", kFn, __LINE__, ucTargetNumber, strFwPath.c_str());
        return QUIB_FILE_NOT_FOUND;
    }
    if (const auto refused = refuseUnverifiableImage(kFn, exchange, ucTargetNumber)) return *refused;
    // A read moves at most 64 KiB: a longer stream could be written but never verified, and both banks
    // would be left cleared and rewritten for a certain failure.
    const bool bVerify = bVerifyFor(*entry);
    if (bVerify && image->size() + devcore::kConfigBinSize > records::kMaxScsiLen) {
        LogError(
            "%s:%d: Dev[%d] packed image [%s] of %u bytes cannot be read back (at most %u); nothing done",
            kFn, __LINE__, ucTargetNumber, strFwPath.c_str(), static_cast<unsigned>(image->size()),
            static_cast<unsigned>(records::kMaxScsiLen - devcore::kConfigBinSize));
        LogError("%s:%d: Can not Update Firmware !", kFn, __LINE__);
        return QUIB_FAIL;
    }

    // The working stream is written before the bridge is touched, so that a failure here leaves it as it was.
    const std::string strTempBinDataFilePath =
        clearTempFile(kFn, kTempBinDataFileName,
                      "%s:%d: vCreateTempBinDataFile: No strTempBinDataFilePath[%s] to Delete  ");
    if (strTempBinDataFilePath.empty() || !files.writeFile(strTempBinDataFilePath, *image)) {
        LogError("%s:%d: Can not Update Configuration Table !", kFn, __LINE__);
        return QUIB_FAIL;
    }

    if (exchange.ucEnableRelinkToRomCode && !bRelinkToRomCode(ucTargetNumber, ucDiskCount)) {
        LogError("%s:%d: Dev[%d] bRelinkToRomCode fail", kFn, __LINE__, ucTargetNumber);
        return QUIB_RELOAD_FAIL;
    }
    if (!dev.bWrRdConfiguration(ucTargetNumber, 1, dev.m_ucConfigBuffer.data(), 0)) {
        LogError("%s:%d: Dev[%d]  bWrRdConfiguration[0]fail", kFn, __LINE__, ucTargetNumber);
        return QUIB_FAIL;
    }
    if (!dev.bWrRdConfiguration(ucTargetNumber, 1, dev.m_ucConfigBuffer.data(), 1)) {
        LogError("%s:%d: Dev[%d]  bWrRdConfiguration[1] fail", kFn, __LINE__, ucTargetNumber);
        return QUIB_FAIL;
    }

    if (!dev.vUpdateWPackedFirmware(ucTargetNumber, 0, bVerify) ||
        !dev.vUpdateWPackedFirmware(ucTargetNumber, 1, bVerify)) {
        LogError("%s:%d: Can not Update Firmware !", kFn, __LINE__);
        return QUIB_FAIL;
    }
    return QUIB_SUCCESS;
}

}  // namespace quib::fwupdate
