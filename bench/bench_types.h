// Values the bench hands to its transports, in neutral form (the bench knows nothing of the platform
// ports; platform/bench maps these onto them).
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "bench/scsi_types.h"

namespace bench {

// System error codes the bench reports, numbered as on Windows.
namespace err {
inline constexpr std::uint32_t kInvalidFunction = 1;
inline constexpr std::uint32_t kFileNotFound = 2;
inline constexpr std::uint32_t kPathNotFound = 3;
inline constexpr std::uint32_t kAccessDenied = 5;
inline constexpr std::uint32_t kInvalidHandle = 6;
inline constexpr std::uint32_t kNotReady = 21;
inline constexpr std::uint32_t kSectorNotFound = 27;
inline constexpr std::uint32_t kNotLocked = 158;
inline constexpr std::uint32_t kUnrecognizedVolume = 1005;
inline constexpr std::uint32_t kGenFailure = 31;  // the device does not function (a stalled request)
inline constexpr std::uint32_t kInvalidParameter = 87;
inline constexpr std::uint32_t kSemTimeout = 121;  // a request its device never finished: it timed out
inline constexpr std::uint32_t kIoDevice = 1117;
inline constexpr std::uint32_t kDeviceNotConnected = 1167;
}  // namespace err

// What an opened path addresses. Disk and CD-ROM targets carry the incarnation (boot count) of the chip
// behind them, so a handle opened before a restart does not reach the chip after it.
struct Target {
    enum class Kind : std::uint8_t {
        Disk = 1,
        Cdrom = 2,
        Controller = 3,
        Hub = 4,
        Volume = 5,
        UsbDevice = 6
    };
    Kind kind = Kind::Disk;
    std::uint32_t index = 0;
    std::uint32_t incarnation = 0;
    // Opened by its number ("\\\\.\\PHYSICALDRIVEn", "\\\\.\\CDROMn") rather than by an interface path.
    bool byNumber = false;
    bool operator==(const Target&) const = default;
};

struct InterfaceEntry {
    std::string devicePath;
    std::string instanceId;
    std::map<std::string, std::string> properties;
};

struct DeviceEntry {
    std::string instanceId;
    std::string classGuid;
    std::map<std::string, std::string> properties;
};

struct UsbIdentity {
    std::uint16_t bcdUsb = 0x0200;
    std::uint8_t deviceClass = 0;
    std::uint16_t vid = 0, pid = 0, bcdDevice = 0;
    bool hasManufacturer = false, hasProduct = false, hasSerial = false;
};

struct ConnectionEntry {
    enum class Status { NoDevice = 0, Connected = 1, FailedEnumeration = 2 };
    Status status = Status::NoDevice;
    bool isHub = false;
    std::uint8_t speed = 0;  // 0 low, 1 full, 2 high, 3 super
    UsbIdentity identity;
};

struct StorageNumber {
    std::uint32_t deviceType = 7;  // 7 disk, 2 CD-ROM
    std::uint32_t number = 0;
};

struct StorageInfo {
    std::uint32_t busType = 7;
    bool removable = false;
    std::string vendor, product, revision, serial;
};

struct GeometryInfo {
    std::uint64_t cylinders = 0;
    std::uint32_t tracksPerCylinder = 255, sectorsPerTrack = 63, bytesPerSector = 512;
    std::uint64_t diskSize = 0;
};

struct ExtentInfo {
    std::uint32_t diskNumber = 0;
    std::int64_t startingOffset = 0;
    std::int64_t extentLength = 0;
};

// The request header fields that do not reach the device but are judged by the OS and traced.
struct RequestHeader {
    std::uint16_t length = 44;
    std::uint8_t pathId = 0, targetId = 0, lun = 0;
    std::uint8_t senseInfoLength = 0;
    std::uint32_t senseInfoOffset = 0;
    std::uint32_t dataBufferOffset = 0;
};

// One SCSI pass-through as the transport saw it.
struct ScsiRequest {
    ScsiCommand command;
    RequestHeader header;
    std::uint32_t inputSize = 0;
    std::uint32_t outputSize = 0;
    bool direct = false;
    // Non-zero: the transport refused the request with this system error before any device saw it; the
    // bench only records it.
    std::uint32_t refusedWith = 0;
};

struct ScsiOutcome {
    bool controlOk = false;
    std::uint32_t systemError = 0;
    std::uint8_t scsiStatus = 0;
    std::uint32_t bytesMoved = 0;
    SenseData sense{};
};

struct TraceRecord {
    std::uint64_t timeMs = 0;
    std::string device;             // bridge id, "system_disk<n>", or the target's kind for other targets
    std::vector<std::uint8_t> cdb;  // CdbLength bytes
    std::uint8_t cdbLength = 0;
    std::uint8_t dataIn = 0;
    std::uint32_t transferLength = 0;
    std::uint32_t timeoutSeconds = 0;
    std::uint32_t inputSize = 0, outputSize = 0;
    bool direct = false;
    RequestHeader header;
    bool controlOk = false;
    std::uint32_t systemError = 0;
    std::uint8_t scsiStatus = 0;
    std::uint32_t bytesMoved = 0;
    SenseData sense{};  // after a CHECK CONDITION
};

// One control request sent to a USB device through its hub (GET_DESCRIPTOR and the like).
struct ControlTraceRecord {
    std::uint64_t timeMs = 0;
    std::string device;  // bridge id, device id, hub index ("hub<k>") or "port<p>" of an empty port
    std::uint32_t port = 0;
    std::uint8_t bmRequest = 0, bRequest = 0;
    std::uint16_t wValue = 0, wIndex = 0, wLength = 0;
    bool ok = false;
    std::uint32_t systemError = 0;
    std::uint32_t bytes = 0;
};

// One call on the program's dialog window: "caption", "status" (text), "text_colour", "progress_range"
// (value low, value2 high, value3 step), "position", "bar_colour" (value: 0x00BBGGRR), "summary" (text:
// its lines joined by "\n") or "show" (value: the answer, 1 OK or 2 closed).
struct DialogRecord {
    std::string op;
    std::string text;
    std::int64_t value = 0, value2 = 0, value3 = 0;
    std::uint64_t timeMs = 0;
};

struct MessageBoxRecord {
    std::string text, caption;
    std::uint32_t style = 0;
    int answer = 0;
    std::uint64_t timeMs = 0;
};

}  // namespace bench
