// Writing the programming stream into a firmware bank, with retries, and reading it back for comparison.
#include <algorithm>
#include <cstring>
#include <vector>

#include "common/log/debug_log.h"
#include "devcore/device/quib_usb_dev.h"
#include "devcore/transport/device_path.h"
#include "fwupdate/programming_stream.h"
#include "fwupdate/update_context.h"
#include "fwupdate/working_files.h"

using namespace quib;
using namespace quib::fwupdate;

namespace {

constexpr int kWriteAttempts = 10;
constexpr int kReadBackPasses = 10;
constexpr std::uint32_t kRetryPauseMs = 500;
constexpr std::size_t kShiftedCompareLength = 126;  // device type 6 reads back one byte late

int lastErrorCode() {
    return static_cast<int>(platform::lastError());
}

void sleepMs(std::uint32_t ms) {
    platform::get().clock.sleepMs(ms);
}

// Logs where the read-back first differs, with up to four bytes of both sides from there.
void logFirstDifference(const char* kFn, const std::vector<std::uint8_t>& readBack,
                        const std::vector<std::uint8_t>& stream) {
    std::size_t k = 0;
    while (k < stream.size() && readBack[kConfigBinSize + k] == stream[k]) ++k;
    unsigned at[4], got[4], want[4];
    for (std::size_t i = 0; i < 4; ++i) {
        const std::size_t o = k + i;
        at[i] = static_cast<unsigned>(o);
        got[i] = o < stream.size() ? readBack[kConfigBinSize + o] : 0;
        want[i] = o < stream.size() ? stream[o] : 0;
    }
    LogError(
        "%s:%d: MEMCMP failed 0x%x[%02x]!=[%02x] 0x%x[%02x]!=[%02x] 0x%x[%02x]!=[%02x] "
        "0x%x[%02x]!=[%02x]\r\n ",
        kFn, __LINE__, at[0], got[0], want[0], at[1], got[1], want[1], at[2], got[2], want[2], at[3], got[3],
        want[3]);
}

// Whether what was read (configuration block, then the stream) holds the stream.
bool readBackMatches(const std::vector<std::uint8_t>& readBack, const std::vector<std::uint8_t>& stream,
                     bool bShiftedAllowed) {
    if (std::equal(stream.begin(), stream.end(), readBack.begin() + kConfigBinSize)) return true;
    if (!bShiftedAllowed || stream.size() < kShiftedCompareLength) return false;
    return std::equal(stream.begin(), stream.begin() + kShiftedCompareLength,
                      readBack.begin() + kConfigBinSize + 1);
}

}  // namespace

bool CQuibUSBDev::vUpdateFirmware(std::uint8_t ucTargetNumber, std::uint8_t ucBank, bool bVerify) {
    constexpr auto kFn = "CQuibUSBDev::vUpdateFirmware";
    bool result = true;
    const devcore::USBDevEntry* entry = listEntry(*this, ucTargetNumber);
    const auto stream = readWholeFile(tempFilePath(kTempBinDataFileName));
    if (entry == nullptr || !stream) {
        LogError("%s:%d: ucTargetNumber: [%d] no device list entry or no %s , dwErrorCode %d", kFn, __LINE__,
                 ucTargetNumber, kTempBinDataFileName, lastErrorCode());
        return false;
    }
    std::vector<std::uint8_t> data = *stream;
    const auto length = static_cast<std::uint32_t>(data.size());
    devcore::ScopedDevice dev(devicePathOf(*entry), platform::kAccessRead | platform::kAccessWrite);
    if (!dev.valid()) {
        LogError("%s:%d: ucTargetNumber: [%d] CreateFile Fail , dwErrorCode %d", kFn, __LINE__,
                 ucTargetNumber, lastErrorCode());
        return false;
    }

    for (int attempt = 0; attempt < kWriteAttempts; ++attempt) {
        const int iResult = SCSI7120_AccessFirmwareEEPROM_Direct(length, dev.get(), 1, data.data(), ucBank);
        if (iResult == 0) break;
        sleepMs(kRetryPauseMs);
        result = false;  // a later attempt that succeeds does not make the write good again
        LogError(
            "%s:%d: vUpdateFirmware: [%d] SCSI7120_AccessFirmwareEEPROM Fail Retry[%d], iResult %d "
            "dwErrorCode %d",
            kFn, __LINE__, ucTargetNumber, attempt, iResult, lastErrorCode());
    }

    if (bVerify) {
        const bool bShiftedAllowed = entry->m_ucDevType == 6;
        for (int pass = 0; pass < kReadBackPasses; ++pass) {
            sleepMs(kRetryPauseMs);
            std::vector<std::uint8_t> readBack(length + kConfigBinSize, 0);
            // The read's own result is not judged: a failed read shows as a mismatch.
            const int iResult = SCSI7120_AccessFirmwareEEPROM_Direct(length + kConfigBinSize, dev.get(), 0,
                                                                     readBack.data(), ucBank);
            if (!readBackMatches(readBack, *stream, bShiftedAllowed)) {
                result = false;
                LogError("%s:%d: ucTargetNumber[%d] MEMCMP failed , iResult %d dwErrorCode %d, Retry %d ",
                         kFn, __LINE__, ucTargetNumber, iResult, lastErrorCode(), pass);
                logFirstDifference(kFn, readBack, *stream);
            }
            LogMessage(
                "%s:%d: vCheckFirmware: [%d] SCSI7120_AccessFirmwareEEPROM , iResult %d dwErrorCode %d, "
                "Retry %d ",
                kFn, __LINE__, ucTargetNumber, iResult, lastErrorCode(), pass);
            if (result) break;
        }
    }
    return result;
}

bool CQuibUSBDev::vUpdateWPackedFirmware(std::uint8_t ucTargetNumber, std::uint8_t ucBank, bool bVerify) {
    constexpr auto kFn = "CQuibUSBDev::vUpdateWPackedFirmware";
    try {
        bool result = true;
        const devcore::USBDevEntry* entry = listEntry(*this, ucTargetNumber);
        const auto stream = readWholeFile(tempFilePath(kTempBinDataFileName));
        if (entry == nullptr || !stream) {
            LogError("%s:%d:  [%d] no device list entry or no %s , dwErrorCode %d", kFn, __LINE__,
                     ucTargetNumber, kTempBinDataFileName, lastErrorCode());
            return false;
        }
        std::vector<std::uint8_t> data = *stream;
        const auto length = static_cast<std::uint32_t>(data.size());
        devcore::ScopedDevice dev(devicePathOf(*entry), platform::kAccessRead | platform::kAccessWrite);
        if (!dev.valid()) {
            LogError("%s:%d:  [%d] CreateFile Fail, dwErrorCode %d", kFn, __LINE__, ucTargetNumber,
                     lastErrorCode());
            return false;
        }

        bool bWritten = false;
        for (int attempt = 0; attempt < kWriteAttempts && !bWritten; ++attempt) {
            sleepMs(kRetryPauseMs);
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
                kFn, __LINE__, ucTargetNumber, lastErrorCode());
        }

        if (bVerify) {
            for (int pass = 0; pass < kReadBackPasses; ++pass) {
                sleepMs(kRetryPauseMs);
                std::vector<std::uint8_t> readBack(length + kConfigBinSize, 0);
                // One read moves at most 64 KiB: a longer stream cannot be verified this way.
                const int iResult = SCSI7120_AccessFirmwareEEPROM(readBack.data(), dev.get(), 0,
                                                                  length + kConfigBinSize, ucBank);
                if (!readBackMatches(readBack, *stream, false)) result = false;
                LogMessage(
                    "%s:%d: vCheckFirmware: [%d] SCSI7120_AccessFirmwareEEPROM , iResult %d dwErrorCode %d, "
                    "Retry %d ",
                    kFn, __LINE__, ucTargetNumber, iResult, lastErrorCode(), pass);
                if (result) break;
            }
        }
        return result;
    } catch (...) {
        LogError("%s:%d: catch(...): ucTargetNumber : %d , dwErrorCode %d", kFn, __LINE__, ucTargetNumber,
                 lastErrorCode());
        return false;
    }
}
