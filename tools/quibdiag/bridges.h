// Finding a bridge through the library's scan. quibdiag numbers the bridges of both families in one list:
// the USB-to-SATA bridges ("7120") first, then the USB-to-PCIe ones ("8500"). The library keeps the list
// of its last scan only, so selecting a bridge scans its family last and the library's index is valid.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "include/quibusb.h"

namespace quibdiag {

struct Bridge {
    int index = 0;                  // in quibdiag's list
    std::uint8_t libraryIndex = 0;  // in the library's list after the selecting scan
    std::string family;             // "7120" or "8500"
    std::uint8_t deviceType = 0xFF;
    std::string chipType, vid, pid, manufacturer, product, serial, firmware, linkStatus;
    int diskNumber = 0;
    char driveLetter = 0;  // the volume on its drive; 0 when it has none
    bool pcie() const { return family == "8500"; }
};

std::vector<Bridge> scanBridges();
// Throws DiagError NoSuchBridge when there is no bridge `index`.
Bridge selectBridge(int index);

nlohmann::json bridgeJson(const Bridge& bridge);
// Throws DiagError DeviceFailure naming what failed and the library's result when `result` is not 0.
void requireSuccess(int result, const std::string& what);

}  // namespace quibdiag
