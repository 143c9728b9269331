// Control requests to a USB device through its usbfs node (/dev/bus/usb/BBB/DDD), with the kernel's errors
// in the system's numbering. Every request goes through one call, which tests replace.
#pragma once

#include <linux/usbdevice_fs.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace quib::platform::usbfs {

// Opens `node`, sends the transfer and closes it: the bytes moved, or -1 with errno set.
using ControlCall = int (*)(const std::string& node, usbdevfs_ctrltransfer& transfer);
// Replaces the call (nullptr: the kernel's again); returns the one it replaces.
ControlCall setControlCall(ControlCall call);

// The node of a device: "<devRoot>/bus/usb/001/004".
std::string nodeOf(const std::string& devRoot, std::uint32_t bus, std::uint32_t address);

// A device-to-host request; the answer is cut to what the device sent. Nothing, with the last error set,
// when it failed: 87 for a zero length (never sent), 31 for a stall, 1167 for a device gone, 5 for no
// access, 121 for a time-out.
std::optional<std::vector<std::uint8_t>> request(const std::string& node, const SetupPacket& setup);

}  // namespace quib::platform::usbfs
