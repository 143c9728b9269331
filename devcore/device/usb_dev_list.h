// The process-wide device list: one entry per bridge found by the last scan.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace quib::devcore {

inline constexpr int kMaxDevList = 16;  // entries of the internal list
inline constexpr std::uint8_t kNoNumber = 127;
inline constexpr std::uint8_t kUnknownByte = 255;
inline constexpr std::uint8_t kNumberNotFound = 255;  // no disk or CD-ROM carries the serial number
inline constexpr std::size_t kUpdateWorkAreaSize = 544;
inline constexpr std::size_t kConfigBlockSize = 128;

// Device types and transport modes as the registers decode them.
inline constexpr std::uint8_t DEV_UNKNOW = 255;
inline constexpr std::uint8_t kStreamModeBot = 0;
inline constexpr std::uint8_t kStreamModeUas = 1;

struct USBDevEntry {
    std::uint8_t ucSlotIndex = kUnknownByte;
    char m_cDriveLetter = static_cast<char>(kNoNumber);
    // Scratch of the update paths; cleared at each scan.
    std::array<std::uint8_t, kUpdateWorkAreaSize> ucUpdateWorkArea{};
    std::uint32_t dwBytesPerSector = 0;
    std::int32_t nWorkingValue1 = -1;  // after a PD/MCU update: 1 it succeeded, 0 it failed
    std::int32_t nWorkingValue2 = -1;

    std::uint8_t ucIsCdrom = 0;
    std::uint8_t m_ucPhysicalAddress = kNoNumber;  // disk number
    std::uint8_t ucCdromNumber = kNoNumber;

    std::string strPid, strVid;  // four upper-case hex digits
    std::string strSerialNumber, strManufacturer, strProduct;
    std::string strDeviceRelease;  // four lower-case hex digits

    std::int32_t iLocation = -1;
    std::string strFwVersion;  // twelve lower-case hex digits, empty when unreadable
    std::string m_strChipType;
    std::string strMSignature;
    std::string strChipTypeSelector;

    std::uint8_t m_ucDevType = DEV_UNKNOW;
    std::uint8_t ucGeneration = kUnknownByte;
    std::uint8_t ucStreamMode = kUnknownByte;
    std::uint8_t ucSpeed = kUnknownByte;
    std::uint8_t m_ucChipPackage = kUnknownByte;
    std::uint8_t ucCCOrientation = kUnknownByte;

    std::string strHubDeviceName;  // openable path of the hub the device hangs on
    std::string strHostControllerHardwareId;
    std::int32_t iPortNumber = 0;
    std::int32_t iPortCount = 0;
    std::uint32_t dwFlag = 0;

    std::string strLinkStatus;

    // The firmware version or the chip type could not be read when the bridge was found: such a bridge is
    // never taken for one the image does not suit, its update fails.
    bool bIdentityUnread = false;

    // The device's configuration block, read from and written to the chip by the update paths.
    std::array<std::uint8_t, kConfigBlockSize> ucConfigBlock{};
};

// 0 for a 7120 bridge, 1 for an 8500 (PCIe) bridge, from the entry's chip type.
inline int bridgeTypeOf(const USBDevEntry& entry) {
    return entry.m_strChipType.rfind("850", 0) == 0 ? 1 : 0;
}

struct USBDevList {
    std::int32_t nDevCount = 0;
    std::uint8_t ucCdromFound = 0;  // a bridge in its CD-ROM state was found; never cleared
    std::array<USBDevEntry, kMaxDevList> Devs{};

    // Full-scan reset: every entry to its clear values, the count to 0.
    void resetEntries();
};

}  // namespace quib::devcore
