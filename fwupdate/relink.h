// Restarting a bridge and finding it again: plainly, at a chosen speed, or into its ROM code before
// programming.
#pragma once

#include <cstdint>

namespace quib::fwupdate {

// The restart mode that leaves the chip in its ROM code (the mode byte of the restart command).
inline constexpr std::uint8_t kRomCodeResetMode = 1;
inline constexpr std::uint8_t kPlainResetMode = 0;
// Restart modes by requested USB speed 1..5 (other values are passed on unchanged).
std::uint8_t resetModeOfSpeed(std::uint8_t ucSpeed);

// Restarts the bridge in `ucResetMode` and finds it again among the disks the system counts: 0, or -7
// ("Reset fail !" logged under `kFn`) when it did not come back.
int restartAndFindAgain(const char* kFn, std::uint8_t ucTargetNumber, std::uint8_t ucResetMode,
                        int iBridgeType);

// Refreshes bank 0's configuration area, restarts the bridge into its ROM code behind its relink
// signature, waits 500 ms and makes sure it was found again (under the disk count as detection count).
bool bRelinkToRomCode(std::uint8_t ucTargetNumber, std::uint8_t ucDiskCount);

}  // namespace quib::fwupdate
