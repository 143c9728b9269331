#include "fwupdate/per_drive.h"

#include <algorithm>
#include <vector>

#include "common/log/debug_log.h"
#include "devcore/device/text_helpers.h"
#include "devcore/discovery/register_decoding.h"
#include "devcore/frame/library_objects.h"
#include "devcore/frame/working_folder.h"
#include "devcore/transport/device_path.h"
#include "fwupdate/bank_programming.h"
#include "fwupdate/image_name.h"
#include "fwupdate/programming_stream.h"
#include "fwupdate/update_context.h"
#include "fwupdate/working_files.h"
#include "platform/platform.h"

namespace quib::fwupdate {
namespace {

constexpr std::uint32_t kAfterResetMs = 200;
constexpr std::size_t kSerialOffset = 4;
constexpr std::size_t kSerialLength = 20;
constexpr std::size_t kVersionLength = 6;

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
                 platform::lastErrorCode());
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
                 platform::lastErrorCode());
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
            LogError("%s:%d: CreateFile Fail , dwErrorCode %d", kFn, __LINE__, platform::lastErrorCode());
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

        const auto stream =
            readWholeFile(tempFilePath(kTempBinDataFileName)).value_or(std::vector<std::uint8_t>{});
        const BankLog log = BankLog::forDrive(kFn);
        iStatus = writeBankWithRetries(chip, dev.get(), stream, ucBank, log).iLastResult;
        if (bVerify) {
            bool bMatched = true;
            for (int pass = 0; pass < kReadBackPasses; ++pass) {
                const ReadBackOutcome read = readBackPass(chip, dev.get(), stream, ucBank, false, pass, log);
                iStatus = read.iResult;
                if (!read.bMatched) bMatched = false;
                if (bMatched) break;
            }
            // A read-back that differs is a failed update, whatever the read commands answered.
            if (!bMatched) iStatus = QUIB_FAIL;
        }
    } catch (...) {
        LogError("%s:%d: catch(...) , dwErrorCode %d", kFn, __LINE__, platform::lastErrorCode());
        iStatus = QUIB_FAIL;
    }
    removeWorkingFiles();
    return iStatus;
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
