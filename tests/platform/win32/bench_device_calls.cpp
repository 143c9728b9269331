#include "tests/platform/win32/bench_device_calls.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "platform/backends.h"
#include "platform/bench/bench_backend.h"
#include "tests/platform/win32/seam_error_kept.h"

namespace win32_test {
namespace {

namespace qp = quib::platform;
using quib::records::ScsiPassThroughDirect;
using quib::records::ScsiPassThroughWithBuffers;

constexpr DWORD kSystemHeader = 44;  // the system's record has 32-bit Windows' header
constexpr DWORD kGrowth = sizeof(SCSI_PASS_THROUGH) - kSystemHeader;

std::string upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::u16string utf16(const std::string& text) {
    const std::wstring wide = qp::utf8ToWide(text);
    return std::u16string(wide.begin(), wide.end());
}

std::uint32_t offsetToSystem(std::uint64_t native) {
    return static_cast<std::uint32_t>(native >= sizeof(SCSI_PASS_THROUGH) ? native - kGrowth : native);
}
std::uint64_t offsetToNative(std::uint32_t system) {
    return system >= kSystemHeader ? std::uint64_t{system} + kGrowth : system;
}

// A name answer {[ConnectionIndex,] ActualLength, name}: as much as fits; ActualLength tells the whole.
DWORD writeName(std::uint8_t* out, DWORD outSize, std::size_t lengthAt, std::size_t nameAt,
                const std::string& name) {
    const std::u16string text = utf16(name);
    const auto actual = static_cast<ULONG>(nameAt + (text.size() + 1) * 2);
    std::memcpy(out + lengthAt, &actual, sizeof actual);
    const DWORD written = std::min<DWORD>(outSize, actual);
    std::vector<std::uint8_t> bytes((text.size() + 1) * 2, 0);
    std::memcpy(bytes.data(), text.data(), text.size() * 2);
    if (written > nameAt) std::memcpy(out + nameAt, bytes.data(), written - nameAt);
    return written;
}

const std::map<DWORD, std::string>& propertyNames() {
    static const std::map<DWORD, std::string> names = {{SPDRP_DEVICEDESC, "DeviceDesc"},
                                                       {SPDRP_HARDWAREID, "HardwareID"},
                                                       {SPDRP_SERVICE, "Service"},
                                                       {SPDRP_CLASS, "Class"},
                                                       {SPDRP_CLASSGUID, "ClassGUID"},
                                                       {SPDRP_DRIVER, "Driver"},
                                                       {SPDRP_MFG, "Mfg"},
                                                       {SPDRP_FRIENDLYNAME, "FriendlyName"},
                                                       {SPDRP_LOCATION_INFORMATION, "LocationInformation"}};
    return names;
}

GUID guidOfText(const std::string& text) {
    GUID g{};
    unsigned long d1 = 0;
    unsigned d2 = 0, d3 = 0, b[8] = {};
    std::sscanf(text.c_str(), "{%8lx-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x}", &d1, &d2, &d3, &b[0], &b[1], &b[2],
                &b[3], &b[4], &b[5], &b[6], &b[7]);
    g.Data1 = static_cast<std::uint32_t>(d1);
    g.Data2 = static_cast<std::uint16_t>(d2);
    g.Data3 = static_cast<std::uint16_t>(d3);
    for (int i = 0; i < 8; ++i) g.Data4[i] = static_cast<std::uint8_t>(b[i]);
    return g;
}

}  // namespace

std::string guidText(const GUID& g) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned long>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2],
                  g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return text;
}

BenchDeviceCalls::BenchDeviceCalls(std::shared_ptr<bench::Bench> bench)
    : m_bench(bench), m_backend(qp::makeBenchBackend(std::move(bench))) {}

BenchDeviceCalls::~BenchDeviceCalls() = default;

BOOL BenchDeviceCalls::fail(DWORD error) {
    m_lastError = error;
    return FALSE;
}

// ---- kernel32 ----------------------------------------------------------------------------------------

HANDLE BenchDeviceCalls::createFile(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode,
                                    LPSECURITY_ATTRIBUTES security, DWORD creationDisposition, DWORD flags,
                                    HANDLE templateFile) {
    // Devices open only as they exist, without a template; anything else is not a device open.
    if (creationDisposition != OPEN_EXISTING || templateFile != nullptr || security != nullptr ||
        flags != 0 || (desiredAccess & ~(GENERIC_READ | GENERIC_WRITE)) != 0 ||
        shareMode != (FILE_SHARE_READ | FILE_SHARE_WRITE)) {
        fail(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::uint32_t access = 0;
    if (desiredAccess & GENERIC_READ) access |= qp::kAccessRead;
    if (desiredAccess & GENERIC_WRITE) access |= qp::kAccessWrite;
    SeamErrorKept kept;
    const qp::DeviceHandle handle = benchPorts().storage.open(narrow(fileName), access);
    if (!qp::isValid(handle)) {
        fail(kept.portError());
        return INVALID_HANDLE_VALUE;
    }
    const std::uintptr_t value = m_nextHandle;
    m_nextHandle += 4;
    m_handles[value] = handle;
    return reinterpret_cast<HANDLE>(value);
}

BOOL BenchDeviceCalls::closeHandle(HANDLE handle) {
    ++closeCalls;
    const auto it = m_handles.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == m_handles.end()) return fail(ERROR_INVALID_HANDLE);
    SeamErrorKept kept;
    benchPorts().storage.close(it->second);
    m_handles.erase(it);
    return TRUE;
}

BOOL BenchDeviceCalls::deviceIoControl(HANDLE device, DWORD code, LPVOID inBuffer, DWORD inSize,
                                       LPVOID outBuffer, DWORD outSize, LPDWORD bytesReturned,
                                       LPOVERLAPPED overlapped) {
    ++controlCalls[code];
    if (bytesReturned == nullptr || overlapped != nullptr) return fail(ERROR_INVALID_PARAMETER);
    *bytesReturned = 0;
    const auto it = m_handles.find(reinterpret_cast<std::uintptr_t>(device));
    if (it == m_handles.end()) return fail(ERROR_INVALID_HANDLE);
    if (unknownCodes.count(code)) return fail(ERROR_INVALID_FUNCTION);
    // Buffered requests: the input is read whole before anything is written to the output.
    std::vector<std::uint8_t> in(static_cast<const std::uint8_t*>(inBuffer),
                                 static_cast<const std::uint8_t*>(inBuffer) + (inBuffer ? inSize : 0));
    auto* out = static_cast<std::uint8_t*>(outBuffer);
    if (out == nullptr) outSize = 0;
    Answer answer;
    {
        SeamErrorKept kept;
        answer = control(it->second, code, in.data(), static_cast<DWORD>(in.size()), out, outSize);
    }
    if (!answer.ok) return fail(answer.error);
    DWORD returned = std::min(answer.returned, outSize);
    if (const auto cut = shortAnswers.find(code); cut != shortAnswers.end() && cut->second < returned) {
        std::memset(out + cut->second, kJunk, returned - cut->second);
        returned = cut->second;
    }
    *bytesReturned = returned;
    return TRUE;
}

BenchDeviceCalls::Answer BenchDeviceCalls::control(qp::DeviceHandle device, DWORD code,
                                                   const std::uint8_t* in, DWORD inSize, std::uint8_t* out,
                                                   DWORD outSize) {
    auto portFailed = [] { return Answer{false, 0, qp::lastError()}; };
    auto tooSmall = [] { return Answer{false, 0, ERROR_INSUFFICIENT_BUFFER}; };
    qp::Platform& os = benchPorts();
    switch (code) {
        case IOCTL_SCSI_PASS_THROUGH:
            return passThrough(device, in, inSize, out, outSize);
        case IOCTL_SCSI_PASS_THROUGH_DIRECT:
            return passThroughDirect(device, in, inSize, out, outSize);
        case IOCTL_ATA_PASS_THROUGH_DIRECT:
            return ataPassThroughDirect(device, in, inSize, out, outSize);
        case IOCTL_STORAGE_GET_DEVICE_NUMBER: {
            if (outSize < sizeof(STORAGE_DEVICE_NUMBER)) return tooSmall();
            const auto n = os.storage.deviceNumber(device);
            if (!n) return portFailed();
            STORAGE_DEVICE_NUMBER number{n->deviceType, n->deviceNumber, n->partitionNumber};
            std::memcpy(out, &number, sizeof number);
            return {true, sizeof number, 0};
        }
        case IOCTL_STORAGE_QUERY_PROPERTY:
            return storageQuery(device, in, inSize, out, outSize);
        case IOCTL_DISK_GET_DRIVE_GEOMETRY_EX:
        case IOCTL_DISK_GET_DRIVE_GEOMETRY:
            return geometry(device, code == IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, out, outSize);
            // One code asks a host controller for its root hub's name and a hub for its node information.
            static_assert(IOCTL_USB_GET_ROOT_HUB_NAME == IOCTL_USB_GET_NODE_INFORMATION);
        case IOCTL_GET_HCD_DRIVERKEY_NAME:
        case IOCTL_USB_GET_ROOT_HUB_NAME: {
            const auto target = qp::benchTargetOf(device);
            if (code == IOCTL_USB_GET_NODE_INFORMATION && target && target->kind == bench::Target::Kind::Hub)
                return nodeInformation(device, outSize, out);
            if (outSize < sizeof(USB_HCD_DRIVERKEY_NAME)) return tooSmall();
            const auto name = code == IOCTL_GET_HCD_DRIVERKEY_NAME ? os.usb.hcdDriverKeyName(device)
                                                                   : os.usb.rootHubName(device);
            if (!name) return portFailed();
            static_assert(offsetof(USB_HCD_DRIVERKEY_NAME, DriverKeyName) ==
                          offsetof(USB_ROOT_HUB_NAME, RootHubName));
            return {true,
                    writeName(out, outSize, offsetof(USB_HCD_DRIVERKEY_NAME, ActualLength),
                              offsetof(USB_HCD_DRIVERKEY_NAME, DriverKeyName), *name),
                    0};
        }
        case IOCTL_USB_GET_NODE_CONNECTION_INFORMATION_EX:
        case IOCTL_USB_GET_NODE_CONNECTION_INFORMATION:
            return connectionInfo(device, code == IOCTL_USB_GET_NODE_CONNECTION_INFORMATION_EX, in, inSize,
                                  out, outSize);
        case IOCTL_USB_GET_NODE_CONNECTION_NAME:
        case IOCTL_USB_GET_NODE_CONNECTION_DRIVERKEY_NAME: {
            static_assert(offsetof(USB_NODE_CONNECTION_NAME, NodeName) ==
                          offsetof(USB_NODE_CONNECTION_DRIVERKEY_NAME, DriverKeyName));
            if (inSize < sizeof(ULONG) || outSize < sizeof(USB_NODE_CONNECTION_NAME)) return tooSmall();
            ULONG port = 0;
            std::memcpy(&port, in, sizeof port);
            const auto name = code == IOCTL_USB_GET_NODE_CONNECTION_NAME
                                  ? os.usb.connectionName(device, port)
                                  : os.usb.connectionDriverKeyName(device, port);
            if (!name) return portFailed();
            std::memcpy(out, &port, sizeof port);
            return {true,
                    writeName(out, outSize, offsetof(USB_NODE_CONNECTION_NAME, ActualLength),
                              offsetof(USB_NODE_CONNECTION_NAME, NodeName), *name),
                    0};
        }
        case IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION:
            return descriptor(device, in, inSize, out, outSize);
        case IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS:
            return extents(device, out, outSize);
        default:
            if (const auto answer = diskControl(device, code, in, inSize, out, outSize)) return *answer;
            return {false, 0, ERROR_INVALID_FUNCTION};
    }
}

BenchDeviceCalls::Answer BenchDeviceCalls::nodeInformation(qp::DeviceHandle hub, DWORD outSize,
                                                           std::uint8_t* out) {
    if (outSize < sizeof(USB_NODE_INFORMATION)) return {false, 0, ERROR_INSUFFICIENT_BUFFER};
    const auto ports = benchPorts().usb.hubPortCount(hub);
    if (!ports) return {false, 0, qp::lastError()};
    USB_NODE_INFORMATION node{};
    node.NodeType = UsbHub;
    node.u.HubInformation.HubDescriptor.bDescriptorLength = 9;
    node.u.HubInformation.HubDescriptor.bDescriptorType = 0x29;
    node.u.HubInformation.HubDescriptor.bNumberOfPorts = static_cast<UCHAR>(std::min(*ports, 255u));
    std::memcpy(out, &node, sizeof node);
    return {true, sizeof node, 0};
}

BenchDeviceCalls::Answer BenchDeviceCalls::passThrough(qp::DeviceHandle device, const std::uint8_t* in,
                                                       DWORD inSize, std::uint8_t* out, DWORD outSize) {
    if (inSize < sizeof(SCSI_PASS_THROUGH)) return {false, 0, ERROR_INVALID_PARAMETER};
    SCSI_PASS_THROUGH spt;
    std::memcpy(&spt, in, sizeof spt);
    // What Windows checks in its own terms: a header of its own size, and areas behind it.
    if (spt.Length != sizeof(SCSI_PASS_THROUGH) ||
        (spt.SenseInfoLength > 0 && (spt.SenseInfoOffset < sizeof(SCSI_PASS_THROUGH) ||
                                     std::uint64_t{spt.SenseInfoOffset} + spt.SenseInfoLength > outSize)) ||
        (spt.DataTransferLength > 0 && spt.DataBufferOffset < sizeof(SCSI_PASS_THROUGH)))
        return {false, 0, ERROR_INVALID_PARAMETER};
    // Windows' record read as Windows reads it, handed to the bench in the system's record.
    auto record = std::make_unique<ScsiPassThroughWithBuffers>();
    std::memset(record.get(), 0, sizeof *record);
    auto& s = record->spt;
    s.Length = spt.Length == sizeof(SCSI_PASS_THROUGH) ? kSystemHeader : spt.Length;
    s.ScsiStatus = spt.ScsiStatus;
    s.PathId = spt.PathId;
    s.TargetId = spt.TargetId;
    s.Lun = spt.Lun;
    s.CdbLength = spt.CdbLength;
    s.SenseInfoLength = spt.SenseInfoLength;
    s.DataIn = spt.DataIn;
    s.DataTransferLength = spt.DataTransferLength;
    s.TimeOutValue = spt.TimeOutValue;
    s.DataBufferOffset = offsetToSystem(spt.DataBufferOffset);
    s.SenseInfoOffset = offsetToSystem(spt.SenseInfoOffset);
    std::memcpy(s.Cdb, spt.Cdb, sizeof s.Cdb);
    const DWORD body = std::min<DWORD>(inSize - sizeof(SCSI_PASS_THROUGH), sizeof *record - kSystemHeader);
    std::memcpy(reinterpret_cast<std::uint8_t*>(record.get()) + kSystemHeader, in + sizeof(SCSI_PASS_THROUGH),
                body);
    const qp::ScsiResult result = benchPorts().storage.scsiPassThrough(
        device, *record, static_cast<std::uint32_t>(offsetToSystem(inSize)),
        static_cast<std::uint32_t>(offsetToSystem(outSize)));
    if (!result.ok) return {false, 0, qp::lastError()};
    // Back into Windows' record: the header, then what the bench wrote behind it.
    if (outSize < sizeof(SCSI_PASS_THROUGH)) return {false, 0, ERROR_INSUFFICIENT_BUFFER};
    SCSI_PASS_THROUGH back = spt;
    back.ScsiStatus = s.ScsiStatus;
    back.SenseInfoLength = s.SenseInfoLength;
    back.DataTransferLength = s.DataTransferLength;
    back.SenseInfoOffset = static_cast<ULONG>(offsetToNative(s.SenseInfoOffset));
    std::memcpy(out, &back, sizeof back);
    const DWORD returned = static_cast<DWORD>(offsetToNative(result.bytesReturned));
    if (returned > sizeof(SCSI_PASS_THROUGH))
        std::memcpy(out + sizeof(SCSI_PASS_THROUGH),
                    reinterpret_cast<std::uint8_t*>(record.get()) + kSystemHeader,
                    std::min<DWORD>(returned, outSize) - sizeof(SCSI_PASS_THROUGH));
    return {true, returned, 0};
}

BenchDeviceCalls::Answer BenchDeviceCalls::ataPassThroughDirect(qp::DeviceHandle device,
                                                                const std::uint8_t* in, DWORD inSize,
                                                                std::uint8_t* out, DWORD outSize) {
    ATA_PASS_THROUGH_DIRECT apt;
    if (inSize < sizeof apt || outSize < sizeof apt) return {false, 0, ERROR_INVALID_PARAMETER};
    std::memcpy(&apt, in, sizeof apt);
    const bool dataIn = apt.AtaFlags & ATA_FLAGS_DATA_IN, dataOut = apt.AtaFlags & ATA_FLAGS_DATA_OUT;
    // One direction at most, and a buffer exactly when data move.
    if (apt.Length != sizeof apt || (dataIn && dataOut) ||
        ((dataIn || dataOut) != (apt.DataTransferLength > 0)) ||
        (apt.DataTransferLength > 0 && apt.DataBuffer == nullptr))
        return {false, 0, ERROR_INVALID_PARAMETER};
    qp::AtaRequest request;
    request.dataIn = dataIn;
    request.timeOutSeconds = apt.TimeOutValue;
    const UCHAR* t = apt.CurrentTaskFile;
    request.taskFile = {t[0], t[1], t[2], t[3], t[4], t[5], t[6]};
    const std::span<std::uint8_t> data(static_cast<std::uint8_t*>(apt.DataBuffer), apt.DataTransferLength);
    const qp::ScsiResult result = benchPorts().storage.ataPassThroughDirect(device, request, data);
    if (!result.ok) return {false, 0, qp::lastError()};
    const qp::AtaTaskFile& r = request.taskFile;
    const UCHAR back[8] = {r.features, r.sectorCount, r.lbaLow, r.lbaMid, r.lbaHigh, r.device, r.command, 0};
    std::memcpy(apt.CurrentTaskFile, back, sizeof back);
    std::memcpy(out, &apt, sizeof apt);
    return {true, sizeof apt, 0};
}

BenchDeviceCalls::Answer BenchDeviceCalls::passThroughDirect(qp::DeviceHandle device, const std::uint8_t* in,
                                                             DWORD inSize, std::uint8_t* out, DWORD outSize) {
    if (inSize < sizeof(SCSI_PASS_THROUGH_DIRECT)) return {false, 0, ERROR_INVALID_PARAMETER};
    SCSI_PASS_THROUGH_DIRECT sptd;
    std::memcpy(&sptd, in, sizeof sptd);
    if (sptd.Length != sizeof(SCSI_PASS_THROUGH_DIRECT) ||
        (sptd.SenseInfoLength > 0 && (sptd.SenseInfoOffset < sizeof(SCSI_PASS_THROUGH_DIRECT) ||
                                      std::uint64_t{sptd.SenseInfoOffset} + sptd.SenseInfoLength > outSize)))
        return {false, 0, ERROR_INVALID_PARAMETER};
    ScsiPassThroughDirect record{};
    auto& s = record.spt;
    s.Length = sptd.Length == sizeof(SCSI_PASS_THROUGH_DIRECT) ? kSystemHeader : sptd.Length;
    s.ScsiStatus = sptd.ScsiStatus;
    s.PathId = sptd.PathId;
    s.TargetId = sptd.TargetId;
    s.Lun = sptd.Lun;
    s.CdbLength = sptd.CdbLength;
    s.SenseInfoLength = sptd.SenseInfoLength;
    s.DataIn = sptd.DataIn;
    s.DataTransferLength = sptd.DataTransferLength;
    s.TimeOutValue = sptd.TimeOutValue;
    s.DataBufferOffset = 0;  // the caller's value never reaches Windows
    s.SenseInfoOffset = offsetToSystem(sptd.SenseInfoOffset);
    std::memcpy(s.Cdb, sptd.Cdb, sizeof s.Cdb);
    const DWORD body =
        std::min<DWORD>(inSize - sizeof(SCSI_PASS_THROUGH_DIRECT), sizeof record - kSystemHeader);
    std::memcpy(reinterpret_cast<std::uint8_t*>(&record) + kSystemHeader,
                in + sizeof(SCSI_PASS_THROUGH_DIRECT), body);
    const std::span<std::uint8_t> data(static_cast<std::uint8_t*>(sptd.DataBuffer),
                                       sptd.DataBuffer ? sptd.DataTransferLength : 0);
    const qp::ScsiResult result = benchPorts().storage.scsiPassThroughDirect(device, record, data);
    if (!result.ok) return {false, 0, qp::lastError()};
    if (outSize < sizeof(SCSI_PASS_THROUGH_DIRECT)) return {false, 0, ERROR_INSUFFICIENT_BUFFER};
    SCSI_PASS_THROUGH_DIRECT back = sptd;
    back.ScsiStatus = s.ScsiStatus;
    back.SenseInfoLength = s.SenseInfoLength;
    back.DataTransferLength = s.DataTransferLength;
    std::memcpy(out, &back, sizeof back);
    const DWORD returned = std::min<DWORD>(static_cast<DWORD>(offsetToNative(result.bytesReturned)), outSize);
    if (returned > sizeof(SCSI_PASS_THROUGH_DIRECT))
        std::memcpy(out + sizeof(SCSI_PASS_THROUGH_DIRECT),
                    reinterpret_cast<std::uint8_t*>(&record) + kSystemHeader,
                    returned - sizeof(SCSI_PASS_THROUGH_DIRECT));
    return {true, returned, 0};
}

BenchDeviceCalls::Answer BenchDeviceCalls::storageQuery(qp::DeviceHandle device, const std::uint8_t* in,
                                                        DWORD inSize, std::uint8_t* out, DWORD outSize) {
    STORAGE_PROPERTY_QUERY query{};
    if (inSize < offsetof(STORAGE_PROPERTY_QUERY, AdditionalParameters))
        return {false, 0, ERROR_INVALID_PARAMETER};
    std::memcpy(&query, in, offsetof(STORAGE_PROPERTY_QUERY, AdditionalParameters));
    if (query.PropertyId != StorageDeviceProperty || query.QueryType != PropertyStandardQuery)
        return {false, 0, ERROR_NOT_SUPPORTED};
    if (outSize < sizeof(STORAGE_DESCRIPTOR_HEADER)) return {false, 0, ERROR_INSUFFICIENT_BUFFER};
    const auto d = benchPorts().storage.storageDescriptor(device);
    if (!d) return {false, 0, qp::lastError()};
    // The fixed part, then the four texts, each with its terminator.
    constexpr DWORD kFixed = offsetof(STORAGE_DEVICE_DESCRIPTOR, RawDeviceProperties);
    std::vector<std::uint8_t> whole(kFixed, 0);
    auto place = [&](const std::string& text) -> DWORD {
        const auto at = static_cast<DWORD>(whole.size());
        whole.insert(whole.end(), text.begin(), text.end());
        whole.push_back(0);
        return at;
    };
    STORAGE_DEVICE_DESCRIPTOR sdd{};
    sdd.Version = sizeof(STORAGE_DEVICE_DESCRIPTOR);
    sdd.DeviceType = 0;
    sdd.RemovableMedia = d->removable ? TRUE : FALSE;
    sdd.VendorIdOffset = place(d->vendor);
    sdd.ProductIdOffset = place(d->product);
    sdd.ProductRevisionOffset = place(d->revision);
    sdd.SerialNumberOffset = d->serial.empty() ? 0 : place(d->serial);
    sdd.BusType = static_cast<STORAGE_BUS_TYPE>(d->busType);
    sdd.Size = static_cast<DWORD>(whole.size());
    std::memcpy(whole.data(), &sdd, kFixed);
    const DWORD written = std::min<DWORD>(outSize, sdd.Size);
    std::memcpy(out, whole.data(), written);
    return {true, written, 0};
}

BenchDeviceCalls::Answer BenchDeviceCalls::geometry(qp::DeviceHandle device, bool extended, std::uint8_t* out,
                                                    DWORD outSize) {
    const DWORD needed = extended ? offsetof(DISK_GEOMETRY_EX, Data) : sizeof(DISK_GEOMETRY);
    if (outSize < needed) return {false, 0, ERROR_INSUFFICIENT_BUFFER};
    const auto g = benchPorts().storage.driveGeometry(device);
    if (!g) return {false, 0, qp::lastError()};
    DISK_GEOMETRY_EX ex{};
    ex.Geometry.Cylinders.QuadPart = static_cast<LONGLONG>(g->cylinders);
    ex.Geometry.MediaType = FixedMedia;
    ex.Geometry.TracksPerCylinder = g->tracksPerCylinder;
    ex.Geometry.SectorsPerTrack = g->sectorsPerTrack;
    ex.Geometry.BytesPerSector = g->bytesPerSector;
    ex.DiskSize.QuadPart = static_cast<LONGLONG>(g->diskSize);
    std::memcpy(out, &ex, needed);
    return {true, needed, 0};
}

BenchDeviceCalls::Answer BenchDeviceCalls::connectionInfo(qp::DeviceHandle hub, bool extended,
                                                          const std::uint8_t* in, DWORD inSize,
                                                          std::uint8_t* out, DWORD outSize) {
    constexpr DWORD kFixed = offsetof(USB_NODE_CONNECTION_INFORMATION_EX, PipeList);
    if (inSize < sizeof(ULONG) || outSize < kFixed) return {false, 0, ERROR_INSUFFICIENT_BUFFER};
    ULONG port = 0;
    std::memcpy(&port, in, sizeof port);
    const auto info = benchPorts().usb.connectionInfo(hub, port);
    if (!info) return {false, 0, qp::lastError()};
    USB_NODE_CONNECTION_INFORMATION_EX ex{};
    ex.ConnectionIndex = port;
    const auto& d = info->descriptor;
    ex.DeviceDescriptor.bLength = d.bLength;
    ex.DeviceDescriptor.bDescriptorType = d.bDescriptorType;
    ex.DeviceDescriptor.bcdUSB = d.bcdUSB;
    ex.DeviceDescriptor.bDeviceClass = d.bDeviceClass;
    ex.DeviceDescriptor.bDeviceSubClass = d.bDeviceSubClass;
    ex.DeviceDescriptor.bDeviceProtocol = d.bDeviceProtocol;
    ex.DeviceDescriptor.bMaxPacketSize0 = d.bMaxPacketSize0;
    ex.DeviceDescriptor.idVendor = d.idVendor;
    ex.DeviceDescriptor.idProduct = d.idProduct;
    ex.DeviceDescriptor.bcdDevice = d.bcdDevice;
    ex.DeviceDescriptor.iManufacturer = d.iManufacturer;
    ex.DeviceDescriptor.iProduct = d.iProduct;
    ex.DeviceDescriptor.iSerialNumber = d.iSerialNumber;
    ex.DeviceDescriptor.bNumConfigurations = d.bNumConfigurations;
    // The plain form keeps LowSpeed where the extended one keeps Speed.
    ex.Speed = extended ? info->speed : (info->speed == 0 ? TRUE : FALSE);
    ex.DeviceIsHub = info->deviceIsHub ? TRUE : FALSE;
    ex.DeviceAddress = static_cast<USHORT>(port + 1);
    ex.ConnectionStatus = static_cast<USB_CONNECTION_STATUS>(info->status);
    std::memcpy(out, &ex, kFixed);
    return {true, kFixed, 0};
}

BenchDeviceCalls::Answer BenchDeviceCalls::descriptor(qp::DeviceHandle hub, const std::uint8_t* in,
                                                      DWORD inSize, std::uint8_t* out, DWORD outSize) {
    constexpr DWORD kHeader = offsetof(USB_DESCRIPTOR_REQUEST, Data);
    if (inSize < kHeader || outSize < kHeader) return {false, 0, ERROR_INVALID_PARAMETER};
    USB_DESCRIPTOR_REQUEST request;
    std::memcpy(&request, in, kHeader);
    // Windows asks the device for no more than the output has room for.
    if (request.SetupPacket.wLength > outSize - kHeader) return {false, 0, ERROR_INVALID_PARAMETER};
    const qp::SetupPacket setup{request.SetupPacket.bmRequest, request.SetupPacket.bRequest,
                                request.SetupPacket.wValue, request.SetupPacket.wIndex,
                                request.SetupPacket.wLength};
    const auto bytes = benchPorts().usb.descriptorFromConnection(hub, request.ConnectionIndex, setup);
    if (!bytes) return {false, 0, qp::lastError()};
    std::memcpy(out, &request, kHeader);
    const DWORD data = std::min<DWORD>(static_cast<DWORD>(bytes->size()), outSize - kHeader);
    std::memcpy(out + kHeader, bytes->data(), data);
    return {true, kHeader + data, 0};
}

BenchDeviceCalls::Answer BenchDeviceCalls::extents(qp::DeviceHandle volume, std::uint8_t* out,
                                                   DWORD outSize) {
    constexpr DWORD kAt = offsetof(VOLUME_DISK_EXTENTS, Extents);
    if (outSize < sizeof(VOLUME_DISK_EXTENTS)) return {false, 0, ERROR_INSUFFICIENT_BUFFER};
    const auto list = benchPorts().volumes.diskExtents(volume);
    if (!list) return {false, 0, qp::lastError()};
    const auto count = static_cast<DWORD>(list->size());
    std::memcpy(out, &count, sizeof count);
    const DWORD room = (outSize - kAt) / sizeof(DISK_EXTENT);
    const DWORD written = std::min(room, count);
    for (DWORD i = 0; i < written; ++i) {
        DISK_EXTENT e{};
        e.DiskNumber = (*list)[i].diskNumber;
        e.StartingOffset.QuadPart = (*list)[i].startingOffset;
        e.ExtentLength.QuadPart = (*list)[i].extentLength;
        std::memcpy(out + kAt + i * sizeof(DISK_EXTENT), &e, sizeof e);
    }
    const DWORD returned = kAt + written * static_cast<DWORD>(sizeof(DISK_EXTENT));
    if (written < count) return {false, returned, ERROR_MORE_DATA};
    return {true, returned, 0};
}

BOOL BenchDeviceCalls::getVolumeNameForVolumeMountPoint(LPCWSTR mountPoint, LPWSTR volumeName, DWORD length) {
    std::optional<std::string> name;
    DWORD error = 0;
    {
        SeamErrorKept kept;
        name = benchPorts().volumes.volumeNameForMountPoint(narrow(mountPoint));
        error = kept.portError();
    }
    if (!name) return fail(error);
    const std::wstring wide = qp::utf8ToWide(*name);
    if (length < wide.size() + 1) return fail(ERROR_FILENAME_EXCED_RANGE);
    std::copy(wide.begin(), wide.end(), volumeName);
    volumeName[wide.size()] = L'\0';
    return TRUE;
}

UINT BenchDeviceCalls::getDriveType(LPCWSTR rootPath) {
    SeamErrorKept kept;
    return benchPorts().volumes.driveType(narrow(rootPath));
}

void BenchDeviceCalls::getNativeSystemInfo(LPSYSTEM_INFO info) {
    SeamErrorKept kept;
    *info = SYSTEM_INFO{};
    info->wProcessorArchitecture = static_cast<WORD>(benchPorts().volumes.processorArchitecture());
    info->dwPageSize = 4096;
    info->dwNumberOfProcessors = 2;
}

// ---- setupapi ----------------------------------------------------------------------------------------

HDEVINFO BenchDeviceCalls::setupDiGetClassDevs(const GUID* classGuid, PCWSTR enumerator, HWND parent,
                                               DWORD flags) {
    if (enumerator != nullptr || parent != nullptr || !(flags & DIGCF_PRESENT)) {
        fail(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    Set set;
    SeamErrorKept kept;
    if (flags & DIGCF_DEVICEINTERFACE) {
        if (classGuid == nullptr) {
            fail(ERROR_INVALID_PARAMETER);
            return INVALID_HANDLE_VALUE;
        }
        set.interfaces = true;
        set.guid = *classGuid;
        for (auto& i : benchPorts().devices.interfaces(guidText(*classGuid))) {
            const std::string classGuidText =
                i.properties.count("ClassGUID") ? i.properties.at("ClassGUID") : "";
            set.members.push_back({i.devicePath, i.instanceId, classGuidText, i.properties});
        }
    } else if (flags & DIGCF_ALLCLASSES) {
        for (auto& d : benchPorts().devices.allDevices())
            set.members.push_back({"", d.instanceId, d.classGuid, d.properties});
    } else {
        fail(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    const std::uintptr_t value = m_nextSet;
    m_nextSet += 8;
    m_sets[value] = std::move(set);
    return reinterpret_cast<HDEVINFO>(value);
}

BenchDeviceCalls::Set* BenchDeviceCalls::setOf(HDEVINFO set) {
    const auto it = m_sets.find(reinterpret_cast<std::uintptr_t>(set));
    return it == m_sets.end() ? nullptr : &it->second;
}

const BenchDeviceCalls::Member* BenchDeviceCalls::memberOf(HDEVINFO set, ULONG_PTR reserved) {
    Set* s = setOf(set);
    if (s == nullptr || reserved == 0 || reserved > s->members.size()) return nullptr;
    return &s->members[reserved - 1];
}

void BenchDeviceCalls::describe(PSP_DEVINFO_DATA device, const Member& member, DWORD index) {
    device->ClassGuid = guidOfText(member.classGuid);
    device->DevInst = devNodeOf(member.instanceId);
    device->Reserved = index + 1;
}

BOOL BenchDeviceCalls::setupDiEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA device,
                                                   const GUID* interfaceGuid, DWORD index,
                                                   PSP_DEVICE_INTERFACE_DATA interfaceData) {
    Set* s = setOf(set);
    if (s == nullptr) return fail(ERROR_INVALID_HANDLE);
    if (device != nullptr || interfaceGuid == nullptr || interfaceData == nullptr ||
        std::memcmp(interfaceGuid, &s->guid, sizeof(GUID)) != 0)
        return fail(ERROR_INVALID_PARAMETER);
    if (interfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) return fail(ERROR_INVALID_USER_BUFFER);
    if (!s->interfaces || index >= s->members.size()) return fail(ERROR_NO_MORE_ITEMS);
    interfaceData->InterfaceClassGuid = s->guid;
    interfaceData->Flags = SPINT_ACTIVE;
    interfaceData->Reserved = index + 1;
    return TRUE;
}

BOOL BenchDeviceCalls::setupDiGetDeviceInterfaceDetail(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA interfaceData,
                                                       PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail,
                                                       DWORD detailSize, PDWORD requiredSize,
                                                       PSP_DEVINFO_DATA device) {
    if (interfaceData == nullptr || interfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA))
        return fail(ERROR_INVALID_USER_BUFFER);
    const Member* member = memberOf(set, interfaceData->Reserved);
    if (member == nullptr) return fail(ERROR_INVALID_PARAMETER);
    const std::u16string path = utf16(member->devicePath);
    constexpr DWORD kPathAt = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath);
    const auto needed = static_cast<DWORD>(kPathAt + (path.size() + 1) * 2);
    if (requiredSize) *requiredSize = needed;
    if (detail == nullptr)
        return fail(detailSize == 0 ? ERROR_INSUFFICIENT_BUFFER : ERROR_INVALID_USER_BUFFER);
    if (detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) return fail(ERROR_INVALID_USER_BUFFER);
    if (detailSize < needed) return fail(ERROR_INSUFFICIENT_BUFFER);
    if (device != nullptr && device->cbSize != sizeof(SP_DEVINFO_DATA))
        return fail(ERROR_INVALID_USER_BUFFER);
    auto* bytes = reinterpret_cast<std::uint8_t*>(detail);
    std::memcpy(bytes + kPathAt, path.c_str(), (path.size() + 1) * 2);
    if (device != nullptr) describe(device, *member, static_cast<DWORD>(interfaceData->Reserved - 1));
    return TRUE;
}

BOOL BenchDeviceCalls::setupDiEnumDeviceInfo(HDEVINFO set, DWORD index, PSP_DEVINFO_DATA device) {
    Set* s = setOf(set);
    if (s == nullptr) return fail(ERROR_INVALID_HANDLE);
    if (device == nullptr || device->cbSize != sizeof(SP_DEVINFO_DATA))
        return fail(ERROR_INVALID_USER_BUFFER);
    if (index >= s->members.size()) return fail(ERROR_NO_MORE_ITEMS);
    describe(device, s->members[index], index);
    return TRUE;
}

BOOL BenchDeviceCalls::setupDiGetDeviceRegistryProperty(HDEVINFO set, PSP_DEVINFO_DATA device, DWORD property,
                                                        PDWORD valueType, PBYTE buffer, DWORD bufferSize,
                                                        PDWORD requiredSize) {
    if (device == nullptr || device->cbSize != sizeof(SP_DEVINFO_DATA))
        return fail(ERROR_INVALID_USER_BUFFER);
    const Member* member = memberOf(set, device->Reserved);
    if (member == nullptr) return fail(ERROR_INVALID_PARAMETER);
    const auto name = propertyNames().find(property);
    if (name == propertyNames().end()) return fail(ERROR_INVALID_DATA);
    const auto value = member->properties.find(name->second);
    if (value == member->properties.end()) return fail(ERROR_INVALID_DATA);
    // Hardware IDs are a list (REG_MULTI_SZ): the strings, then an empty one.
    const bool list = property == SPDRP_HARDWAREID;
    std::u16string text = utf16(value->second);
    text.push_back(u'\0');
    if (list) text.push_back(u'\0');
    const auto bytes = static_cast<DWORD>(text.size() * 2);
    if (requiredSize) *requiredSize = bytes;
    if (buffer == nullptr || bufferSize < bytes) return fail(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(buffer, text.data(), bytes);
    if (valueType) *valueType = list ? REG_MULTI_SZ : REG_SZ;
    return TRUE;
}

BOOL BenchDeviceCalls::setupDiGetDeviceInstanceId(HDEVINFO set, PSP_DEVINFO_DATA device, PWSTR instanceId,
                                                  DWORD instanceIdSize, PDWORD requiredSize) {
    if (device == nullptr || device->cbSize != sizeof(SP_DEVINFO_DATA))
        return fail(ERROR_INVALID_USER_BUFFER);
    const Member* member = memberOf(set, device->Reserved);
    if (member == nullptr) return fail(ERROR_INVALID_PARAMETER);
    const std::wstring id = qp::utf8ToWide(member->instanceId);
    if (requiredSize) *requiredSize = static_cast<DWORD>(id.size() + 1);
    if (instanceId == nullptr || instanceIdSize < id.size() + 1) return fail(ERROR_INSUFFICIENT_BUFFER);
    std::copy(id.begin(), id.end(), instanceId);
    instanceId[id.size()] = L'\0';
    return TRUE;
}

BOOL BenchDeviceCalls::setupDiDestroyDeviceInfoList(HDEVINFO set) {
    if (m_sets.erase(reinterpret_cast<std::uintptr_t>(set)) == 0) return fail(ERROR_INVALID_HANDLE);
    return TRUE;
}

// ---- cfgmgr32 ----------------------------------------------------------------------------------------

DEVINST BenchDeviceCalls::devNodeOf(const std::string& instanceId) {
    const std::string key = upper(instanceId);
    for (std::size_t i = 0; i < m_devNodes.size(); ++i)
        if (m_devNodes[i] == key) return static_cast<DEVINST>(i + 1);
    m_devNodes.push_back(key);
    return static_cast<DEVINST>(m_devNodes.size());
}

std::string BenchDeviceCalls::instanceIdOf(DEVINST node) const {
    return node >= 1 && node <= m_devNodes.size() ? m_devNodes[node - 1] : std::string();
}

CONFIGRET BenchDeviceCalls::cmLocateDevNode(PDEVINST devInst, DEVINSTID_W deviceId, ULONG flags) {
    if (devInst == nullptr || deviceId == nullptr) return CR_INVALID_POINTER;
    if (flags != CM_LOCATE_DEVNODE_NORMAL) return CR_INVALID_FLAG;
    const std::string wanted = upper(narrow(deviceId));
    SeamErrorKept kept;
    for (const auto& d : benchPorts().devices.allDevices())
        if (upper(d.instanceId) == wanted) {
            *devInst = devNodeOf(d.instanceId);
            return CR_SUCCESS;
        }
    return CR_NO_SUCH_DEVNODE;
}

CONFIGRET BenchDeviceCalls::cmGetParent(PDEVINST parent, DEVINST devInst, ULONG flags) {
    if (parent == nullptr) return CR_INVALID_POINTER;
    if (flags != 0) return CR_INVALID_FLAG;
    const std::string id = instanceIdOf(devInst);
    if (id.empty()) return CR_INVALID_DEVNODE;
    // A bridge's disk or CD-ROM lies on the bridge's USB device; the bench knows no other parents.
    const auto& names = m_bench->names();
    for (std::size_t b = 0; b < names.bridgeStorage.size(); ++b)
        if (upper(names.bridgeStorage[b].instanceId) == id) {
            *parent = devNodeOf(names.bridges[b].instanceId);
            return CR_SUCCESS;
        }
    return CR_NO_SUCH_DEVNODE;
}

CONFIGRET BenchDeviceCalls::cmGetDeviceId(DEVINST devInst, PWSTR buffer, ULONG bufferLength, ULONG flags) {
    if (buffer == nullptr) return CR_INVALID_POINTER;
    if (flags != 0) return CR_INVALID_FLAG;
    const std::string id = instanceIdOf(devInst);
    if (id.empty()) return CR_INVALID_DEVNODE;
    const std::wstring wide = qp::utf8ToWide(id);
    if (bufferLength < wide.size()) return CR_BUFFER_SMALL;
    std::copy(wide.begin(), wide.end(), buffer);
    if (bufferLength > wide.size()) buffer[wide.size()] = L'\0';
    return CR_SUCCESS;
}

CONFIGRET BenchDeviceCalls::cmRequestDeviceEject(DEVINST devInst, PPNP_VETO_TYPE vetoType, LPWSTR vetoName,
                                                 ULONG vetoNameLength, ULONG flags) {
    if (flags != 0) return CR_INVALID_FLAG;
    const std::string id = instanceIdOf(devInst);
    if (id.empty()) return CR_INVALID_DEVNODE;
    if (vetoType) *vetoType = PNP_VetoTypeUnknown;
    auto vetoed = [&](PNP_VETO_TYPE type) {
        if (vetoType) *vetoType = type;
        if (vetoName && vetoNameLength > 0) {
            const std::wstring wide = qp::utf8ToWide(id).substr(0, vetoNameLength - 1);
            std::copy(wide.begin(), wide.end(), vetoName);
            vetoName[wide.size()] = L'\0';
        }
        return CR_REMOVE_VETOED;
    };
    // Only the USB device is removable: a disk on it is not ejected by itself.
    if (id.rfind("USB\\", 0) != 0) return vetoed(PNP_VetoIllegalDeviceRequest);
    SeamErrorKept kept;
    if (benchPorts().devices.requestEject(id)) return CR_SUCCESS;
    if (kept.portError() != qp::kErrorGenFailure) return CR_NO_SUCH_DEVNODE;
    return vetoed(PNP_VetoDevice);  // something holds the device
}

}  // namespace win32_test
