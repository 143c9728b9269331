#include "platform/win32/win32_storage.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "common/log/debug_log.h"
#include "platform/backends.h"
#include "platform/pass_through_rules.h"
#include "platform/win32/win32_control.h"
#include "platform/win32/win32_pass_through.h"

namespace quib::platform {
namespace {

using win32::failWith;
using win32::fromHandle;
using win32::ioControl;

// The fixed part of the answers read below: a shorter answer carries nothing to read.
constexpr DWORD kDescriptorFixedPart = offsetof(STORAGE_DEVICE_DESCRIPTOR, RawDeviceProperties);
constexpr DWORD kGeometryExFixedPart = offsetof(DISK_GEOMETRY_EX, Data);

DWORD desiredAccessOf(std::uint32_t access) {
    DWORD desired = 0;
    if (access & kAccessRead) desired |= GENERIC_READ;
    if (access & kAccessWrite) desired |= GENERIC_WRITE;
    return desired;
}

bool controlNotKnown(std::uint32_t error) {
    return error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED;
}

}  // namespace

void Win32Storage::reportNoRights(const std::string& path) {
    constexpr auto kFn = "Win32Storage::open";
    {
        std::lock_guard lock(m_lock);
        if (!m_rightsReported.insert(path).second) return;
    }
    const std::string text = path + ": access denied. Run as administrator";
    LogError("%s:%d: %s", kFn, __LINE__, text.c_str());
    std::fputs(("KRV610xFWUpg: " + text + "\n").c_str(), stderr);
}

std::string Win32Storage::pathOf(DeviceHandle handle) {
    std::lock_guard lock(m_lock);
    const auto it = m_paths.find(handle);
    return it == m_paths.end() ? std::string() : it->second;
}

DeviceHandle Win32Storage::open(const std::string& path, std::uint32_t access) {
    const std::wstring widePath = utf8ToWide(path);
    HANDLE handle =
        deviceCalls().createFile(widePath.c_str(), desiredAccessOf(access),
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE || handle == nullptr) {
        const std::uint32_t error = win32::carryLastError();
        if (error == ERROR_ACCESS_DENIED) reportNoRights(path);
        setLastError(error);  // the report may have touched it
        return kInvalidHandle;
    }
    {
        std::lock_guard lock(m_lock);
        m_paths[fromHandle(handle)] = path;
    }
    setLastError(kErrorSuccess);
    return fromHandle(handle);
}

void Win32Storage::close(DeviceHandle handle) {
    // Never handed to Windows: there -1 names the current process.
    if (!isValid(handle)) {
        setLastError(kErrorInvalidHandle);
        return;
    }
    {
        std::lock_guard lock(m_lock);
        m_paths.erase(handle);
    }
    if (!deviceCalls().closeHandle(win32::toHandle(handle))) win32::carryLastError();
}

ScsiResult Win32Storage::sent(DeviceHandle handle, ScsiResult result) {
    if (!result.ok && lastError() == kErrorAccessDenied) {
        reportNoRights(pathOf(handle));
        setLastError(kErrorAccessDenied);
    }
    return result;
}

ScsiResult Win32Storage::scsiPassThrough(DeviceHandle handle, records::ScsiPassThroughWithBuffers& record,
                                         std::uint32_t inputSize, std::uint32_t outputSize) {
    // Checked first, so that what Windows is handed always lies inside the record.
    if (const std::uint32_t refused = judgeBufferedRequest(record.spt, inputSize, outputSize)) {
        setLastError(refused);
        return {};
    }
    DWORD returned = 0;
    if constexpr (sizeof(void*) == 4) {
        // 32-bit Windows takes the system's record as it is.
        if (!ioControl(handle, IOCTL_SCSI_PASS_THROUGH, &record, inputSize, &record, outputSize, returned))
            return sent(handle, {});
        setLastError(kErrorSuccess);
        return {true, std::min<std::uint32_t>(returned, outputSize)};
    } else {
        using Header = pass_through::NativeHeader;
        auto native = pass_through::toNativeBuffered<Header>(record, inputSize, outputSize);
        if (!ioControl(handle, IOCTL_SCSI_PASS_THROUGH, native.bytes.data(), native.inputSize,
                       native.bytes.data(), native.outputSize, returned))
            return sent(handle, {});
        const std::uint32_t filled = std::min<std::uint32_t>(returned, native.outputSize);
        const std::uint32_t back = pass_through::fromNativeBuffered<Header>(native.bytes, filled, record);
        setLastError(kErrorSuccess);
        return {true, back};
    }
}

ScsiResult Win32Storage::scsiPassThroughDirect(DeviceHandle handle, records::ScsiPassThroughDirect& record,
                                               std::span<std::uint8_t> data) {
    if (const std::uint32_t refused = judgeDirectRequest(record.spt, data.size())) {
        setLastError(refused);
        return {};
    }
    using Header = pass_through::NativeHeader;
    auto native = pass_through::toNativeDirect<Header>(record, data.data());
    DWORD returned = 0;
    if (!ioControl(handle, IOCTL_SCSI_PASS_THROUGH_DIRECT, &native, sizeof native, &native, sizeof native,
                   returned))
        return sent(handle, {});
    const std::uint32_t filled = std::min<std::uint32_t>(returned, sizeof native);
    const std::uint32_t back = pass_through::fromNativeDirect<Header>(native, filled, record);
    setLastError(kErrorSuccess);
    return {true, back};
}

ScsiResult Win32Storage::ataPassThroughDirect(DeviceHandle handle, AtaRequest& request,
                                              std::span<std::uint8_t> data) {
    ATA_PASS_THROUGH_DIRECT apt{};
    apt.Length = sizeof apt;
    apt.AtaFlags = ATA_FLAGS_DRDY_REQUIRED;
    if (!data.empty()) apt.AtaFlags |= request.dataIn ? ATA_FLAGS_DATA_IN : ATA_FLAGS_DATA_OUT;
    apt.DataTransferLength = static_cast<ULONG>(data.size());
    apt.TimeOutValue = request.timeOutSeconds;
    apt.DataBuffer = data.data();
    const AtaTaskFile& t = request.taskFile;
    const UCHAR registers[8] = {t.features, t.sectorCount, t.lbaLow,  t.lbaMid,
                                t.lbaHigh,  t.device,      t.command, 0};
    std::memcpy(apt.CurrentTaskFile, registers, sizeof registers);
    DWORD returned = 0;
    if (!ioControl(handle, IOCTL_ATA_PASS_THROUGH_DIRECT, &apt, sizeof apt, &apt, sizeof apt, returned))
        return sent(handle, {});
    // Error and status come back where features and command went.
    AtaTaskFile& out = request.taskFile;
    out.features = apt.CurrentTaskFile[0];
    out.sectorCount = apt.CurrentTaskFile[1];
    out.lbaLow = apt.CurrentTaskFile[2];
    out.lbaMid = apt.CurrentTaskFile[3];
    out.lbaHigh = apt.CurrentTaskFile[4];
    out.device = apt.CurrentTaskFile[5];
    out.command = apt.CurrentTaskFile[6];
    setLastError(kErrorSuccess);
    return {true, static_cast<std::uint32_t>(std::min<DWORD>(returned, sizeof apt))};
}

std::optional<StorageDeviceNumber> Win32Storage::deviceNumber(DeviceHandle handle) {
    STORAGE_DEVICE_NUMBER number{};
    DWORD returned = 0;
    if (!ioControl(handle, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &number, sizeof number, returned))
        return std::nullopt;
    if (returned < sizeof number) return failWith<StorageDeviceNumber>(kErrorGenFailure);
    return StorageDeviceNumber{number.DeviceType, number.DeviceNumber, number.PartitionNumber};
}

std::optional<StorageDescriptor> Win32Storage::storageDescriptor(DeviceHandle handle) {
    STORAGE_PROPERTY_QUERY query{};
    query.PropertyId = StorageDeviceProperty;
    query.QueryType = PropertyStandardQuery;
    // The header first tells the whole size; ask again with that much room until it fits.
    std::vector<std::uint8_t> answer(sizeof(STORAGE_DESCRIPTOR_HEADER));
    DWORD returned = 0;
    for (int attempt = 0; attempt < win32::kGrowthAttempts; ++attempt) {
        if (!ioControl(handle, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, answer.data(),
                       static_cast<DWORD>(answer.size()), returned))
            return std::nullopt;
        if (returned < sizeof(STORAGE_DESCRIPTOR_HEADER))
            return failWith<StorageDescriptor>(kErrorGenFailure);
        STORAGE_DESCRIPTOR_HEADER header;
        std::memcpy(&header, answer.data(), sizeof header);
        if (header.Size <= answer.size() || returned < answer.size()) break;
        if (header.Size > win32::kLargestAnswer) return failWith<StorageDescriptor>(kErrorGenFailure);
        answer.assign(header.Size, 0);
    }
    const std::span<const std::uint8_t> filled(answer.data(), std::min<std::size_t>(returned, answer.size()));
    if (filled.size() < kDescriptorFixedPart) return failWith<StorageDescriptor>(kErrorGenFailure);
    STORAGE_DEVICE_DESCRIPTOR d;
    std::memcpy(&d, filled.data(), kDescriptorFixedPart);
    return StorageDescriptor{
        static_cast<std::uint32_t>(d.BusType),           d.RemovableMedia != 0,
        win32::asciiAt(filled, d.VendorIdOffset),        win32::asciiAt(filled, d.ProductIdOffset),
        win32::asciiAt(filled, d.ProductRevisionOffset), win32::asciiAt(filled, d.SerialNumberOffset)};
}

std::optional<DriveGeometry> Win32Storage::driveGeometry(DeviceHandle handle) {
    DISK_GEOMETRY_EX ex{};
    DWORD returned = 0;
    if (ioControl(handle, IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, nullptr, 0, &ex, sizeof ex, returned)) {
        if (returned < kGeometryExFixedPart) return failWith<DriveGeometry>(kErrorGenFailure);
        const DISK_GEOMETRY& g = ex.Geometry;
        return DriveGeometry{static_cast<std::uint64_t>(g.Cylinders.QuadPart), g.TracksPerCylinder,
                             g.SectorsPerTrack, g.BytesPerSector,
                             static_cast<std::uint64_t>(ex.DiskSize.QuadPart)};
    }
    if (!controlNotKnown(lastError())) return std::nullopt;
    // Older drivers know only the plain form: the size follows from the geometry.
    DISK_GEOMETRY g{};
    if (!ioControl(handle, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &g, sizeof g, returned))
        return std::nullopt;
    if (returned < sizeof g) return failWith<DriveGeometry>(kErrorGenFailure);
    const auto cylinders = static_cast<std::uint64_t>(g.Cylinders.QuadPart);
    return DriveGeometry{cylinders, g.TracksPerCylinder, g.SectorsPerTrack, g.BytesPerSector,
                         cylinders * g.TracksPerCylinder * g.SectorsPerTrack * g.BytesPerSector};
}

}  // namespace quib::platform
