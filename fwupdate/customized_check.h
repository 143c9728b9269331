// The settings-driven checks that decide whether an image may go onto a device.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "include/quibusb.h"

namespace quib::fwupdate {

// The device's values the checks compare.
struct DeviceValues {
    std::string chipType, fwVersion, mSignature, manufacturer, product, vid, pid;
};

struct CheckOutcome {
    int result = 0;       // 0 pass, -3 a check failed
    std::string message;  // what passed or failed, as logged
};

// The fields of a ';'-separated list: at most the first 16, empty fields skipped.
std::vector<std::string> listFields(std::string_view list);
// Leading decimal digits (after blanks); 0 when there are none.
long decimalNumber(std::string_view text);

// The checks in their order: chip type always, then those the enable bytes switch on. The first failure
// decides.
CheckOutcome runCustomizedChecks(int iTargetNumber, const DeviceValues& device, const ExchangeData& exchange,
                                 std::string_view strFwType);

}  // namespace quib::fwupdate
