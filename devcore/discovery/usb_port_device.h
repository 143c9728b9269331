// What the USB walk learned about one device on a hub port.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace quib::devcore {

struct UsbIdentity {
    std::uint16_t usLanguageID = 0;
    std::string strVid, strPid;    // four upper-case hex digits
    std::string strDeviceRelease;  // four lower-case hex digits
    std::string strManufacturer, strProduct, strSerialNumber;
};

struct UsbPortDevice {
    platform::DeviceHandle hHub = platform::kInvalidHandle;
    std::string strHubDeviceName;  // openable path of the hub
    std::uint32_t ulPort = 0;
    std::uint32_t ulPortCount = 0;
    int iHubDepth = 0;
    int iLocation = -1;
    std::string strHostControllerHardwareId;
    std::string strDriverKeyName;
    std::string strDescription;
    UsbIdentity identity;
};

// Reads the identity strings of the device on a hub port (language from string descriptor 0).
UsbIdentity readUsbIdentity(platform::DeviceHandle hHub, std::uint32_t ulPort,
                            const platform::UsbDeviceDescriptor& descriptor);

}  // namespace quib::devcore
