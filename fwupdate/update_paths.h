// The programming paths of a bridge update and the dispatcher that chooses among them. Each returns a
// code of the update's table: 0, -1 write or verify failed, -2 package mismatch, -3 a check failed, -5 no
// image or unreadable ROM file, -7 restart failed, -8 building a file failed, -10 invalid ROM file.
#pragma once

#include <cstdint>

#include "devcore/device/usb_dev_list.h"
#include "include/quibusb.h"

namespace quib::fwupdate {

int vUpdateFW_BIN(const ExchangeData& exchange, std::uint8_t ucTargetNumber);
int vUpdateFW_ROM(const ExchangeData& exchange, std::uint8_t ucTargetNumber);
int vUpdateFW_WPacked_740QS(const ExchangeData& exchange, std::uint8_t ucTargetNumber);

// Chooses the path by the image name, then restarts the bridge and waits for its version when asked.
int updateFirmware(std::uint8_t ucTargetNumber, const ExchangeData& exchange);

// The customised checks of an entry against the image chip type set by the running path.
int customizedCheck(std::uint8_t ucTargetNumber, const ExchangeData& exchange);

// Whether a write is read back: not for a UAS bridge running a version dated before 141126.
bool bVerifyFor(const devcore::USBDevEntry& entry);

}  // namespace quib::fwupdate
