// The USB link of a bridge: its maximum speed set by a restart, its speed read back, and the fixture check
// of the 8504 chips.
#pragma once

#include <cstdint>

namespace quib::services {

// Restarts the bridge at maximum speed mode 1..5 (other values go to the restart unchanged): 0, -5, or the
// restart command's code.
int setUsbSpeedMode(std::uint8_t ucTargetNumber, std::uint32_t dwSpeedMode);
// 0 for an F-type chip, -3 for another, -5 when the device cannot be opened, a register-access code.
int get8504FixtureDev(std::uint8_t ucTargetNumber);
// The speed code (0..5, 255 unknown), also kept in the list entry: 0, -5, a register-access code.
int getUsbSpeed(std::uint8_t ucTargetNumber, std::uint8_t* pSpeed);

}  // namespace quib::services
