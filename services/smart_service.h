// The drive's identity and health data through the bridge: IDENTIFY DEVICE, SMART data and logs, and the
// sector just past the capacity the bridge reports, where a caller may keep a log page. SATA bridges (device
// type below 6) reach their drive with ATA pass-through; PCIe bridges read log pages with the NVMe Get Log
// Page. Null buffers are refused with -10 before anything is opened.
#pragma once

#include <cstdint>

namespace quib::services {

inline constexpr std::uint8_t kFirstNvmeDevType = 6;

// 0 or -1.
int identifyDevice(std::uint8_t ucTargetNumber, std::uint8_t* pBuffer);
int getSmartAttribute(std::uint8_t ucTargetNumber, std::uint8_t* pBuffer);
// 0, -1, -5 the disk cannot be opened, -10 refused (a PCIe bridge's write, an ATA log address above 0xFF).
int readSmartLog(std::uint8_t ucTargetNumber, std::uint8_t* pBuffer, std::uint32_t dwLogAddress);
int writeSmartLog(std::uint8_t ucTargetNumber, const std::uint8_t* pBuffer, std::uint32_t dwLogAddress);
// ucWrite 1 writes pBuffer to the sector, 0 reads it into pBuffer: 1 success, 0 failure.
int readWriteLastSector(std::uint8_t ucTargetNumber, std::uint8_t ucWrite, std::uint8_t* pBuffer);

}  // namespace quib::services
