// Reading the device installation services through the call table: GUIDs as text, an information set
// that is always destroyed, and the variable-sized answers (interface detail, instance ID, registry
// property) asked again with the room the first answer named.
#pragma once

#include <map>
#include <optional>
#include <string>

#include "platform/win32/win32_device_calls.h"

namespace quib::platform::win32 {

// "{3ABF6F2D-71C4-462A-8A92-1E6861E6AF27}" and back (upper case, braces).
std::optional<GUID> guidOf(const std::string& text);
std::string textOf(const GUID& guid);

// An information set from SetupDiGetClassDevsW, destroyed when it goes.
class DeviceInfoSet {
  public:
    DeviceInfoSet(const GUID* guid, DWORD flags);
    ~DeviceInfoSet();
    DeviceInfoSet(const DeviceInfoSet&) = delete;
    DeviceInfoSet& operator=(const DeviceInfoSet&) = delete;

    bool valid() const { return m_set != INVALID_HANDLE_VALUE && m_set != nullptr; }
    HDEVINFO get() const { return m_set; }

  private:
    HDEVINFO m_set;
};

// Enumeration ends at ERROR_NO_MORE_ITEMS; a set never yields more than this.
inline constexpr DWORD kMostSetMembers = 4096;

std::optional<std::string> interfacePath(HDEVINFO set, SP_DEVICE_INTERFACE_DATA& data,
                                         SP_DEVINFO_DATA& device);
std::optional<std::string> instanceIdOf(HDEVINFO set, SP_DEVINFO_DATA& device);
// A text property (REG_SZ, or the first string of a REG_MULTI_SZ); nothing when the device has none.
std::optional<std::string> propertyOf(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property);
// The properties the system reads, by their registry names ("DeviceDesc", "HardwareID", "Driver", ...).
std::map<std::string, std::string> propertiesOf(HDEVINFO set, SP_DEVINFO_DATA& device);

}  // namespace quib::platform::win32
