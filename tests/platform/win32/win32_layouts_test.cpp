// The sizes and offsets Microsoft documents for the structures the device ports exchange with Windows,
// checked against the headers this build compiles with. Each build checks its own bitness; the x86 and
// x64 builds together check both.
#include <cstddef>

#include "platform/win32/win32_device_headers.h"

namespace win32_test {
namespace {

constexpr bool k64 = sizeof(void*) == 8;
constexpr std::size_t pick(std::size_t x86, std::size_t x64) {
    return k64 ? x64 : x86;
}

// ntddscsi.h
static_assert(sizeof(SCSI_PASS_THROUGH) == pick(44, 56));
static_assert(offsetof(SCSI_PASS_THROUGH, DataTransferLength) == 12);
static_assert(offsetof(SCSI_PASS_THROUGH, TimeOutValue) == 16);
static_assert(offsetof(SCSI_PASS_THROUGH, DataBufferOffset) == pick(20, 24));
static_assert(offsetof(SCSI_PASS_THROUGH, SenseInfoOffset) == pick(24, 32));
static_assert(offsetof(SCSI_PASS_THROUGH, Cdb) == pick(28, 36));
static_assert(sizeof(SCSI_PASS_THROUGH_DIRECT) == pick(44, 56));
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, DataBuffer) == pick(20, 24));
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, SenseInfoOffset) == pick(24, 32));
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, Cdb) == pick(28, 36));

// winioctl.h
static_assert(sizeof(STORAGE_DEVICE_NUMBER) == 12);
static_assert(sizeof(STORAGE_PROPERTY_QUERY) == 12);
static_assert(sizeof(STORAGE_DESCRIPTOR_HEADER) == 8);
static_assert(sizeof(STORAGE_DEVICE_DESCRIPTOR) == 40);
static_assert(offsetof(STORAGE_DEVICE_DESCRIPTOR, RemovableMedia) == 10);
static_assert(offsetof(STORAGE_DEVICE_DESCRIPTOR, VendorIdOffset) == 12);
static_assert(offsetof(STORAGE_DEVICE_DESCRIPTOR, SerialNumberOffset) == 24);
static_assert(offsetof(STORAGE_DEVICE_DESCRIPTOR, BusType) == 28);
static_assert(offsetof(STORAGE_DEVICE_DESCRIPTOR, RawDeviceProperties) == 36);
static_assert(sizeof(DISK_GEOMETRY) == 24);
static_assert(offsetof(DISK_GEOMETRY, BytesPerSector) == 20);
static_assert(offsetof(DISK_GEOMETRY_EX, DiskSize) == 24);
static_assert(offsetof(DISK_GEOMETRY_EX, Data) == 32);
static_assert(sizeof(DISK_EXTENT) == 24);
static_assert(offsetof(DISK_EXTENT, StartingOffset) == 8);
static_assert(sizeof(VOLUME_DISK_EXTENTS) == 32);
static_assert(offsetof(VOLUME_DISK_EXTENTS, Extents) == 8);

// usbioctl.h: packed to single bytes on both bitnesses
static_assert(sizeof(USB_NODE_CONNECTION_INFORMATION) == 35);
static_assert(sizeof(USB_NODE_CONNECTION_INFORMATION_EX) == 35);
static_assert(offsetof(USB_NODE_CONNECTION_INFORMATION_EX, DeviceDescriptor) == 4);
static_assert(offsetof(USB_NODE_CONNECTION_INFORMATION_EX, Speed) == 23);
static_assert(offsetof(USB_NODE_CONNECTION_INFORMATION_EX, DeviceIsHub) == 24);
static_assert(offsetof(USB_NODE_CONNECTION_INFORMATION_EX, ConnectionStatus) == 31);
static_assert(sizeof(USB_DESCRIPTOR_REQUEST) == 12);
static_assert(offsetof(USB_DESCRIPTOR_REQUEST, SetupPacket) == 4);
static_assert(sizeof(USB_NODE_INFORMATION) == 76);
static_assert(offsetof(USB_NODE_INFORMATION, u.HubInformation.HubDescriptor.bNumberOfPorts) == 6);
static_assert(offsetof(USB_HCD_DRIVERKEY_NAME, DriverKeyName) == 4);
static_assert(offsetof(USB_ROOT_HUB_NAME, RootHubName) == 4);
static_assert(offsetof(USB_NODE_CONNECTION_NAME, NodeName) == 8);
static_assert(offsetof(USB_NODE_CONNECTION_DRIVERKEY_NAME, DriverKeyName) == 8);

// setupapi.h: packed to single bytes on x86, to eight on x64
static_assert(sizeof(SP_DEVINFO_DATA) == pick(28, 32));
static_assert(offsetof(SP_DEVINFO_DATA, DevInst) == 20);
static_assert(sizeof(SP_DEVICE_INTERFACE_DATA) == pick(28, 32));
static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W) == pick(6, 8));
static_assert(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath) == 4);

}  // namespace
}  // namespace win32_test
