// The library's entry points the program binds by name.
#pragma once

#include <cstdint>

#include "include/quibusb.h"

namespace quib::frontend {

using PfnScanUSBPort = decltype(&QuibUSBLib_Function_vScanUSBPort);
using PfnBuildBinFile = decltype(&QuibUSBLib_Function_BuildBinFile);
using PfnUpdateFirmware = decltype(&QuibUSBLib_Function_vUpdateFirmware);
using PfnSetDllDebugLevel = decltype(&QuibUSBLib_Function_vSetDllDebugLevel);
using PfnShowPDVersion = decltype(&QuibUSBLib_Function_vShowPDVersion);
using PfnUpdatePDFirmware = decltype(&QuibUSBLib_Function_vUpdatePDFirmware);
using PfnShowUSBStatus = decltype(&QuibUSBLib_vShowUSBStatus);

// The library does not read the update's tag argument.
inline constexpr std::uint16_t kUpdateFirmwareTag = 0;

}  // namespace quib::frontend
