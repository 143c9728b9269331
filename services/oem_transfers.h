// Data transfers of the OEM exports: the firmware EEPROM, a caller's vendor CDB, the drive's sectors, the
// PCIe configuration space and the factory configuration. Each call opens the device, runs one command and
// closes it; a device that cannot be opened gives -5.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace quib::services {

// The firmware EEPROM through the piecewise command: 0, -1, -10 (more than 64 KiB, no buffer), -5.
int oemAccessEeprom(std::uint8_t ucTargetNumber, std::uint8_t ucReadWrite, std::uint8_t* pBuffer,
                    std::uint32_t dwLength);
// A 16-byte vendor CDB (three bytes and a 13-byte tail) with its data: 0, -1, -10, -5.
int vendorCommand(std::uint8_t ucTargetNumber, std::uint8_t ucReadWrite, std::uint8_t ucCdb0,
                  std::uint8_t ucCdb1, std::uint8_t ucCdb2, const std::uint8_t* pCdbTail,
                  std::uint8_t* pBuffer, std::uint32_t dwLength);
// The firmware area in one command, on list entry ucTargetNumber.
int firmwareEepromDirect(std::uint8_t ucTargetNumber, std::uint8_t ucReadWrite, std::uint8_t* pBuffer,
                         std::uint32_t dwLength, std::uint8_t ucBank);
// Sectors of the drive behind a bridge named by its disk (or CD-ROM) number.
int accessHardDisk(bool bCdrom, std::uint8_t ucNumber, std::uint8_t ucReadWrite, std::uint32_t dwLbaLow,
                   std::uint32_t dwLbaHigh, const std::uint8_t* pData, std::uint32_t dwSectorCount);
// The PCIe configuration space, on a handle the caller opened.
int pcieConfigRead(platform::DeviceHandle hDev, std::uint16_t wOffset, std::uint8_t* pBuffer,
                   std::uint16_t wLength);
int pcieConfigWrite(platform::DeviceHandle hDev, std::uint16_t wOffset, const std::uint8_t* pData,
                    std::uint16_t wLength);
// The 124-byte factory configuration block, and its 512-byte read-back: 0, -1, -5, -10.
int factoryConfigureWrite(std::uint8_t ucTargetNumber, const std::uint8_t* pBlock);
int factoryConfigureRead(std::uint8_t ucTargetNumber, std::uint8_t* pResult);

}  // namespace quib::services
