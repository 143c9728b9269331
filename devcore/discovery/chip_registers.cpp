// Reads and decodes the chip registers that describe a bridge.
#include <cstdio>
#include <optional>

#include "common/log/debug_log.h"
#include "devcore/device/quib_usb_dev.h"
#include "devcore/discovery/register_decoding.h"

using namespace quib;
using namespace quib::devcore;

std::optional<std::uint8_t> CQuibUSBDev::readRegisterByte(DeviceHandle hDev, std::uint16_t wAddress) {
    std::uint8_t value = 0;
    if (SCSI7120_AccessRegister(hDev, &value, 0, wAddress, 1) != 0) return std::nullopt;
    return value;
}

std::uint8_t CQuibUSBDev::ucGetDeviceType(DeviceHandle hDev, const std::string& strChipNumber) {
    const auto chipType = readRegisterByte(hDev, kRegChipType);
    if (!chipType) return DEV_UNKNOW;
    std::optional<std::uint8_t> package;
    if (strChipNumber == kChipNumber7120 && ((*chipType >> 4) & 0x7) == 3)
        package = readRegisterByte(hDev, kRegChipPackage);
    return decodeDeviceType(strChipNumber, *chipType, package);
}

std::string CQuibUSBDev::strGetChipType(DeviceHandle hDev) {
    const auto chipType = readRegisterByte(hDev, kRegChipType);
    std::optional<std::uint8_t> package;
    if (chipType && (*chipType & 0x30) == 0x30 && !(*chipType & 0x40))
        package = readRegisterByte(hDev, kRegChipPackage);
    return chipTypeSelector(chipType, package);
}

std::string CQuibUSBDev::strGetFirmwareVersion(DeviceHandle hDev) {
    std::uint8_t version[7] = {};
    if (SCSI7120_AccessRegister(hDev, version, 0, kRegFirmwareVersion, sizeof version) != 0) return {};
    char text[16];
    std::snprintf(text, sizeof text, "%02x%02x%02x%02x%02x%02x", version[0], version[1], version[2],
                  version[3], version[4], version[5]);
    return text;
}

std::uint8_t CQuibUSBDev::ucGetUSBMode(DeviceHandle hDev, std::uint8_t ucDevType) {
    constexpr auto kFn = "CQuibUSBDev::ucGetUSBMode";
    std::uint8_t value = 0;
    const int iResult = SCSI7120_AccessRegister(hDev, &value, 0, kRegUsbMode, 1);
    if (iResult != 0) {
        LogError("%s:%d: SCSI7120_AccessRegister Failed, Error =0x%02x", kFn, __LINE__,
                 static_cast<unsigned>(iResult));
        return kUnknownByte;
    }
    const std::uint8_t ucMode = decodeUsbMode(ucDevType, value);
    LogMessage("%s:%d: CurrentStreamMode:[%s]", kFn, __LINE__, ucMode == kStreamModeUas ? "UAS" : "BOT");
    return ucMode;
}

void CQuibUSBDev::vGetUsbConnectionStatus(DeviceHandle hDev, USBDevEntry& entry) {
    const bool b850B = entry.m_strChipType == kChipType850B;
    entry.strLinkStatus.clear();
    const auto speed = readRegisterByte(hDev, b850B ? kRegLinkSpeed850B : kRegLinkSpeed);
    if (!speed) return;
    std::string strStatus = linkSpeedText(*speed);
    if (*speed == 2) {
        if (b850B) {
            const auto detail = readRegisterByte(hDev, kRegLinkDetail850B);
            if (!detail) return;
            if (*detail & 0x04) strStatus = "PLUS";
        } else {
            const auto plus = readRegisterByte(hDev, kRegLinkPlus);
            if (!plus) return;
            if (*plus == 1) strStatus = "PLUS";
        }
    }
    if (b850B) {
        const auto lanes = readRegisterByte(hDev, kRegLinkDetail850B);
        if (!lanes) return;
        strStatus += (*lanes & 0x10) ? " x2" : " x1";
    } else if (entry.m_strChipType == kChipType850A && (strStatus == "SUPER" || strStatus == "PLUS")) {
        strStatus += " x1";
    }
    entry.strLinkStatus = strStatus;
}

int CQuibUSBDev::ucGetUsbSpeed(DeviceHandle hDev, std::uint8_t ucDevType, std::uint8_t& ucSpeed) {
    constexpr auto kFn = "CQuibUSBDev::ucGetUsbSpeed";
    ucSpeed = kUnknownByte;
    const std::uint16_t wSpeedReg = ucDevType == 7 ? kRegLinkSpeed850B : kRegLinkSpeed;
    std::uint8_t value = 0;
    int iResult = SCSI7120_AccessRegister(hDev, &value, 0, wSpeedReg, 1);
    if (iResult != 0) {
        LogError("%s:%d: SCSI7120_AccessRegister [0x%x] failed", kFn, __LINE__, wSpeedReg);
        return iResult;
    }
    if (value == 0 || value == 1) {
        ucSpeed = value;
        return 0;
    }
    if (value != 2) return 0;

    const std::uint16_t wDetailReg = ucDevType == 7 ? kRegLinkDetail850B : kRegLinkPlus;
    std::uint8_t detail = 0;
    iResult = SCSI7120_AccessRegister(hDev, &detail, 0, wDetailReg, 1);
    if (iResult != 0) {
        LogError("%s:%d: SCSI7120_AccessRegister [0x%x]", kFn, __LINE__, wDetailReg);
        return iResult;
    }
    if (ucDevType == 7) {
        const bool bPlus = detail & 0x04, bTwoLanes = detail & 0x10;
        ucSpeed = bPlus && bTwoLanes ? 5 : bPlus ? 4 : bTwoLanes ? 3 : 2;
    } else {
        ucSpeed = detail == 1 ? 4 : 2;
    }
    return 0;
}

int CQuibUSBDev::nGetCCOrientation(DeviceHandle hDev, std::uint8_t ucDevType) {
    constexpr auto kFn = "CQuibUSBDev::nGetCCOrientation";
    if (!platform::isValid(hDev)) {
        LogError("%s:%d: hDevice is NULL] ", kFn, __LINE__);
        return -1;
    }
    if (ucDevType == DEV_UNKNOW) {
        LogError("%s:%d: ucDevType==DEV_UNKNOW ", kFn, __LINE__);
        return -1;
    }
    if (ucDevType <= 4) return 0;
    std::uint8_t value = 0;
    const int iResult = SCSI7120_AccessRegister(hDev, &value, 0, kRegCCOrientation, 1);
    if (iResult != 0) {
        LogError("%s:%d: SCSI7120_AccessRegister Failed Error=0x%02x", kFn, __LINE__,
                 static_cast<unsigned>(iResult));
        return -1;
    }
    return value & 0x01;
}
