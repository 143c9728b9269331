// Which volumes the services may write: only those on a drive behind a bridge of the device list.
#pragma once

#include <cstdint>
#include <string>

namespace quib::services {

// The drive letter the caller names lies on a disk of the device list (never C, never a system disk):
// else the refusal is logged naming kFn and false returned.
bool volumeOnListedBridge(const char* kFn, char cDriveLetter);

// "\\.\E:" for a letter.
std::string volumePath(char cDriveLetter);

}  // namespace quib::services
