// Disk and volume contents, volume locks and partitions on Windows: ReadFile/WriteFile at a file pointer,
// the FSCTL volume controls and the IOCTL_DISK partition requests, through the device call table.
#include <cstring>
#include <vector>

#include "platform/backends.h"
#include "platform/win32/win32_control.h"
#include "platform/win32/win32_storage.h"
#include "platform/win32/win32_volumes.h"

namespace quib::platform {
namespace {

bool seekTo(DeviceHandle handle, std::uint64_t offset) {
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(offset);
    if (deviceCalls().setFilePointerEx(win32::toHandle(handle), to, nullptr, FILE_BEGIN)) return true;
    win32::carryLastError();
    return false;
}

bool control(DeviceHandle handle, DWORD code) {
    DWORD returned = 0;
    if (!win32::ioControl(handle, code, nullptr, 0, nullptr, 0, returned)) return false;
    setLastError(kErrorSuccess);
    return true;
}

}  // namespace

std::optional<std::uint32_t> Win32Storage::readAt(DeviceHandle handle, std::uint64_t offset,
                                                  std::span<std::uint8_t> data) {
    if (!seekTo(handle, offset)) return std::nullopt;
    DWORD read = 0;
    if (!deviceCalls().readFile(win32::toHandle(handle), data.data(), static_cast<DWORD>(data.size()), &read,
                                nullptr)) {
        win32::carryLastError();
        return std::nullopt;
    }
    setLastError(kErrorSuccess);
    return std::min<std::uint32_t>(read, static_cast<std::uint32_t>(data.size()));
}

std::optional<std::uint32_t> Win32Storage::writeAt(DeviceHandle handle, std::uint64_t offset,
                                                   std::span<const std::uint8_t> data) {
    if (!seekTo(handle, offset)) return std::nullopt;
    DWORD written = 0;
    if (!deviceCalls().writeFile(win32::toHandle(handle), data.data(), static_cast<DWORD>(data.size()),
                                 &written, nullptr)) {
        win32::carryLastError();
        return std::nullopt;
    }
    setLastError(kErrorSuccess);
    return std::min<std::uint32_t>(written, static_cast<std::uint32_t>(data.size()));
}

bool Win32Storage::lockVolume(DeviceHandle volume) {
    return control(volume, FSCTL_LOCK_VOLUME);
}
bool Win32Storage::dismountVolume(DeviceHandle volume) {
    return control(volume, FSCTL_DISMOUNT_VOLUME);
}
bool Win32Storage::unlockVolume(DeviceHandle volume) {
    return control(volume, FSCTL_UNLOCK_VOLUME);
}
bool Win32Storage::updateProperties(DeviceHandle disk) {
    return control(disk, IOCTL_DISK_UPDATE_PROPERTIES);
}

std::optional<PartitionInfo> Win32Storage::partitionInfo(DeviceHandle handle) {
    PARTITION_INFORMATION_EX ex{};
    DWORD returned = 0;
    if (!win32::ioControl(handle, IOCTL_DISK_GET_PARTITION_INFO_EX, nullptr, 0, &ex, sizeof ex, returned))
        return std::nullopt;
    if (returned < sizeof ex) return win32::failWith<PartitionInfo>(kErrorGenFailure);
    PartitionInfo info;
    info.style = ex.PartitionStyle == PARTITION_STYLE_MBR   ? PartitionStyle::Mbr
                 : ex.PartitionStyle == PARTITION_STYLE_GPT ? PartitionStyle::Gpt
                                                            : PartitionStyle::Raw;
    info.startingOffset = ex.StartingOffset.QuadPart;
    info.partitionLength = ex.PartitionLength.QuadPart;
    info.partitionNumber = ex.PartitionNumber;
    if (info.style == PartitionStyle::Mbr) {
        info.mbrType = ex.Mbr.PartitionType;
        info.bootIndicator = ex.Mbr.BootIndicator != FALSE;
        info.hiddenSectors = ex.Mbr.HiddenSectors;
    } else if (info.style == PartitionStyle::Gpt) {
        std::memcpy(info.gptType.data(), &ex.Gpt.PartitionType, 16);
    }
    setLastError(kErrorSuccess);
    return info;
}

bool Win32Storage::setPartitionType(DeviceHandle volume, std::uint8_t type) {
    SET_PARTITION_INFORMATION set{};
    set.PartitionType = type;
    DWORD returned = 0;
    if (!win32::ioControl(volume, IOCTL_DISK_SET_PARTITION_INFO, &set, sizeof set, nullptr, 0, returned))
        return false;
    setLastError(kErrorSuccess);
    return true;
}

std::optional<std::uint32_t> Win32Storage::partitionCount(DeviceHandle disk) {
    // Room for one more entry each time the system finds the buffer too small.
    std::size_t entries = 4;
    for (int attempt = 0; attempt < 64; ++attempt, ++entries) {
        const std::size_t size = offsetof(DRIVE_LAYOUT_INFORMATION_EX, PartitionEntry) +
                                 entries * sizeof(PARTITION_INFORMATION_EX);
        std::vector<std::uint64_t> room((size + 7) / 8, 0);
        DWORD returned = 0;
        if (win32::ioControl(disk, IOCTL_DISK_GET_DRIVE_LAYOUT_EX, nullptr, 0, room.data(),
                             static_cast<DWORD>(size), returned)) {
            if (returned < offsetof(DRIVE_LAYOUT_INFORMATION_EX, PartitionEntry))
                return win32::failWith<std::uint32_t>(kErrorGenFailure);
            DRIVE_LAYOUT_INFORMATION_EX layout;
            std::memcpy(&layout, room.data(), offsetof(DRIVE_LAYOUT_INFORMATION_EX, PartitionEntry));
            setLastError(kErrorSuccess);
            return layout.PartitionCount;
        }
        if (!win32::wantsMoreRoom(lastError())) return std::nullopt;
    }
    return win32::failWith<std::uint32_t>(kErrorInsufficientBuffer);
}

std::optional<Volumes::Information> Win32Volumes::volumeInformation(const std::string& rootPath) {
    wchar_t label[MAX_PATH + 1] = {};
    wchar_t fileSystem[MAX_PATH + 1] = {};
    DWORD serial = 0, longest = 0, flags = 0;
    if (!deviceCalls().getVolumeInformation(utf8ToWide(rootPath).c_str(), label, MAX_PATH + 1, &serial,
                                            &longest, &flags, fileSystem, MAX_PATH + 1)) {
        win32::carryLastError();
        return std::nullopt;
    }
    setLastError(kErrorSuccess);
    return Information{win32::wideText(std::span<const wchar_t>(fileSystem)),
                       win32::wideText(std::span<const wchar_t>(label)), serial};
}

std::optional<std::uint64_t> Win32Volumes::freeBytes(const std::string& rootPath) {
    ULARGE_INTEGER free{}, total{}, totalFree{};
    if (!deviceCalls().getDiskFreeSpaceEx(utf8ToWide(rootPath).c_str(), &free, &total, &totalFree)) {
        win32::carryLastError();
        return std::nullopt;
    }
    setLastError(kErrorSuccess);
    return free.QuadPart;
}

bool Win32Volumes::setVolumeLabel(const std::string& rootPath, const std::string& label) {
    if (!deviceCalls().setVolumeLabel(utf8ToWide(rootPath).c_str(), utf8ToWide(label).c_str())) {
        win32::carryLastError();
        return false;
    }
    setLastError(kErrorSuccess);
    return true;
}

}  // namespace quib::platform
