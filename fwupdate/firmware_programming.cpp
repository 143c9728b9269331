// Writing the programming stream into a firmware bank, with retries, and reading it back for comparison.
#include <vector>

#include "common/log/debug_log.h"
#include "devcore/device/quib_usb_dev.h"
#include "devcore/transport/device_path.h"
#include "fwupdate/bank_programming.h"
#include "fwupdate/programming_stream.h"
#include "fwupdate/update_context.h"
#include "fwupdate/working_files.h"

using namespace quib;
using namespace quib::fwupdate;

namespace {

// The list entry to program and the stream waiting in the working folder; nothing (logged) when either
// is missing.
const devcore::USBDevEntry* entryAndStream(CQuibUSBDev& chip, const char* kFn, std::uint8_t ucTargetNumber,
                                           std::vector<std::uint8_t>& stream) {
    const devcore::USBDevEntry* entry = listEntry(chip, ucTargetNumber);
    auto bytes = readWholeFile(tempFilePath(kTempBinDataFileName));
    if (entry == nullptr || !bytes) {
        LogError("%s:%d: ucTargetNumber: [%d] no device list entry or no %s , dwErrorCode %d", kFn, __LINE__,
                 ucTargetNumber, kTempBinDataFileName, platform::lastErrorCode());
        return nullptr;
    }
    stream = std::move(*bytes);
    return entry;
}

}  // namespace

bool CQuibUSBDev::vUpdateFirmware(std::uint8_t ucTargetNumber, std::uint8_t ucBank, bool bVerify) {
    constexpr auto kFn = "CQuibUSBDev::vUpdateFirmware";
    std::vector<std::uint8_t> stream;
    const devcore::USBDevEntry* entry = entryAndStream(*this, kFn, ucTargetNumber, stream);
    if (entry == nullptr) return false;
    devcore::ScopedDevice dev(devicePathOf(*entry), platform::kAccessRead | platform::kAccessWrite);
    if (!dev.valid()) {
        LogError("%s:%d: ucTargetNumber: [%d] CreateFile Fail , dwErrorCode %d", kFn, __LINE__,
                 ucTargetNumber, platform::lastErrorCode());
        return false;
    }

    const BankLog log = BankLog::forEntry(kFn, ucTargetNumber);
    // A later attempt that succeeds does not make the write good again.
    bool result = !writeBankWithRetries(*this, dev.get(), stream, ucBank, log).bAnyAttemptFailed;
    if (bVerify) {
        const bool bShiftedAllowed = entry->m_ucDevType == 6;  // reads back one byte late
        for (int pass = 0; pass < kReadBackPasses; ++pass) {
            if (!readBackPass(*this, dev.get(), stream, ucBank, bShiftedAllowed, pass, log).bMatched)
                result = false;
            if (result) break;
        }
    }
    return result;
}

bool CQuibUSBDev::vUpdateWPackedFirmware(std::uint8_t ucTargetNumber, std::uint8_t ucBank, bool bVerify) {
    constexpr auto kFn = "CQuibUSBDev::vUpdateWPackedFirmware";
    try {
        std::vector<std::uint8_t> stream;
        const devcore::USBDevEntry* entry = entryAndStream(*this, kFn, ucTargetNumber, stream);
        if (entry == nullptr) return false;
        devcore::ScopedDevice dev(devicePathOf(*entry), platform::kAccessRead | platform::kAccessWrite);
        if (!dev.valid()) {
            LogError("%s:%d:  [%d] CreateFile Fail, dwErrorCode %d", kFn, __LINE__, ucTargetNumber,
                     platform::lastErrorCode());
            return false;
        }

        bool result = true;
        std::vector<std::uint8_t> data = stream;
        const auto length = static_cast<std::uint32_t>(data.size());
        bool bWritten = false;
        for (int attempt = 0; attempt < kWriteAttempts && !bWritten; ++attempt) {
            platform::get().clock.sleepMs(kRetryPauseMs);
            const int iResult = SCSI7120_AccessFirmwareEEPROM(data.data(), dev.get(), 1, length, ucBank);
            LogMessage(
                "%s:%d: vUpdateWPackedFirmware: [%d] SCSI7120_AccessFirmwareEEPROM Retry[%d], iResult %d",
                kFn, __LINE__, ucTargetNumber, attempt, iResult);
            bWritten = iResult == 0;
        }
        if (!bWritten) {
            result = false;
            LogError(
                "%s:%d: vUpdateWPackedFirmware: [%d] SCSI7120_AccessFirmwareEEPROM Fail , dwErrorCode %d",
                kFn, __LINE__, ucTargetNumber, platform::lastErrorCode());
        }

        if (bVerify) {
            for (int pass = 0; pass < kReadBackPasses; ++pass) {
                platform::get().clock.sleepMs(kRetryPauseMs);
                std::vector<std::uint8_t> readBack(length + kConfigBinSize, 0);
                // One read moves at most 64 KiB: a longer stream cannot be verified this way.
                const int iResult = SCSI7120_AccessFirmwareEEPROM(readBack.data(), dev.get(), 0,
                                                                  length + kConfigBinSize, ucBank);
                if (!readBackMatches(readBack, stream, false)) result = false;
                LogMessage(
                    "%s:%d: vCheckFirmware: [%d] SCSI7120_AccessFirmwareEEPROM , iResult %d dwErrorCode %d, "
                    "Retry %d ",
                    kFn, __LINE__, ucTargetNumber, iResult, platform::lastErrorCode(), pass);
                if (result) break;
            }
        }
        return result;
    } catch (...) {
        LogError("%s:%d: catch(...): ucTargetNumber : %d , dwErrorCode %d", kFn, __LINE__, ucTargetNumber,
                 platform::lastErrorCode());
        return false;
    }
}
