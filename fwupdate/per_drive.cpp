#include "fwupdate/per_drive.h"

#include <algorithm>
#include <vector>

#include "common/log/debug_log.h"
#include "devcore/device/text_helpers.h"
#include "devcore/discovery/register_decoding.h"
#include "devcore/frame/library_objects.h"
#include "devcore/frame/working_folder.h"
#include "devcore/transport/device_path.h"
#include "fwupdate/image_name.h"
#include "fwupdate/programming_stream.h"
#include "fwupdate/update_context.h"
#include "fwupdate/working_files.h"
#include "platform/platform.h"

namespace quib::fwupdate {
namespace {

constexpr int kWriteAttempts = 10;
constexpr int kReadBackPasses = 10;
constexpr std::uint32_t kRetryPauseMs = 500;
constexpr std::uint32_t kAfterResetMs = 200;
constexpr std::size_t kSerialOffset = 4;
constexpr std::size_t kSerialLength = 20;
constexpr std::size_t kVersionLength = 6;

int lastErrorCode() {
    return static_cast<int>(platform::lastError());
}

std::string drivePath(std::uint8_t ucPhyAddrNumber) {
    return devcore::makeDevicePath(false, ucPhyAddrNumber);
}

// Whether an open drive is a "7120" bridge (INQUIRY answered with that chip number).
bool isSataBridge(platform::DeviceHandle hDev) {
    std::uint8_t inquiry[CQuibUSBDev::kInquiryLength];
    if (devcore::theDevice().SCSI7120_Inquiry(inquiry, hDev) != 0) return false;
    return devcore::equalsIgnoreCase(CQuibUSBDev::strChipNumber(inquiry), devcore::kChipNumber7120);
}

// Removes the working files of a per-drive update, and the sub-folder.
void removeWorkingFiles() {
    devcore::removeFolderTree(tempFolder());
}

}  // namespace

int getSNfromPhyAddrNumber(std::uint8_t ucPhyAddrNumber, std::uint8_t* pSerial) {
    constexpr auto kFn = "QuibUSBLib_Function_iGetSNfromPhyAddrNumber";
    if (pSerial == nullptr) return QUIB_INVALID_PARAMETER;
    devcore::ScopedDevice dev(drivePath(ucPhyAddrNumber), platform::kAccessRead | platform::kAccessWrite);
    if (!dev.valid() || !isSataBridge(dev.get())) return QUIB_FAIL;
    std::uint8_t block[kConfigBinSize] = {};
    if (devcore::theDevice().SCSI7120_AccessConfigEEPROM(dev.get(), 0, block, 0) != 0) {
        LogError("%s:%d: ucPhyAddrNumber:%d ,dwErrorCode %d", kFn, __LINE__, ucPhyAddrNumber,
                 lastErrorCode());
        return QUIB_DEVICE_NOT_FOUND;
    }
    std::copy_n(block + kSerialOffset, kSerialLength, pSerial);
    return QUIB_SUCCESS;
}

int getFWfromPhyAddrNumber(std::uint8_t ucPhyAddrNumber, std::uint8_t* pVersion) {
    constexpr auto kFn = "QuibUSBLib_Function_iGetFWfromPhyAddrNumber";
    if (pVersion == nullptr) return QUIB_INVALID_PARAMETER;
    devcore::ScopedDevice dev(drivePath(ucPhyAddrNumber), platform::kAccessRead | platform::kAccessWrite);
    if (!dev.valid() || !isSataBridge(dev.get())) return QUIB_FAIL;
    std::uint8_t version[7] = {};
    if (devcore::theDevice().SCSI7120_AccessRegister(dev.get(), version, 0, devcore::kRegFirmwareVersion,
                                                     sizeof version) != 0) {
        LogError("%s:%d: ucPhyAddrNumber:%d ,dwErrorCode %d", kFn, __LINE__, ucPhyAddrNumber,
                 lastErrorCode());
        return QUIB_DEVICE_NOT_FOUND;
    }
    std::copy_n(version, kVersionLength, pVersion);
    return QUIB_SUCCESS;
}

int cpuRstFromPhyAddrNumber(std::uint8_t ucPhyAddrNumber) {
    devcore::ScopedDevice dev(drivePath(ucPhyAddrNumber), platform::kAccessRead | platform::kAccessWrite);
    if (!dev.valid()) return QUIB_FAIL;
    return devcore::theDevice().SCSI7120_CPURST(dev.get(), 0) == 0 ? QUIB_SUCCESS : QUIB_FAIL;
}

int updateFWfromPhyAddrNumber(std::uint8_t ucPhyAddrNumber, const std::string& strFwPath, std::uint8_t ucBank,
                              bool bVerify) {
    constexpr auto kFn = "QuibUSBLib_Function_iUpdateFWfromPhyAddrNumber";
    CQuibUSBDev& chip = devcore::theDevice();
    const ImageNameFields name = decodeImageName(strFwPath, false);
    fwType() = name.chipType();

    int iStatus = QUIB_FAIL;
    try {
        devcore::ScopedDevice dev(drivePath(ucPhyAddrNumber), platform::kAccessRead | platform::kAccessWrite);
        if (!dev.valid()) {
            LogError("%s:%d: CreateFile Fail , dwErrorCode %d", kFn, __LINE__, lastErrorCode());
            removeWorkingFiles();
            return QUIB_FAIL;
        }
        ConfigBlock block{};
        if (chip.SCSI7120_AccessConfigEEPROM(dev.get(), 0, block.data(), 0) != 0) {
            platform::get().ui.debugOutput("\nread config 0 fail\n");
            LogError("%s:%d: Dev[%d] read config eeprom fail", kFn, __LINE__, ucPhyAddrNumber);
            return QUIB_FAIL;
        }
        chip.m_ucConfigBuffer = block;
        chip.m_strFWBinFilePath = strFwPath;
        if (!chip.vCreateConfigRomFile(strFwPath, name.bPCIe ? 1 : 0)) {
            LogError("%s:%d: Dev[%d] vCreateConfigRomFile %s fail", kFn, __LINE__, ucPhyAddrNumber,
                     strFwPath.c_str());
            return QUIB_BUILD_FILE_FAIL;
        }
        if (chip.SCSI7120_AccessConfigEEPROM(dev.get(), 1, block.data(), 0) != 0) {
            LogError("%s:%d: Dev[%d] read config eeprom fail", kFn, __LINE__, ucPhyAddrNumber);
            return QUIB_FAIL;
        }

        auto stream = readWholeFile(tempFilePath(kTempBinDataFileName)).value_or(std::vector<std::uint8_t>{});
        const auto length = static_cast<std::uint32_t>(stream.size());
        for (int attempt = 0; attempt < kWriteAttempts; ++attempt) {
            iStatus = chip.SCSI7120_AccessFirmwareEEPROM_Direct(length, dev.get(), 1, stream.data(), ucBank);
            if (iStatus == 0) break;
            platform::get().clock.sleepMs(kRetryPauseMs);
            LogError(
                "%s:%d: vUpdateFirmware: SCSI7120_AccessFirmwareEEPROM Fail Retry[%d], iResult %d "
                "dwErrorCode %d",
                kFn, __LINE__, attempt, iStatus, lastErrorCode());
        }
        if (bVerify) {
            bool bMatched = true;
            for (int pass = 0; pass < kReadBackPasses; ++pass) {
                platform::get().clock.sleepMs(kRetryPauseMs);
                std::vector<std::uint8_t> readBack(length + kConfigBinSize, 0);
                iStatus = chip.SCSI7120_AccessFirmwareEEPROM_Direct(length + kConfigBinSize, dev.get(), 0,
                                                                    readBack.data(), ucBank);
                if (!std::equal(stream.begin(), stream.end(), readBack.begin() + kConfigBinSize)) {
                    bMatched = false;
                    LogError("%s:%d: MEMCMP failed , iResult %d dwErrorCode %d, Retry %d ", kFn, __LINE__,
                             iStatus, lastErrorCode(), pass);
                }
                LogMessage(
                    "%s:%d: vCheckFirmware: SCSI7120_AccessFirmwareEEPROM , iResult %d dwErrorCode %d, Retry "
                    "%d ",
                    kFn, __LINE__, iStatus, lastErrorCode(), pass);
                if (bMatched) break;
            }
            // A read-back that differs is a failed update, whatever the read commands answered.
            if (!bMatched) iStatus = QUIB_FAIL;
        }
    } catch (...) {
        LogError("%s:%d: catch(...) , dwErrorCode %d", kFn, __LINE__, lastErrorCode());
        iStatus = QUIB_FAIL;
    }
    removeWorkingFiles();
    return iStatus;
}

int accessFirmwareEEPROM(std::uint8_t ucTargetNumber, std::uint8_t ucReadWrite, std::uint8_t* pBuffer,
                         std::uint32_t dwLength, std::uint8_t ucBank) {
    const devcore::USBDevEntry* entry = listEntry(devcore::theDevice(), ucTargetNumber);
    if (entry == nullptr) return QUIB_INVALID_PARAMETER;
    devcore::ScopedDevice dev(devicePathOf(*entry), platform::kAccessRead | platform::kAccessWrite);
    if (!dev.valid()) return QUIB_FAIL;
    return devcore::theDevice().SCSI7120_AccessFirmwareEEPROM_Direct(dwLength, dev.get(), ucReadWrite,
                                                                     pBuffer, ucBank);
}

int k610xCpuRst(std::uint8_t ucTargetNumber) {
    const devcore::USBDevEntry* entry = listEntry(devcore::theDevice(), ucTargetNumber);
    if (entry == nullptr) return QUIB_INVALID_PARAMETER;
    devcore::ScopedDevice dev(devcore::makeDevicePath(false, entry->m_ucPhysicalAddress),
                              platform::kAccessRead | platform::kAccessWrite);
    if (!dev.valid()) return QUIB_FAIL;
    const int iResult = devcore::theDevice().SCSI7120_CPURST(dev.get(), 0);
    platform::get().clock.sleepMs(kAfterResetMs);
    return iResult;
}

}  // namespace quib::fwupdate
