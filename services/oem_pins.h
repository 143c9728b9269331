// The bridge's general-purpose pins, UART receive line and drive power control, as register sequences.
#pragma once

#include <cstdint>

namespace quib::services {

// One pin (ucPinMask a single bit) made a GPIO, set as output (ucDirection 1) to *pValue == 1 or low, or
// read as input into *pValue. 0, a register-access code, -1 when the device cannot be opened, -10 for a
// mask that is not one bit or a missing value (nothing sent).
int controlGpio(std::uint8_t ucTargetNumber, std::uint8_t ucDirection, std::uint8_t ucPinMask,
                std::uint8_t* pValue);
// Writes *pValue as the output-enable byte and reads the input levels back into *pValue. Always 0.
int oemControlGpio(std::uint8_t ucTargetNumber, std::uint8_t* pValue);
// The UART receive line as a GPIO input: *pValue 0 or 1. 0, a register-access code, -5, -10.
int oemGetUartRx(std::uint8_t ucTargetNumber, std::uint8_t* pValue);
// Drive power control: on when *pValue is 1, off otherwise. 0, a register-access code, -5, -10.
int oemSetHddPowerControl(std::uint8_t ucTargetNumber, const std::uint8_t* pValue);

}  // namespace quib::services
