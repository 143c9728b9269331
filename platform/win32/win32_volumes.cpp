#include "platform/win32/win32_volumes.h"

#include <cstring>

#include "platform/backends.h"
#include "platform/win32/win32_control.h"

namespace quib::platform {
namespace {

// "\\?\Volume{GUID}\" takes 49 characters and its terminator; room for a longer name is asked once.
constexpr DWORD kVolumeNameChars = 50;
constexpr DWORD kLongVolumeNameChars = 32768;

constexpr DWORD kExtentsAt = offsetof(VOLUME_DISK_EXTENTS, Extents);

}  // namespace

std::optional<std::string> Win32Volumes::volumeNameForMountPoint(const std::string& mountPoint) {
    const std::wstring widePoint = utf8ToWide(mountPoint);
    for (const DWORD chars : {kVolumeNameChars, kLongVolumeNameChars}) {
        std::vector<wchar_t> name(chars, L'\0');
        if (deviceCalls().getVolumeNameForVolumeMountPoint(widePoint.c_str(), name.data(), chars))
            return win32::wideText(std::span<const wchar_t>(name));
        const std::uint32_t error = win32::carryLastError();
        if (error != ERROR_FILENAME_EXCED_RANGE && !win32::wantsMoreRoom(error)) break;
    }
    return std::nullopt;
}

std::optional<std::vector<DiskExtent>> Win32Volumes::diskExtents(DeviceHandle volume) {
    // Room for one extent first; a volume over several disks says how many there are.
    std::size_t size = sizeof(VOLUME_DISK_EXTENTS);
    for (int attempt = 0; attempt < win32::kGrowthAttempts; ++attempt) {
        std::vector<std::uint64_t> room((size + 7) / 8, 0);  // aligned as the extents
        auto* bytes = reinterpret_cast<std::uint8_t*>(room.data());
        DWORD returned = 0;
        const bool ok = win32::ioControl(volume, IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0, bytes,
                                         static_cast<DWORD>(size), returned);
        const std::size_t filled = std::min<std::size_t>(returned, size);
        if (!ok && !(win32::wantsMoreRoom(lastError()) && filled >= kExtentsAt)) return std::nullopt;
        if (filled < kExtentsAt) return win32::failWith<std::vector<DiskExtent>>(kErrorGenFailure);
        DWORD count = 0;
        std::memcpy(&count, bytes, sizeof count);
        const std::size_t needed = kExtentsAt + std::size_t{count} * sizeof(DISK_EXTENT);
        if (!ok || needed > size) {
            if (needed <= size || needed > win32::kLargestAnswer)
                return win32::failWith<std::vector<DiskExtent>>(kErrorGenFailure);
            size = needed;
            continue;
        }
        // Only the extents the answer holds in full.
        const std::size_t held = std::min<std::size_t>(count, (filled - kExtentsAt) / sizeof(DISK_EXTENT));
        std::vector<DiskExtent> out;
        for (std::size_t i = 0; i < held; ++i) {
            DISK_EXTENT e;
            std::memcpy(&e, bytes + kExtentsAt + i * sizeof(DISK_EXTENT), sizeof e);
            out.push_back({e.DiskNumber, e.StartingOffset.QuadPart, e.ExtentLength.QuadPart});
        }
        return out;
    }
    return win32::failWith<std::vector<DiskExtent>>(kErrorInsufficientBuffer);
}

std::uint32_t Win32Volumes::driveType(const std::string& rootPath) {
    return deviceCalls().getDriveType(utf8ToWide(rootPath).c_str());
}

std::uint32_t Win32Volumes::processorArchitecture() {
    SYSTEM_INFO info{};
    deviceCalls().getNativeSystemInfo(&info);
    return info.wProcessorArchitecture;
}

}  // namespace quib::platform
