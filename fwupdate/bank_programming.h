// Writing a programming stream into a firmware bank in one command per attempt, and reading it back:
// the steps the list-entry update and the per-drive update share.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "devcore/device/quib_usb_dev.h"

namespace quib::fwupdate {

inline constexpr int kWriteAttempts = 10;
inline constexpr int kReadBackPasses = 10;
inline constexpr std::uint32_t kRetryPauseMs = 500;

// How the log lines name the bridge: a list entry as "[n] " after the step name and "ucTargetNumber[n] "
// before a failed comparison; a drive given by number not at all.
struct BankLog {
    const char* kFn;
    std::string strStepTag;
    std::string strCompareTag;

    static BankLog forEntry(const char* kFn, std::uint8_t ucTargetNumber);
    static BankLog forDrive(const char* kFn);
};

struct BankWriteOutcome {
    int iLastResult;         // of the last attempt made
    bool bAnyAttemptFailed;  // a retry that succeeds does not clear it
};

// Up to ten write attempts, stopping at the first success; 500 ms pause after each failure.
BankWriteOutcome writeBankWithRetries(CQuibUSBDev& chip, platform::DeviceHandle hDev,
                                      std::vector<std::uint8_t> stream, std::uint8_t ucBank,
                                      const BankLog& log);

struct ReadBackOutcome {
    int iResult;  // of the read command; a failed read shows as a mismatch
    bool bMatched;
};

// One read-back pass (`pass` numbers it in the log): 500 ms pause, then the stream's length plus the
// configuration block read from the bank, compared from the block's end. A shifted comparison by one byte
// is allowed only where the device type reads back one byte late.
ReadBackOutcome readBackPass(CQuibUSBDev& chip, platform::DeviceHandle hDev,
                             const std::vector<std::uint8_t>& stream, std::uint8_t ucBank,
                             bool bShiftedAllowed, int pass, const BankLog& log);

// Whether what was read (configuration block, then the stream) holds the stream.
bool readBackMatches(const std::vector<std::uint8_t>& readBack, const std::vector<std::uint8_t>& stream,
                     bool bShiftedAllowed);

}  // namespace quib::fwupdate
