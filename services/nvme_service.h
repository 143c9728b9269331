// The NVMe drive behind a PCIe bridge: admin commands through the bridge's fixed and packet commands, and
// the bridge's NVMe reset, activity LED and PCIe link mode. Each call opens the bridge's disk and closes it;
// a disk that cannot be opened gives -5, refused arguments -10 (nothing is sent).
#pragma once

#include <cstdint>

namespace quib::services {

int nvmeGetIdentify(std::uint8_t ucTargetNumber, std::uint8_t* pIdentify, std::uint8_t ucSelector);
int nvmeGetLogPage(std::uint8_t ucTargetNumber, std::uint8_t* pLog, std::uint32_t dwValue);
int nvmeSecurityReceive(std::uint8_t ucTargetNumber, std::uint8_t* pData, std::uint32_t dwValue);
// kind: 0 no data, 1 data in, 2 data out.
int nvmePacketCommand(std::uint8_t ucTargetNumber, std::uint8_t ucParameter, const std::uint8_t* pSubmission,
                      std::uint8_t kind, std::uint8_t* pData, std::uint32_t dwLength);
// Resets the NVMe side and pauses 200 ms, whatever the result.
int nvmeReset(std::uint8_t ucTargetNumber);
// ucSet non-zero sets the link to pMode (generation, width); zero reads it into pMode.
int nvmeSpeedMode(std::uint8_t ucTargetNumber, std::uint8_t ucSet, std::uint8_t* pMode);
// ucDirection 0 or 1 chooses the transfer direction of the LED command.
int nvmeLedControl(std::uint8_t ucTargetNumber, std::uint8_t ucDirection, std::uint8_t ucValue);

}  // namespace quib::services
