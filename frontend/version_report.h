// The version report "KRV610xVersion.txt": one line "<index>:<version>\r\n" per device.
#pragma once

#include <string>

#include "include/quibusb.h"

namespace quib::frontend {

inline constexpr std::wstring_view kVersionReportFileName = L"KRV610xVersion.txt";

// The report's bytes: "%d:%012s\r\n" per device in list order, versions shorter than 12 characters padded
// on the left with '0'.
std::string versionReportText(const USBDevListExp& list);

// Writes the report into the tool folder (replacing an older one): 0, or -1 when it cannot be created.
int nOutputVerTextFile(const std::wstring& strToolFolder, const USBDevListExp& list);

}  // namespace quib::frontend
