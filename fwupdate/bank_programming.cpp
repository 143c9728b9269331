#include "fwupdate/bank_programming.h"

#include <algorithm>

#include "common/log/debug_log.h"
#include "fwupdate/programming_stream.h"
#include "platform/platform.h"

namespace quib::fwupdate {
namespace {

constexpr std::size_t kShiftedCompareLength = 126;

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

}  // namespace

BankLog BankLog::forEntry(const char* kFn, std::uint8_t ucTargetNumber) {
    const std::string number = std::to_string(ucTargetNumber);
    return {kFn, "[" + number + "] ", "ucTargetNumber[" + number + "] "};
}

BankLog BankLog::forDrive(const char* kFn) {
    return {kFn, "", ""};
}

BankWriteOutcome writeBankWithRetries(CQuibUSBDev& chip, platform::DeviceHandle hDev,
                                      std::vector<std::uint8_t> stream, std::uint8_t ucBank,
                                      const BankLog& log) {
    BankWriteOutcome outcome{-1, false};
    const auto length = static_cast<std::uint32_t>(stream.size());
    for (int attempt = 0; attempt < kWriteAttempts; ++attempt) {
        outcome.iLastResult =
            chip.SCSI7120_AccessFirmwareEEPROM_Direct(length, hDev, 1, stream.data(), ucBank);
        if (outcome.iLastResult == 0) break;
        platform::get().clock.sleepMs(kRetryPauseMs);
        outcome.bAnyAttemptFailed = true;
        LogError(
            "%s:%d: vUpdateFirmware: %sSCSI7120_AccessFirmwareEEPROM Fail Retry[%d], iResult %d dwErrorCode "
            "%d",
            log.kFn, __LINE__, log.strStepTag.c_str(), attempt, outcome.iLastResult,
            platform::lastErrorCode());
    }
    return outcome;
}

ReadBackOutcome readBackPass(CQuibUSBDev& chip, platform::DeviceHandle hDev,
                             const std::vector<std::uint8_t>& stream, std::uint8_t ucBank,
                             bool bShiftedAllowed, int pass, const BankLog& log) {
    platform::get().clock.sleepMs(kRetryPauseMs);
    const auto length = static_cast<std::uint32_t>(stream.size() + kConfigBinSize);
    std::vector<std::uint8_t> readBack(length, 0);
    ReadBackOutcome outcome{};
    outcome.iResult = chip.SCSI7120_AccessFirmwareEEPROM_Direct(length, hDev, 0, readBack.data(), ucBank);
    outcome.bMatched = readBackMatches(readBack, stream, bShiftedAllowed);
    if (!outcome.bMatched) {
        LogError("%s:%d: %sMEMCMP failed , iResult %d dwErrorCode %d, Retry %d ", log.kFn, __LINE__,
                 log.strCompareTag.c_str(), outcome.iResult, platform::lastErrorCode(), pass);
        logFirstDifference(log.kFn, readBack, stream);
    }
    LogMessage(
        "%s:%d: vCheckFirmware: %sSCSI7120_AccessFirmwareEEPROM , iResult %d dwErrorCode %d, Retry %d ",
        log.kFn, __LINE__, log.strStepTag.c_str(), outcome.iResult, platform::lastErrorCode(), pass);
    return outcome;
}

bool readBackMatches(const std::vector<std::uint8_t>& readBack, const std::vector<std::uint8_t>& stream,
                     bool bShiftedAllowed) {
    if (std::equal(stream.begin(), stream.end(), readBack.begin() + kConfigBinSize)) return true;
    if (!bShiftedAllowed || stream.size() < kShiftedCompareLength) return false;
    return std::equal(stream.begin(), stream.begin() + kShiftedCompareLength,
                      readBack.begin() + kConfigBinSize + 1);
}

}  // namespace quib::fwupdate
