// Rules that turn what the library reports into the program's results.
#pragma once

#include <array>
#include <span>
#include <string>
#include <string_view>

#include "include/quibusb.h"

namespace quib::frontend {

// Exit codes of the connection-status query.
inline constexpr int kExitFullSpeed = 6;
inline constexpr int kExitHighSpeed = 7;
inline constexpr int kExitSuperSpeed = 8;
inline constexpr int kExitSuperSpeedPlus = 9;

// "FULL", "HIGH", "SUPER", "PLUS" (any case) give 6 to 9; any other text (a lane suffix included) -13.
int exitCodeForLinkStatus(std::string_view status);

// The settings' version list: up to 16 entries separated by ";", each trimmed; missing entries are empty.
inline constexpr std::size_t kVersionListEntries = 16;
std::array<std::wstring, kVersionListEntries> splitVersionList(std::wstring_view list);

// Outcome of updating every device: the first failure other than "check failed" (-3), in device order;
// otherwise 0 when any device succeeded; -3 when every device (or none at all) gave -3.
int allDevicesOutcome(std::span<const int> results);

// Number of valid entries of a device list, kept within the list's capacity.
int deviceCount(const USBDevListExp& list);

}  // namespace quib::frontend
