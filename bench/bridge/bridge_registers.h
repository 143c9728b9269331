// The chip register space of a bridge as it reads after a boot, derived from its description.
#pragma once

#include <cstdint>
#include <span>

#include "bench/bridge/firmware_image.h"
#include "bench/description.h"

namespace bench {

inline constexpr std::size_t kRegisterSpace = 0x10000;

namespace reg {
inline constexpr std::uint16_t kFirmwareVersion = 0x07F0;  // 7 bytes
inline constexpr std::uint16_t kTransport = 0x9000;
inline constexpr std::uint16_t kLinkSpeed = 0x9002;
inline constexpr std::uint16_t kLinkPlus = 0x90E5;
inline constexpr std::uint16_t kLinkSpeed850B = 0x9100;
inline constexpr std::uint16_t kLinkFlags850B = 0x92B8;
inline constexpr std::uint16_t kChipFamily = 0xC8FF;
inline constexpr std::uint16_t kPackage = 0xC895;
inline constexpr std::uint16_t kGeneration = 0xE495;
inline constexpr std::uint16_t kRelinkSignature = 0xCA02;  // and 0xCA03
inline constexpr std::uint16_t kCcOrientation = 0xCACB;
inline constexpr std::uint16_t kDrivePowerSelect = 0xCA84;  // bit 0: the power control drives the drive
inline constexpr std::uint16_t kDrivePowerLevel = 0xCA85;   // bit 0: on
inline constexpr std::uint16_t kGpioOutputEnable = 0xCA30;  // one bit per pin: an output
inline constexpr std::uint16_t kGpioOutputLevel = 0xCA32;
inline constexpr std::uint16_t kGpioInputLevel = 0xCA34;  // the pins' levels as read
inline constexpr std::uint16_t kUartDirection = 0xCA88;   // bit 3 set: the receive pin is driven
inline constexpr std::uint16_t kUartInputLevel = 0xCA8A;  // bit 3: the receive line
inline constexpr std::uint8_t kUartRxBit = 0x08;
inline constexpr std::uint16_t kPcieLink = 0xB4AE;  // PCIe bridges: generation in bits 5..4, lanes in 3..0
}  // namespace reg

// Fills `space` (65536 bytes): every register 0 except those derived from the description, then the raw
// overrides. `running` is the version the booted firmware carries; none (ROM code) reads as zeros.
void deriveRegisters(const BridgeDescription& bridge, const VersionBytes* running,
                     std::span<std::uint8_t> space);

// Bits 6..4 of register 0xC8FF for a device type.
std::uint8_t familyMemberOf(int deviceType);

}  // namespace bench
