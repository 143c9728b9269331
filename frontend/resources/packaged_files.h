// The files this program carries inside its executable (type "EXTFILES"): 136 the device library,
// 137 the bridge firmware image, 138 the settings file, 139 the firmware list.
#pragma once

namespace quib::frontend {

inline constexpr int kResourceLibrary = 136;
inline constexpr int kResourceFirmwareImage = 137;
inline constexpr int kResourceSettings = 138;
inline constexpr int kResourceFirmwareList = 139;
inline constexpr const char* kResourceType = "EXTFILES";

// Makes the packaged files known to the platform's resource lookup. Call once, first thing in main.
void registerPackagedFiles();

}  // namespace quib::frontend
