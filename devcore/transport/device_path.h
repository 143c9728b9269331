// Device paths and handles of the disks and CD-ROMs a bridge presents.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "platform/platform.h"

namespace quib::devcore {

inline constexpr const char* kPhysicalDrive = "PHYSICALDRIVE";
inline constexpr const char* kCdrom = "CDROM";

// "\\\\.\\PHYSICALDRIVE3", "\\\\.\\CDROM1".
std::string makeDevicePath(const char* kind, int number);
std::string makeDevicePath(bool cdrom, int number);

// Opens a device for read and write, shared for read and write, existing only.
platform::DeviceHandle openDevice(const std::string& path);

// Owns one open handle for the length of an operation.
class ScopedDevice {
  public:
    ScopedDevice() = default;
    explicit ScopedDevice(platform::DeviceHandle handle) : m_hDev(handle) {}
    ScopedDevice(const std::string& path, std::uint32_t access);
    ~ScopedDevice() { close(); }
    ScopedDevice(const ScopedDevice&) = delete;
    ScopedDevice& operator=(const ScopedDevice&) = delete;
    ScopedDevice(ScopedDevice&& other) noexcept
        : m_hDev(std::exchange(other.m_hDev, platform::kInvalidHandle)) {}
    ScopedDevice& operator=(ScopedDevice&& other) noexcept {
        if (this != &other) {
            close();
            m_hDev = std::exchange(other.m_hDev, platform::kInvalidHandle);
        }
        return *this;
    }

    platform::DeviceHandle get() const { return m_hDev; }
    bool valid() const { return platform::isValid(m_hDev); }
    void close();

  private:
    platform::DeviceHandle m_hDev = platform::kInvalidHandle;
};

}  // namespace quib::devcore
