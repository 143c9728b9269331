// Shared pieces of the update paths: the list entry a call addresses, the device paths formed from it,
// the process-wide chip type of the image being programmed, and the registry's disk count.
#pragma once

#include <cstdint>
#include <string>

#include "devcore/device/quib_usb_dev.h"
#include "devcore/device/usb_dev_list.h"

namespace quib::fwupdate {

// The entry of the device object's list; nullptr when there is no list or the index lies outside it.
devcore::USBDevEntry* listEntry(CQuibUSBDev& dev, std::uint8_t ucTargetNumber);
// "\\\\.\\CDROM<n>" for a CD-ROM bridge, "\\\\.\\PHYSICALDRIVE<n>" otherwise.
std::string devicePathOf(const devcore::USBDevEntry& entry);

// The chip type the image being programmed is built for (m_strFwType): set by the update paths, read
// by the customised checks within the same call.
std::string& fwType();

// The number of disks the system knows (the detection count of a relink).
std::uint8_t diskRegisterCount();

using devcore::bridgeTypeOf;

}  // namespace quib::fwupdate
