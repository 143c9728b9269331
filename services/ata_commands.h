// ATA commands for the SATA drive behind a bridge, carried by the SCSI/ATA Translation commands ATA
// PASS-THROUGH (12) and (16), and IDENTIFY DEVICE through the system's own ATA pass-through. Each opens the
// drive by its disk number and closes it afterwards.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace quib::services {

inline constexpr std::uint32_t kAtaBlock = 512;

// ATA commands and SMART features used here.
inline constexpr std::uint8_t kAtaIdentifyDevice = 0xEC;
inline constexpr std::uint8_t kAtaSmart = 0xB0;
inline constexpr std::uint8_t kAtaReadDmaExt = 0x25;
inline constexpr std::uint8_t kAtaWriteDmaExt = 0x35;
inline constexpr std::uint8_t kSmartReadData = 0xD0;
inline constexpr std::uint8_t kSmartReadLog = 0xD5;
inline constexpr std::uint8_t kSmartWriteLog = 0xD6;
inline constexpr std::uint8_t kSmartLbaMid = 0x4F;
inline constexpr std::uint8_t kSmartLbaHigh = 0xC2;

// How a command ended: the drive could not be opened, the transfer or the drive failed, or it succeeded.
enum class AtaOutcome { NotOpened, Failed, Done };

// One 512-byte PIO command through ATA PASS-THROUGH (12) on "\\.\PhysicalDrive<n>". Reads (every command
// but WRITE LOG) clear the buffer's first 4 bytes first and return the 512 data bytes into it; a write
// sends the buffer's 512 bytes.
AtaOutcome bSendATAPassThroughBySCSICMD(std::uint8_t* pBuffer, std::uint8_t ucPhysicalDrive,
                                        std::uint8_t ucFeatures, std::uint8_t ucSectorCount,
                                        std::uint8_t ucLbaLow, std::uint8_t ucLbaMid, std::uint8_t ucLbaHigh,
                                        std::uint8_t ucCommand);

AtaOutcome bSendIdentifyBySCSICMD(std::uint8_t* pIdentify, std::uint8_t ucPhysicalDrive);

// READ DMA EXT (0x25) or WRITE DMA EXT (0x35) of `usSectorCount` blocks at a 48-bit LBA through ATA
// PASS-THROUGH (16), `dwLength` bytes on an open handle.
bool bSendATAPassThrough16BySCSICMD(platform::DeviceHandle hDev, std::uint8_t* pBuffer,
                                    std::uint32_t dwLength, std::uint64_t ullLba, std::uint16_t usSectorCount,
                                    std::uint8_t ucCommand);

// IDENTIFY DEVICE through the system's ATA pass-through on an open handle.
bool bSendIdentifyATAPassThrough(platform::DeviceHandle hDev, std::uint8_t* pIdentify);

}  // namespace quib::services
