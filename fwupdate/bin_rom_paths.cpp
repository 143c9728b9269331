// Programming a plain image (BIN path) or a configuration ROM file (ROM path).
#include <algorithm>
#include <optional>
#include <vector>

#include "common/log/debug_log.h"
#include "common/records/exchange_records.h"
#include "devcore/device/text_helpers.h"
#include "devcore/frame/library_objects.h"
#include "fwupdate/customized_check.h"
#include "fwupdate/image_checks.h"
#include "fwupdate/image_name.h"
#include "fwupdate/programming_stream.h"
#include "fwupdate/relink.h"
#include "fwupdate/update_context.h"
#include "fwupdate/update_paths.h"
#include "fwupdate/working_files.h"
#include "platform/platform.h"

namespace quib::fwupdate {
namespace {

constexpr long kOldestVerifiedUasDate = 141126;
constexpr std::uint8_t kNoPackage = 0xFF;

struct Prepared {
    ImageNameFields name;
    std::uint8_t ucDiskCount = 0;
};

// The steps both paths share: name rules, package rule, customised checks, the image path.
std::optional<int> prepare(const char* kFn, const ExchangeData& exchange, std::uint8_t ucTargetNumber,
                           bool bRom, Prepared& out) {
    CQuibUSBDev& dev = devcore::theDevice();
    const devcore::USBDevEntry* entry = listEntry(dev, ucTargetNumber);
    if (entry == nullptr) return QUIB_INVALID_PARAMETER;
    const std::string strFwPath(records::readText(exchange.cFwPath));
    if (strFwPath.empty()) {
        LogError("%s:%d: Can't Find Firmware file2. Path :[%s]", kFn, __LINE__, strFwPath.c_str());
        return QUIB_FILE_NOT_FOUND;
    }

    out.name = decodeImageName(strFwPath, bRom);
    fwType() = out.name.bPCIe ? "850" : "";
    if (!out.name.bComplete) {
        LogError("%s:%d: Dev[%d] image name [%s] holds no version field of 12 characters", kFn, __LINE__,
                 ucTargetNumber, out.name.fileName.c_str());
        return bRom ? QUIB_INVALID_PARAMETER : QUIB_BUILD_FILE_FAIL;
    }
    if (devcore::equalsIgnoreCase(entry->m_strChipType, "D") && entry->m_ucChipPackage != kNoPackage) {
        const bool bImageBit = out.name.packageBit();
        const bool bChipBit = (entry->m_ucChipPackage & 0x02) != 0;
        if (bImageBit == bChipBit) {
            LogError("%s:%d: ChipPackage mismatch. Devs[%d].m_strChipType=[%s], m_ucChipPackage[%x]", kFn,
                     __LINE__, ucTargetNumber, entry->m_strChipType.c_str(), entry->m_ucChipPackage);
            return QUIB_IMAGE_MISMATCH;
        }
    }
    fwType() += revisionLetter(out.name.revisionDigit);
    out.ucDiskCount = diskRegisterCount();

    const int iCheck = customizedCheck(ucTargetNumber, exchange);
    if (iCheck != 0) {
        LogError("%s:%d: ucTargetNumber[%d], QuibUSBLib_Function_vCustomizedCheck failed", kFn, __LINE__,
                 ucTargetNumber);
        return iCheck;
    }
    if (const auto refused = refuseUnverifiableImage(kFn, exchange, ucTargetNumber)) return *refused;
    dev.m_strFWBinFilePath = strFwPath;
    dev.m_ucConfigBuffer.fill(0xFF);
    return std::nullopt;
}

// Writes the stream into bank 0, and bank 1 for a dual image.
int programBanks(const char* kFn, const ExchangeData& exchange, std::uint8_t ucTargetNumber) {
    CQuibUSBDev& dev = devcore::theDevice();
    const bool bVerify = bVerifyFor(*listEntry(dev, ucTargetNumber));
    bool bOk = dev.vUpdateFirmware(ucTargetNumber, 0, bVerify);
    if (bOk && exchange.ucEnableDualImage) bOk = dev.vUpdateFirmware(ucTargetNumber, 1, bVerify);
    if (!bOk) {
        LogError("%s:%d: Can not Update Firmware !", kFn, __LINE__);
        return QUIB_FAIL;
    }
    return QUIB_SUCCESS;
}

void cleanUp(const char* kFn, const ImageNameFields& name) {
    for (const std::string& file :
         {name.fileName, configRomFileName(name.fileName), std::string(kTempBinDataFileName)}) {
        const bool bDeleted = deleteTempFile(file);
        LogMessage("%s:%d: DeleteFile %s = %d, ", kFn, __LINE__, tempFilePath(file).c_str(),
                   bDeleted ? 1 : 0);
    }
    const bool bRemoved = platform::get().files.removeDirectory(tempFolder());
    LogMessage("%s:%d: RemoveDirectory%s = %d", kFn, __LINE__, tempFolder().c_str(), bRemoved ? 1 : 0);
}

bool relinkIfAsked(const char* kFn, const ExchangeData& exchange, std::uint8_t ucTargetNumber,
                   std::uint8_t ucDiskCount) {
    if (!exchange.ucEnableRelinkToRomCode) return true;
    if (bRelinkToRomCode(ucTargetNumber, ucDiskCount)) return true;
    LogError("%s:%d: Dev[%d] bRelinkToRomCode fail", kFn, __LINE__, ucTargetNumber);
    return false;
}

}  // namespace

bool bVerifyFor(const devcore::USBDevEntry& entry) {
    if (entry.ucStreamMode != devcore::kStreamModeUas) return true;
    return decimalNumber(entry.strFwVersion.substr(0, 6)) >= kOldestVerifiedUasDate;
}

int customizedCheck(std::uint8_t ucTargetNumber, const ExchangeData& exchange) {
    constexpr auto kFn = "QuibUSBLib_Function_vCustomizedCheck";
    const devcore::USBDevEntry* entry = listEntry(devcore::theDevice(), ucTargetNumber);
    if (entry == nullptr) return QUIB_INVALID_PARAMETER;
    const DeviceValues device{entry->m_strChipType,   entry->strFwVersion, entry->strMSignature,
                              entry->strManufacturer, entry->strProduct,   entry->strVid,
                              entry->strPid};
    const CheckOutcome outcome = runCustomizedChecks(ucTargetNumber, device, exchange, fwType());
    if (outcome.result != 0)
        LogError("%s:%d: %s", kFn, __LINE__, outcome.message.c_str());
    else
        LogMessage("%s:%d: %s", kFn, __LINE__, outcome.message.c_str());
    return outcome.result;
}

int vUpdateFW_BIN(const ExchangeData& exchange, std::uint8_t ucTargetNumber) {
    constexpr auto kFn = "vUpdateFW_BIN";
    Prepared prepared;
    if (const auto refused = prepare(kFn, exchange, ucTargetNumber, false, prepared)) return *refused;
    CQuibUSBDev& dev = devcore::theDevice();
    const std::string strFwPath(records::readText(exchange.cFwPath));
    if (!dev.vCreateConfigRomFile(strFwPath, prepared.name.bPCIe ? 1 : 0)) {
        LogError("%s:%d: Dev[%d] vCreateConfigRomFile %s fail", kFn, __LINE__, ucTargetNumber,
                 strFwPath.c_str());
        return QUIB_BUILD_FILE_FAIL;
    }
    if (!relinkIfAsked(kFn, exchange, ucTargetNumber, prepared.ucDiskCount)) return QUIB_RELOAD_FAIL;

    devcore::USBDevEntry& entry = *listEntry(dev, ucTargetNumber);
    for (std::uint8_t bank = 0; bank < (exchange.ucEnableDualImage ? 2 : 1); ++bank) {
        if (!dev.bWrRdConfiguration(ucTargetNumber, 0, entry.ucConfigBlock.data(), bank) ||
            !dev.bWrRdConfiguration(ucTargetNumber, 1, entry.ucConfigBlock.data(), bank))
            return QUIB_FAIL;
    }
    const int iResult = programBanks(kFn, exchange, ucTargetNumber);
    if (iResult != 0) return iResult;
    cleanUp(kFn, prepared.name);
    return QUIB_SUCCESS;
}

int vUpdateFW_ROM(const ExchangeData& exchange, std::uint8_t ucTargetNumber) {
    constexpr auto kFn = "vUpdateFW_ROM";
    Prepared prepared;
    if (const auto refused = prepare(kFn, exchange, ucTargetNumber, true, prepared)) return *refused;

    // The file is read and judged before the bridge is touched: a bad file leaves it as it was.
    CQuibUSBDev& dev = devcore::theDevice();
    devcore::USBDevEntry& entry = *listEntry(dev, ucTargetNumber);
    const std::string strFwPath(records::readText(exchange.cFwPath));
    const auto rom = readImageFile(kFn, strFwPath, kMaxConfigRomSize);
    // The file must hold the configuration block and a stream behind it.
    if (!rom || rom->size() <= kConfigBinSize) {
        LogError("%s:%d: Dev[%d]  ReadFile file [%s] fail", kFn, __LINE__, ucTargetNumber, strFwPath.c_str());
        return QUIB_FILE_NOT_FOUND;
    }
    ConfigBlock block;
    std::copy_n(rom->begin(), kConfigBinSize, block.begin());
    if (block[kConfigSigOffset] != kConfigSig) {
        LogError("%s:%d: Dev[%d]  pConfigType1->ucConfigSig[%d] != 0x%x", kFn, __LINE__, ucTargetNumber,
                 block[kConfigSigOffset], kConfigSig);
        return QUIB_INVALID_PARAMETER;
    }
    const std::uint8_t ucCheckSum = configCheckSum(block);
    if (block[kConfigCheckSumOffset] != ucCheckSum) {
        LogError("%s:%d: Dev[%d]  pConfigType1->ucCheckSum[0x%x] != (unsigned char)uiChecksum[0x%x]", kFn,
                 __LINE__, ucTargetNumber, block[kConfigCheckSumOffset], ucCheckSum);
        return QUIB_INVALID_PARAMETER;
    }
    // The working stream is written before the bridge is touched, so that a failure here leaves it as it was.
    const std::string strTempBinDataFilePath =
        clearTempFile(kFn, kTempBinDataFileName, "%s:%d:  No strTempBinDataFilePath[%s] to Delete  ");
    const std::span<const std::uint8_t> stream(rom->data() + kConfigBinSize, rom->size() - kConfigBinSize);
    if (strTempBinDataFilePath.empty() || !platform::get().files.writeFile(strTempBinDataFilePath, stream)) {
        LogError("%s:%d: Can not Update Configuration Table !", kFn, __LINE__);
        return QUIB_FAIL;
    }
    if (!relinkIfAsked(kFn, exchange, ucTargetNumber, prepared.ucDiskCount)) return QUIB_RELOAD_FAIL;
    entry.ucConfigBlock = block;

    for (std::uint8_t bank = 0; bank < (exchange.ucEnableDualImage ? 2 : 1); ++bank)
        if (!dev.bWrRdConfiguration(ucTargetNumber, 1, entry.ucConfigBlock.data(), bank)) return QUIB_FAIL;
    const int iResult = programBanks(kFn, exchange, ucTargetNumber);
    if (iResult != 0) return iResult;
    cleanUp(kFn, prepared.name);
    return QUIB_SUCCESS;
}

}  // namespace quib::fwupdate
