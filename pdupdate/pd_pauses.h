// Tries and pauses of the PD and MCU exchanges, on the platform's clock.
#pragma once

#include <cstdint>

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

}  // namespace quib::pdupdate
