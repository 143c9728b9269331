// Codes of the PD tunnel: controller and image kinds, the tunnel's sub-commands and the limits of the
// parsed image tables.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quib::pdupdate {

// Controller kinds as the bridge reports them (m_nPDChipVendor) and the microcontroller kind.
inline constexpr std::uint8_t PD_VENDOR_RICHTEK = 1;
inline constexpr std::uint8_t PD_VENDOR_CYPRESS = 2;
inline constexpr std::uint8_t PD_VENDOR_CCG3 = 4;
inline constexpr std::uint8_t PD_VENDOR_CCG4 = 5;
inline constexpr std::uint8_t MCU_VENDOR_ST = 20;

// Image kinds taken from a file's name.
inline constexpr std::uint8_t PD_IMAGE_BIN = 1;
inline constexpr std::uint8_t PD_IMAGE_CYACD = 2;
inline constexpr std::uint8_t MCU_IMAGE_HEX = 20;

// Sub-commands of the 0xEC tunnel (CDB byte 1).
inline constexpr std::uint8_t PD_MPT_AREA = 0x00;
inline constexpr std::uint8_t PD_WRITE_DATA = 0x01;
inline constexpr std::uint8_t PD_FW_VERSION = 0x03;
inline constexpr std::uint8_t PD_INIT_I2C_BUS = 0x04;
inline constexpr std::uint8_t PD_READ_DATA = 0x06;
inline constexpr std::uint8_t PD_GET_PD_CONTROL = 0x07;
inline constexpr std::uint8_t CYPRESS_PD_FW_VERSION = 0x21;
inline constexpr std::uint8_t CYPRESS_PD_FLASH_MODE = 0x22;
inline constexpr std::uint8_t CYPRESS_PD_WRITE_DATA = 0x23;
inline constexpr std::uint8_t CYPRESS_PD_READ_DATA = 0x24;
inline constexpr std::uint8_t PD_GET_PD_CCG3_DeviceMode = 0x29;
inline constexpr std::uint8_t CYPRESS_PD_CCG3_READ_DATA = 0x2A;
inline constexpr std::uint8_t CYPRESS_PD_CCG3_WRITE_DATA = 0x2B;
inline constexpr std::uint8_t CYPRESS_PD_CCG4_WRITE_DATA = 0x2B;
inline constexpr std::uint8_t CYPRESS_PD_FW2_VERSION = 0x2C;
inline constexpr std::uint8_t CYPRESS_PD_CCG3_FLASH_MODE = 0x2D;
inline constexpr std::uint8_t ST_MCU_ENTER_BOOTLOADER = 0x32;
inline constexpr std::uint8_t ST_MCU_FLASH_MODE = 0x33;
inline constexpr std::uint8_t ST_MCU_WRITE_DATA = 0x34;
inline constexpr std::uint8_t ST_MCU_READ_DATA = 0x35;

inline constexpr std::uint8_t kPdVendorOpcode = 0xEC;
inline constexpr std::uint32_t kMaxPdTransfer = 256;
inline constexpr std::uint8_t kControlMarker = 0x5A;  // 'Z' in byte 0 of the controller query

// Image sizes and table limits.
inline constexpr std::size_t kRichTekImageSize = 16384;
inline constexpr std::size_t kRichTekWordCount = kRichTekImageSize / 4;
inline constexpr std::size_t kRichTekReadChunk = 32;
inline constexpr std::size_t kCypressRowSize = 128;      // kinds 2 and 4
inline constexpr std::size_t kCypressCcg4RowSize = 256;  // kind 5
inline constexpr std::size_t kMaxCypressRows = 65535;
inline constexpr std::size_t kMaxMcuRecords = 4096;
inline constexpr std::size_t kMcuImageSize = 49152;
inline constexpr std::size_t kMcuChunk = 12;
inline constexpr std::size_t kMaxKind2Row = 255;  // rows the 0x23/0x24 address byte can name

// Highest device index with result entries.
inline constexpr std::uint8_t kMaxPdDeviceIndex = 3;

}  // namespace quib::pdupdate
