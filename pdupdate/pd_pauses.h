// Tries and pauses of the PD and MCU exchanges, on the platform's clock.
#pragma once

#include <cstdint>
#include <type_traits>

#include "platform/platform.h"

namespace quib::pdupdate {

inline constexpr int kTunnelTries = 3;
inline constexpr std::uint32_t kRowRetryPauseMs = 10;    // after a failed data or query exchange
inline constexpr std::uint32_t kModeRetryPauseMs = 500;  // after a failed mode command
inline constexpr std::uint32_t kBootloaderSettleMs =
    1000;  // after the microcontroller entered its bootloader

inline void pause(std::uint32_t ms) {
    platform::get().clock.sleepMs(ms);
}

// Up to three tries of one exchange, pausing 10 ms after each failure, which `onFailure` is told of
// (the try number from 0, and the failed try's code when it takes one). The last try's code.
inline void noRetryLine(int) {}
template <class Exchange, class OnFailure = void (*)(int)>
int tryThrice(Exchange&& exchange, OnFailure&& onFailure = noRetryLine) {
    int iResult = -1;
    for (int nRetry = 0; nRetry < kTunnelTries; ++nRetry) {
        iResult = exchange();
        if (iResult == 0) break;
        if constexpr (std::is_invocable_v<OnFailure, int, int>)
            onFailure(nRetry, iResult);
        else
            onFailure(nRetry);
        pause(kRowRetryPauseMs);
    }
    return iResult;
}

}  // namespace quib::pdupdate
