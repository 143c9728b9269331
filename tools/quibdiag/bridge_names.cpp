#include "tools/quibdiag/bridge_names.h"

namespace quibdiag {

std::string chipTypeName(std::uint8_t deviceType) {
    switch (deviceType) {
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
            return "850A";
        case 7:
            return "850B";
        default:
            return "not defined";
    }
}

std::string usbSpeedName(std::uint8_t code) {
    switch (code) {
        case 0:
            return "full speed (12 Mb/s)";
        case 1:
            return "high speed (480 Mb/s)";
        case 2:
            return "SuperSpeed (5 Gb/s)";
        case 3:
            return "SuperSpeed x2 (10 Gb/s)";
        case 4:
            return "SuperSpeedPlus (10 Gb/s)";
        case 5:
            return "SuperSpeedPlus x2 (20 Gb/s)";
        default:
            return "unknown";
    }
}

std::string pcieGenerationName(std::uint8_t code) {
    return code <= 2 ? "Gen" + std::to_string(code + 1) : "unknown";
}

std::string pcieWidthName(std::uint8_t code) {
    return code <= 2 ? "x" + std::to_string(1 << code) : "unknown";
}

std::string libraryResultText(int result) {
    const char* meaning = "failure";
    switch (result) {
        case 0:
            meaning = "success";
            break;
        case -1:
            meaning = "the command failed";
            break;
        case -2:
            meaning = "image does not fit the chip";
            break;
        case -3:
            meaning = "not this kind of device";
            break;
        case -4:
            meaning = "no device found";
            break;
        case -5:
            meaning = "the device could not be opened";
            break;
        case -7:
            meaning = "the bridge did not come back";
            break;
        case -10:
            meaning = "arguments refused";
            break;
        case -13:
            meaning = "unknown transport";
            break;
        default:
            break;
    }
    return std::to_string(result) + " (" + meaning + ")";
}

}  // namespace quibdiag
