// The stand-in's file pointer, ReadFile/WriteFile, volume controls, partition requests and volume
// information, answered by the bench's ports in Windows' own layouts.
#include <cstring>
#include <vector>

#include "tests/platform/win32/bench_device_calls.h"
#include "tests/platform/win32/seam_error_kept.h"

namespace win32_test {
namespace qp = quib::platform;

BOOL BenchDeviceCalls::setFilePointerEx(HANDLE file, LARGE_INTEGER distance, PLARGE_INTEGER newPointer,
                                        DWORD moveMethod) {
    const auto key = reinterpret_cast<std::uintptr_t>(file);
    if (!m_handles.count(key)) return fail(ERROR_INVALID_HANDLE);
    const std::int64_t base = moveMethod == FILE_BEGIN     ? 0
                              : moveMethod == FILE_CURRENT ? static_cast<std::int64_t>(m_filePointers[key])
                                                           : -1;
    if (base < 0 || base + distance.QuadPart < 0) return fail(ERROR_INVALID_PARAMETER);
    m_filePointers[key] = static_cast<std::uint64_t>(base + distance.QuadPart);
    if (newPointer) newPointer->QuadPart = static_cast<LONGLONG>(m_filePointers[key]);
    return TRUE;
}

BOOL BenchDeviceCalls::transfer(HANDLE file, std::uint8_t* buffer, DWORD size, LPDWORD moved,
                                LPOVERLAPPED overlapped, bool write) {
    const auto key = reinterpret_cast<std::uintptr_t>(file);
    const auto it = m_handles.find(key);
    if (it == m_handles.end()) return fail(ERROR_INVALID_HANDLE);
    if (moved == nullptr || overlapped != nullptr) return fail(ERROR_INVALID_PARAMETER);
    *moved = 0;
    SeamErrorKept kept;
    const auto done = write ? benchPorts().storage.writeAt(it->second, m_filePointers[key], {buffer, size})
                            : benchPorts().storage.readAt(it->second, m_filePointers[key], {buffer, size});
    if (!done) return fail(kept.portError());
    *moved = *done;
    m_filePointers[key] += *done;
    return TRUE;
}

BOOL BenchDeviceCalls::readFile(HANDLE file, LPVOID buffer, DWORD size, LPDWORD read,
                                LPOVERLAPPED overlapped) {
    return transfer(file, static_cast<std::uint8_t*>(buffer), size, read, overlapped, false);
}

BOOL BenchDeviceCalls::writeFile(HANDLE file, LPCVOID buffer, DWORD size, LPDWORD written,
                                 LPOVERLAPPED overlapped) {
    std::vector<std::uint8_t> copy(static_cast<const std::uint8_t*>(buffer),
                                   static_cast<const std::uint8_t*>(buffer) + size);
    return transfer(file, copy.data(), size, written, overlapped, true);
}

BOOL BenchDeviceCalls::getVolumeInformation(LPCWSTR rootPath, LPWSTR volumeName, DWORD volumeNameSize,
                                            LPDWORD serialNumber, LPDWORD maxComponentLength, LPDWORD flags,
                                            LPWSTR fileSystemName, DWORD fileSystemNameSize) {
    SeamErrorKept kept;
    const auto info = benchPorts().volumes.volumeInformation(narrow(rootPath));
    if (!info) return fail(kept.portError());
    auto put = [this](LPWSTR out, DWORD room, const std::string& text) {
        const std::wstring wide = qp::utf8ToWide(text);
        if (out == nullptr) return true;
        if (wide.size() + 1 > room) return false;
        std::memcpy(out, wide.c_str(), (wide.size() + 1) * sizeof(wchar_t));
        return true;
    };
    if (!put(volumeName, volumeNameSize, info->label) ||
        !put(fileSystemName, fileSystemNameSize, info->fileSystem))
        return fail(ERROR_BAD_LENGTH);
    if (serialNumber) *serialNumber = info->serial;
    if (maxComponentLength) *maxComponentLength = 255;
    if (flags) *flags = 0;
    return TRUE;
}

BOOL BenchDeviceCalls::getDiskFreeSpaceEx(LPCWSTR directory, PULARGE_INTEGER freeToCaller,
                                          PULARGE_INTEGER total, PULARGE_INTEGER totalFree) {
    SeamErrorKept kept;
    const auto free = benchPorts().volumes.freeBytes(narrow(directory));
    if (!free) return fail(kept.portError());
    if (freeToCaller) freeToCaller->QuadPart = *free;
    if (totalFree) totalFree->QuadPart = *free;
    if (total) total->QuadPart = 0;
    return TRUE;
}

BOOL BenchDeviceCalls::setVolumeLabel(LPCWSTR rootPath, LPCWSTR label) {
    SeamErrorKept kept;
    if (!benchPorts().volumes.setVolumeLabel(narrow(rootPath), narrow(label))) return fail(kept.portError());
    return TRUE;
}

std::optional<BenchDeviceCalls::Answer> BenchDeviceCalls::diskControl(qp::DeviceHandle device, DWORD code,
                                                                      const std::uint8_t* in, DWORD inSize,
                                                                      std::uint8_t* out, DWORD outSize) {
    qp::Storage& storage = benchPorts().storage;
    auto result = [](bool ok) { return Answer{ok, 0, ok ? 0 : qp::lastError()}; };
    switch (code) {
        case FSCTL_LOCK_VOLUME:
            return result(storage.lockVolume(device));
        case FSCTL_DISMOUNT_VOLUME:
            return result(storage.dismountVolume(device));
        case FSCTL_UNLOCK_VOLUME:
            return result(storage.unlockVolume(device));
        case IOCTL_DISK_UPDATE_PROPERTIES:
            return result(storage.updateProperties(device));
        case IOCTL_DISK_SET_PARTITION_INFO: {
            if (inSize < sizeof(SET_PARTITION_INFORMATION))
                return Answer{false, 0, ERROR_INSUFFICIENT_BUFFER};
            SET_PARTITION_INFORMATION set;
            std::memcpy(&set, in, sizeof set);
            return result(storage.setPartitionType(device, set.PartitionType));
        }
        case IOCTL_DISK_GET_PARTITION_INFO_EX: {
            if (outSize < sizeof(PARTITION_INFORMATION_EX))
                return Answer{false, 0, ERROR_INSUFFICIENT_BUFFER};
            const auto info = storage.partitionInfo(device);
            if (!info) return result(false);
            PARTITION_INFORMATION_EX ex{};
            ex.PartitionStyle = static_cast<PARTITION_STYLE>(info->style);
            ex.StartingOffset.QuadPart = info->startingOffset;
            ex.PartitionLength.QuadPart = info->partitionLength;
            ex.PartitionNumber = info->partitionNumber;
            if (info->style == qp::PartitionStyle::Mbr) {
                ex.Mbr.PartitionType = info->mbrType;
                ex.Mbr.BootIndicator = info->bootIndicator;
                ex.Mbr.HiddenSectors = info->hiddenSectors;
            } else if (info->style == qp::PartitionStyle::Gpt) {
                std::memcpy(&ex.Gpt.PartitionType, info->gptType.data(), 16);
            }
            std::memcpy(out, &ex, sizeof ex);
            return Answer{true, sizeof ex, 0};
        }
        case IOCTL_DISK_GET_DRIVE_LAYOUT_EX: {
            const auto count = storage.partitionCount(device);
            if (!count) return result(false);
            const std::size_t needed = offsetof(DRIVE_LAYOUT_INFORMATION_EX, PartitionEntry) +
                                       std::size_t{*count} * sizeof(PARTITION_INFORMATION_EX);
            if (outSize < needed) return Answer{false, 0, ERROR_INSUFFICIENT_BUFFER};
            std::memset(out, 0, needed);
            DRIVE_LAYOUT_INFORMATION_EX layout{};
            layout.PartitionCount = *count;
            std::memcpy(out, &layout, offsetof(DRIVE_LAYOUT_INFORMATION_EX, PartitionEntry));
            return Answer{true, static_cast<DWORD>(needed), 0};
        }
        default:
            return std::nullopt;
    }
}

}  // namespace win32_test
