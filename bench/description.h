// The bench description (bench.json), parsed and checked, laid out flat: controllers, hubs with their
// ports, bridges, other USB devices, system disks, volumes, registry, message-box answers and faults.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace bench {

enum class LinkSpeed { Full, High, Super, Plus };

// One attribute of a SATA drive's SMART data: its entry in READ DATA and its threshold.
struct SmartAttribute {
    std::uint8_t id = 0;
    std::uint16_t flags = 0;  // bit 0: pre-failure (a value at or below the threshold fails the drive)
    std::uint8_t value = 100, worst = 100, threshold = 0;
    std::uint64_t raw = 0;  // 48 bits
};

// One descriptor of the SMART self-test log.
struct SelfTestEntry {
    std::uint8_t type = 1;  // the test run (LBA low of EXECUTE OFF-LINE IMMEDIATE): 1 short, 2 extended, ...
    std::uint8_t status = 0;     // execution status, 0 completed without error .. 15 in progress
    std::uint8_t remaining = 0;  // percent left, 0..90
    std::uint16_t hours = 0;     // power-on hours when it ran
    std::optional<std::uint32_t> failingLba;
};

// One entry of the SMART summary error log: the command that failed and the registers it ended with.
struct ErrorLogEntry {
    std::uint16_t hours = 0;
    std::uint8_t command = 0xC8;  // the failing ATA command (READ DMA)
    std::uint8_t features = 0;
    std::uint8_t count = 1;
    std::uint32_t lba = 0;      // 28 bits
    std::uint8_t error = 0x40;  // UNC
    std::uint8_t status = 0x51;
    std::uint8_t state = 3;  // 1 sleep, 2 standby, 3 active or idle, 4 executing an off-line or self test
};

struct SmartDescription {
    std::vector<SmartAttribute> attributes;  // at most 30
    std::vector<SelfTestEntry> selfTests;    // most recent first, at most 21
    std::vector<ErrorLogEntry> errors;       // most recent first, at most 5
    std::uint16_t errorCount = 0;            // errors ever logged (errors.size(), or more with 5 kept)
};

struct DriveDescription {
    std::string kind;  // "sata" or "nvme"
    std::string serial;
    std::string model;
    std::string firmware;
    std::uint64_t sectors = 0;                   // what the drive holds, in its logical sectors
    std::uint32_t bytesPerSector = 512;          // the drive's logical sector
    std::uint32_t physicalBytesPerSector = 512;  // 512 or 4096, at least the logical sector
    // What the bridge reports (READ CAPACITY, the disk geometry): blocks of this size, `hiddenBlocks` of
    // them fewer than the drive holds. The sectors past the reported end exist and are reachable through
    // ATA pass-through.
    std::uint32_t reportedBytesPerSector = 512;
    std::uint64_t hiddenBlocks = 0;
    enum class PowerMode { Active, Idle, Standby };
    PowerMode powerMode = PowerMode::Active;
    // Speed of READ and WRITE on the medium in MiB/s: each transfer advances the bench clock by its time.
    // 0: transfers take no time.
    double readMiBps = 0, writeMiBps = 0;
    SmartDescription smart;

    // The drive's whole size in the bridge's blocks, and what the bridge reports.
    std::uint64_t blocksHeld() const { return sectors * bytesPerSector / reportedBytesPerSector; }
    std::uint64_t reportedBlocks() const { return blocksHeld() - hiddenBlocks; }
    // The drive's store keeps 512-byte units.
    std::uint64_t unitsHeld() const { return sectors * (bytesPerSector / 512); }
    // SMART health as RETURN STATUS reports it: no pre-failure attribute at or below its threshold.
    bool smartHealthy() const;
};

// A USB-PD controller (and optionally an ST microcontroller) the bridge reaches over its I2C bus.
struct PdDescription {
    int kind = 1;  // 1 RichTek, 2 CCG2, 4 CCG3, 5 CCG4; any other number answers only the generic queries
    int deviceMode = 1;   // kinds 4/5
    std::string version;  // upper-case hex the factory flash makes it run; "" for a blank flash (or no flash)
    bool marker = true;   // the control reply carries 0x5A
    bool userPowerCycles = true;
    bool mcu = false;
    bool mcuBootloader = false;  // the MCU leaves the factory blank and so sits in its bootloader
};

struct BridgeDescription {
    std::string id;
    std::string family;  // "7120" or "8500"
    int deviceType = 1;
    int msignature = 2;
    std::string firmwareVersion;  // twelve hex digits; empty: bank 0 holds no valid firmware
    std::size_t firmwareImageSize = 60902;
    std::uint16_t vid = 0x3F10, pid = 0x7120, bcdDevice = 0x0100;
    std::string manufacturer, product, serial;
    std::string configuredSerial;  // bytes 4..23 of the configuration area
    std::string instanceSerial;    // instance part of the disk interface path
    std::string storageSerial;     // serial of the storage device descriptor
    std::string description = "USB Mass Storage Device";
    bool diskDriverClass = false;  // driver key of the disk-drive class instead of the USB class
    std::string inquiryVendor = "KRV", inquiryProduct = "USB3.0 Bridge", inquiryRevision = "0100";
    std::optional<DriveDescription> drive;
    LinkSpeed link = LinkSpeed::Super;
    int lanes = 1;
    bool uas = true;
    int ccOrientation = 0;
    std::optional<int> package;  // register 0xC895; derived from the device type when absent
    int generation = 5;          // device type 7: register 0xE495
    bool cdrom = false;
    std::optional<int> diskNumber, cdromNumber;
    std::optional<char> volumeLetter;
    std::map<std::uint16_t, std::vector<std::uint8_t>> registers;  // raw overrides
    std::map<std::uint16_t, std::uint8_t> registerNoise;           // bits set beside the derived ones
    // Number IOCTL_STORAGE_GET_DEVICE_NUMBER answers on a handle opened by the disk's own number path.
    std::optional<int> reportedDeviceNumber;
    std::optional<std::array<std::uint8_t, 16>> otbStatus;
    std::uint32_t restartDelayMs = 2000;
    // The number a restarted bridge returns under: one above the highest ever used, the lowest free one (as
    // Windows numbers disks), or its old one when nobody holds it.
    enum class RestartNumbering { Next, Lowest, Same };
    RestartNumbering restartNumbering = RestartNumbering::Next;
    std::vector<int> romResetModes;           // restart modes that leave the chip in its ROM code
    bool readbackShift = false;               // read-back of the firmware area shifted by one byte
    std::vector<std::uint8_t> factoryConfig;  // 124 bytes (8500)
    std::uint8_t gpioInputs = 0;              // levels driven on the GPIO pins from outside, one bit per pin
    bool uartRx = true;                       // level of the UART receive line
    std::uint32_t maxTransfer = 2 * 1024 * 1024;
    std::size_t firmwareAreaSize = 512 * 1024;
    std::optional<PdDescription> pd;
    // Where it sits.
    int hub = -1;
    std::uint32_t port = 0;
};

struct UsbDeviceDescription {
    std::string id;
    std::uint16_t vid = 0, pid = 0, bcdDevice = 0x0100;
    std::string manufacturer, product, serial;
    std::string description = "USB Input Device";
    bool diskDriverClass = false;
    LinkSpeed link = LinkSpeed::Full;
    int hub = -1;
    std::uint32_t port = 0;
};

struct PortSlot {
    enum class Kind { Empty, Failed, Hub, Bridge, Device };
    Kind kind = Kind::Empty;
    int index = -1;  // hub, bridge or device index
};

struct HubDescription {
    int controller = 0;
    int parentHub = -1;  // -1: the controller's root hub
    std::uint32_t parentPort = 0;
    int depth = 0;                // 0 for a root hub
    std::vector<PortSlot> ports;  // ports[p - 1] is port p
    std::string name;             // root hub or hub name, without the "\\\\.\\" or "\\\\?\\" prefix
    std::uint16_t vid = 0x05E3, pid = 0x0610;
    std::string description = "Generic USB Hub";
};

struct ControllerDescription {
    std::string hardwareId;
    std::string description;
    int rootHub = -1;
};

struct SystemDiskDescription {
    std::string vendor, product, revision, serial;
    std::uint64_t sectors = 0;
};

enum class VolumeType { Fixed, Removable, Remote, Cdrom, RamDisk };

struct VolumeDescription {
    char letter = 0;
    VolumeType type = VolumeType::Fixed;
    // What the volume lies on: a system disk, a bridge's disk, or nothing (a remote drive).
    std::optional<int> systemDisk;
    std::optional<int> bridge;
    // Something else (an open window, a virus scanner) holds the volume open: it cannot be locked.
    bool held = false;
};

struct FaultDescription {
    // CompletionLost: the NVMe drive behind a PCIe bridge never posts the completion of a packet command.
    enum class Kind {
        Command,
        Enumeration,
        NeverReturns,
        ReadbackCorrupt,
        PowerLoss,
        EjectVeto,
        Hold,
        CompletionLost,
        DriveHang
    };
    Kind kind = Kind::Command;
    std::string bridge;                  // empty: any bridge
    std::optional<std::uint8_t> opcode;  // Command
    // Command with opcode EC, ReadbackCorrupt: CDB byte 1 of 0xEC; Command with opcode EA/EB: the packet
    // phase (CDB byte 2); Command with opcode A1/85: the ATA command (CDB byte 9 / 14).
    std::optional<std::uint8_t> subcommand;
    std::optional<std::uint8_t> ataFeature;  // Command with opcode A1/85: the features byte (SMART's)
    std::optional<std::uint16_t> reg;        // Command with opcode E4/E5: register address
    std::uint32_t nth = 1;                   // the n-th matching command (1-based) fails ...
    std::uint32_t times = 1;                 // ... and so do the next times-1 ones (0: all from the n-th)
    bool asCheckCondition = false;           // else the control operation fails with `error`
    std::uint32_t error = 1117;              // ERROR_IO_DEVICE
    std::size_t offset = 0;                  // ReadbackCorrupt: offset into the data read
    std::size_t afterBytes = 0;              // PowerLoss: bytes of the stream that reach the chip
    int controller = -1;                     // Enumeration by location
    std::vector<std::uint32_t> ports;        // Enumeration by location: ports from the root hub down
    int notifyFd = -1;                       // Hold: one byte is written here before the process blocks
};

struct RegistryEntry {
    std::uint32_t type = 0;  // 1 string, 3 binary, 4 dword
    std::vector<std::uint8_t> data;
};

struct BenchDescription {
    std::vector<ControllerDescription> controllers;
    std::vector<HubDescription> hubs;
    std::vector<BridgeDescription> bridges;
    std::vector<UsbDeviceDescription> devices;
    std::vector<SystemDiskDescription> systemDisks;
    std::vector<VolumeDescription> volumes;
    std::map<std::string, std::map<std::string, RegistryEntry>> registry;  // key as written -> values
    std::vector<std::string>
        registryReadOnly;  // keys (and their sub keys) the system may not create or write
    std::vector<int> messageBoxAnswers;
    bool dialogClosedByUser = false;  // the dialog window is closed with its title-bar button, not OK
    bool hostRegistry = false;        // the program uses the machine's own registry instead of the bench's
    bool dialogLeftToWindow = false;  // the window's own user (or a probe) closes it; the bench records how
    std::vector<FaultDescription> faults;
    std::uint32_t processorArchitecture = 9;
    std::int64_t clockStartUnix = 1700000000;
    // Where the partitioning tool starts an MBR partition, in sectors (63 as older systems did); 0: at 1 MiB.
    std::uint32_t diskpartMbrFirstSector = 0;

    int bridgeIndex(const std::string& id) const;  // -1 when none
};

// Parses and checks a description. `source` names it in messages (the file path). Throws BenchError.
BenchDescription parseDescription(const nlohmann::json& json, const std::string& source);

// Registry values as bench.json and registry.json write them: a number is a DWORD, a text a string, an
// object {"binary": "hex"} binary data, {"type": n, "hex": "..."} anything else.
RegistryEntry registryEntryFromJson(const nlohmann::json& value, const std::string& where);
nlohmann::json registryEntryToJson(const RegistryEntry& entry);

}  // namespace bench
