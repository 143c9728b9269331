// What the chip registers read by discovery mean.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace quib::devcore {

inline constexpr std::uint16_t kRegFirmwareVersion = 0x07F0;  // 7 bytes, the first six the version
inline constexpr std::uint16_t kRegUsbMode = 0x9000;
inline constexpr std::uint16_t kRegLinkSpeed = 0x9002;
inline constexpr std::uint16_t kRegLinkPlus = 0x90E5;
inline constexpr std::uint16_t kRegLinkSpeed850B = 0x9100;
inline constexpr std::uint16_t kRegLinkDetail850B = 0x92B8;
inline constexpr std::uint16_t kRegChipPackage = 0xC895;  // SCSI_USB_CHIP_BOUNDING_OPTION
inline constexpr std::uint16_t kRegChipType = 0xC8FF;
inline constexpr std::uint16_t kRegRelinkFlag = 0xCA02;
inline constexpr std::uint16_t kRegRelinkIndex = 0xCA03;
inline constexpr std::uint16_t kRegCCOrientation = 0xCACB;
inline constexpr std::uint16_t kRegGeneration = 0xE495;

inline constexpr const char* kChipNumber7120 = "7120";
inline constexpr const char* kChipNumber8500 = "8500";
inline constexpr const char* kChipType850A = "850A";
inline constexpr const char* kChipType850B = "850B";

// Device type from 0xC8FF bits 6..4 (and 0xC895 bit 1 for one member); 255 when undefined or when the
// package register that member needs could not be read.
std::uint8_t decodeDeviceType(const std::string& strChipNumber, std::uint8_t ucChipTypeReg,
                              std::optional<std::uint8_t> ucPackageReg);
// "A" .. "E", "850A", "850B" or "Not Defined".
std::string chipTypeText(std::uint8_t ucDevType);
// The MSignature: low four bits of 0xC8FF, "%x".
std::string mSignatureText(std::uint8_t ucChipTypeReg);
// Generation byte: from 0xE495 for device type 7, the device type for the others.
std::uint8_t decodeGeneration(std::uint8_t ucDevType, std::optional<std::uint8_t> ucGenerationReg);
// The chip-type selector a scan filters on ("001_B0", "011_1", ...); "0" when unreadable.
std::string chipTypeSelector(std::optional<std::uint8_t> ucChipTypeReg,
                             std::optional<std::uint8_t> ucPackageReg);
// 1 UAS, 0 BOT.
std::uint8_t decodeUsbMode(std::uint8_t ucDevType, std::uint8_t ucModeReg);
// "FULL", "HIGH", "SUPER" or empty for a speed register value.
std::string linkSpeedText(std::uint8_t ucSpeedReg);

}  // namespace quib::devcore
