// The names the system sees for each node of a bench: driver keys, instance IDs, interface paths.
// All are fixed by the description, so every module over one bench computes the same names.
#pragma once

#include <string>
#include <vector>

#include "bench/description.h"

namespace bench {

inline constexpr const char* kUsbClassGuid = "{36FC9E60-C465-11CF-8056-444553540000}";
inline constexpr const char* kDiskDriveClassGuid = "{4D36E967-E325-11CE-BFC1-08002BE10318}";
inline constexpr const char* kCdromClassGuid = "{4D36E965-E325-11CE-BFC1-08002BE10318}";
inline constexpr const char* kHostControllerInterfaceGuid = "{3ABF6F2D-71C4-462A-8A92-1E6861E6AF27}";
inline constexpr const char* kUsbDeviceInterfaceGuid = "{A5DCBF10-6530-11D2-901F-00C04FB951ED}";
inline constexpr const char* kDiskInterfaceGuid = "{53F56307-B6BF-11D0-94F2-00A0C91EFB8B}";
inline constexpr const char* kCdromInterfaceGuid = "{53F56308-B6BF-11D0-94F2-00A0C91EFB8B}";

struct NodeNames {
    std::string driverKey;      // "{class guid}\\0007"
    std::string instanceId;     // "USB\\VID_3F10&PID_7120\\KRVB00000001"
    std::string interfacePath;  // "\\\\?\\usb#vid_3f10&pid_7120#krvb00000001#{a5dcbf10-...}" (empty: none)
};

struct StorageNames {
    std::string driverKey;      // disk-drive or CD-ROM class
    std::string instanceId;     // "USBSTOR\\DISK&VEN_KRV&PROD_USB3.0_BRIDGE&REV_0100\\KRVB00000001&0"
    std::string interfacePath;  // "\\\\?\\usbstor#disk&ven_krv&...#krvb00000001&0#{53f56307-...}"
};

struct TopologyNames {
    std::vector<NodeNames> controllers;  // interface path of the host-controller interface class
    std::vector<NodeNames> hubs;         // interface path: none for root hubs
    std::vector<NodeNames> bridges;      // the USB device of each bridge
    std::vector<StorageNames> bridgeStorage;
    std::vector<NodeNames> devices;
    std::vector<StorageNames> systemDisks;
};

TopologyNames nameTopology(const BenchDescription& description);

// "Port_#0002.Hub_#0003": where a device sits, as the registry property LocationInformation shows it.
std::string locationText(int hub, std::uint32_t port);

}  // namespace bench
