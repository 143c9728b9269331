#include "devcore/discovery/register_decoding.h"

#include <cstdio>

#include "devcore/device/usb_dev_list.h"

namespace quib::devcore {

std::uint8_t decodeDeviceType(const std::string& strChipNumber, std::uint8_t ucChipTypeReg,
                              std::optional<std::uint8_t> ucPackageReg) {
    const unsigned member = (ucChipTypeReg >> 4) & 0x7;
    if (strChipNumber == kChipNumber7120) {
        switch (member) {
            case 0:
            case 1:
            case 2:
            case 5:
                return static_cast<std::uint8_t>(member);
            case 3:
                if (!ucPackageReg) return DEV_UNKNOW;  // the package register could not be read
                return (*ucPackageReg & 0x02) ? 3 : 4;
            default:
                return DEV_UNKNOW;
        }
    }
    if (strChipNumber == kChipNumber8500) {
        if (member == 0) return 6;
        if (member == 1) return 7;
    }
    return DEV_UNKNOW;
}

std::string chipTypeText(std::uint8_t ucDevType) {
    switch (ucDevType) {
        case 0:
            return "A";
        case 1:
            return "B";
        case 2:
            return "C";
        case 3:
        case 4:
            return "D";
        case 5:
            return "E";
        case 6:
            return kChipType850A;
        case 7:
            return kChipType850B;
        default:
            return "Not Defined";
    }
}

std::string mSignatureText(std::uint8_t ucChipTypeReg) {
    char text[4];
    std::snprintf(text, sizeof text, "%x", ucChipTypeReg & 0x0F);
    return text;
}

std::uint8_t decodeGeneration(std::uint8_t ucDevType, std::optional<std::uint8_t> ucGenerationReg) {
    if (ucDevType != 7) return ucDevType;
    if (!ucGenerationReg) return kUnknownByte;
    if (!(*ucGenerationReg & 0x10)) return 5;
    return (*ucGenerationReg & 0x04) ? 3 : 4;
}

std::string chipTypeSelector(std::optional<std::uint8_t> ucChipTypeReg,
                             std::optional<std::uint8_t> ucPackageReg) {
    if (!ucChipTypeReg) return "0";
    const std::uint8_t reg = *ucChipTypeReg;
    const bool bit6 = reg & 0x40, bit5 = reg & 0x20, bit4 = reg & 0x10;
    std::string text;
    if (bit5 || bit4) text += bit6 ? '1' : '0';
    text += bit5 ? '1' : '0';
    text += bit4 ? '1' : '0';
    if (text == "001" && (reg & 0x0F) == 0) return "001_B0";
    if (text == "011") return (ucPackageReg && (*ucPackageReg & 0x02)) ? "011_1" : "011_2";
    return text;
}

std::uint8_t decodeUsbMode(std::uint8_t ucDevType, std::uint8_t ucModeReg) {
    if (ucDevType == 7) return ucModeReg == 1 ? kStreamModeUas : kStreamModeBot;
    return (ucModeReg & 0x80) ? kStreamModeUas : kStreamModeBot;
}

std::string linkSpeedText(std::uint8_t ucSpeedReg) {
    switch (ucSpeedReg) {
        case 0:
            return "FULL";
        case 1:
            return "HIGH";
        case 2:
            return "SUPER";
        default:
            return {};
    }
}

}  // namespace quib::devcore
