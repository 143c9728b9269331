// The seam between the system and its operating system.
//
// Every call the system makes to the OS goes through one of the ports below. They are shaped after the
// operations the system performs, in the system's own (Windows-born) terms: devices are opened by paths
// such as "\\\\.\\PHYSICALDRIVE3", the USB tree is read hub by hub, the registry is the machine-wide one.
// Each backend translates: platform/bench over the emulated bench, platform/linux over Linux.
//
// Failures set the calling thread's last system error code (Windows numbering, see SystemError) and are
// reported as false, an empty optional or an invalid handle.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/records/scsi_pass_through.h"

namespace quib::platform {

// ---- errors -------------------------------------------------------------------------------------------

// System error codes, numbered as on Windows so that log lines read the same everywhere.
enum SystemError : std::uint32_t {
    kErrorSuccess = 0,
    kErrorInvalidFunction = 1,
    kErrorFileNotFound = 2,
    kErrorPathNotFound = 3,
    kErrorAccessDenied = 5,
    kErrorInvalidHandle = 6,
    kErrorNotReady = 21,
    kErrorCrc = 23,
    kErrorGenFailure = 31,  // "a device attached to the system is not functioning"
    kErrorNotSupported = 50,
    kErrorDevNotExist = 55,
    kErrorFileExists = 80,
    kErrorInvalidParameter = 87,
    kErrorInsufficientBuffer = 122,
    kErrorNoMoreItems = 259,
    kErrorNoSuchDevice = 433,
    kErrorIoDevice = 1117,
    kErrorDeviceNotConnected = 1167,
    kErrorDeviceRemoved = 1617,
    kErrorCantAccessFile = 1920,
    kErrorSemTimeout = 121,
    kErrorFileTooLarge = 223,
    kErrorSectorNotFound = 27,
    kErrorSharingViolation = 32,
    kErrorLockViolation = 33,
    kErrorNotLocked = 158,
    kErrorUnrecognizedVolume = 1005,
};

std::uint32_t lastError();
// The last error as the logs print it.
inline int lastErrorCode() {
    return static_cast<int>(lastError());
}
void setLastError(std::uint32_t code);

// ---- files and folders --------------------------------------------------------------------------------

class FileSystem {
  public:
    virtual ~FileSystem() = default;
    // Separator and full-path test of this platform ("\\" and "X:\\" on Windows, "/" and a leading "/").
    virtual char separator() const = 0;
    virtual bool isFullPath(std::string_view path) const = 0;

    // Symbolic links (reparse points on Windows) are never followed where the system writes, empties or
    // removes what it made: such an operation on a link refuses, or acts on the link itself.
    virtual bool exists(const std::string& path) = 0;
    virtual bool isDirectory(const std::string& path) = 0;
    // The path itself is a symbolic link (whatever it points to).
    virtual bool isLink(const std::string& path) = 0;
    // Readable and writable by this process.
    virtual bool isReadWrite(const std::string& path) = 0;
    // A whole regular file; anything else (a folder, a FIFO, a device) is refused without waiting on it.
    virtual std::optional<std::vector<std::uint8_t>> readFile(const std::string& path) = 0;
    // Size in bytes of a regular file; nothing when it cannot be examined or is no regular file.
    virtual std::optional<std::uint64_t> fileSize(const std::string& path) = 0;
    // Creates or truncates the file and writes the bytes, flushed to the medium; a link there is refused.
    virtual bool writeFile(const std::string& path, std::span<const std::uint8_t> bytes) = 0;
    virtual bool appendFile(const std::string& path, std::span<const std::uint8_t> bytes) = 0;
    // Deletes a file, or a link itself (never what it points to).
    virtual bool deleteFile(const std::string& path) = 0;
    virtual bool copyFile(const std::string& from, const std::string& to, bool replaceExisting) = 0;
    // An existing folder is success; a link to a folder is not.
    virtual bool createDirectory(const std::string& path) = 0;
    virtual bool removeDirectory(const std::string& path) = 0;  // the folder must be empty
    virtual bool clearReadOnly(const std::string& path) = 0;    // a link: nothing to change
    // Bare names of the entries of `folder` matching a wildcard pattern ("*.rom", "quibusb.dll"), in the
    // order the directory search delivers them. Every entry that is not a folder, links included.
    virtual std::vector<std::string> findFiles(const std::string& folder, const std::string& pattern) = 0;
    // Sub-folder names of `folder`: real folders only, never links to one.
    virtual std::vector<std::string> findFolders(const std::string& folder) = 0;
    virtual std::string currentDirectory() = 0;
    virtual bool setCurrentDirectory(const std::string& path) = 0;
};

// ---- the running module, its resources and the module loader ------------------------------------------

class Module {
  public:
    virtual ~Module() = default;
    // Full path of the program file of this process (GetModuleFileName(NULL)).
    virtual std::string executablePath() = 0;
    // A packaged resource of the program file: type (compared without regard to case) and id.
    virtual std::optional<std::span<const std::uint8_t>> findResource(std::string_view type, int id) = 0;
    // Loads a shared library by file name; nullptr on failure.
    virtual void* loadLibrary(const std::string& path) = 0;
    virtual void* findSymbol(void* library, const char* name) = 0;
    virtual bool freeLibrary(void* library) = 0;
};

// ---- registry (HKEY_LOCAL_MACHINE) --------------------------------------------------------------------

enum class RegistryType : std::uint32_t { None = 0, String = 1, Binary = 3, Dword = 4 };

struct RegistryValue {
    RegistryType type = RegistryType::None;
    std::vector<std::uint8_t> data;  // strings: UTF-16LE with terminator, as Windows stores them
};

class Registry {
  public:
    virtual ~Registry() = default;
    virtual bool keyExists(const std::string& subKey) = 0;
    // Creates the key, or opens an existing one, for writing (RegCreateKeyEx); fails without the rights.
    virtual bool createKey(const std::string& subKey) = 0;
    virtual std::optional<RegistryValue> readValue(const std::string& subKey, const std::string& name) = 0;
    // Creates the key when needed.
    virtual bool writeValue(const std::string& subKey, const std::string& name,
                            const RegistryValue& value) = 0;
};

// ---- user interface and debug output ------------------------------------------------------------------

// Message-box styles and answers, with Windows' values.
enum MessageBoxStyle : std::uint32_t {
    kMbOk = 0x0,
    kMbOkCancel = 0x1,
    kMbYesNo = 0x4,
    kMbIconError = 0x10,
    kMbIconQuestion = 0x20,
    kMbIconExclamation = 0x30,
    kMbIconInformation = 0x40,
};
enum MessageBoxAnswer : int { kIdOk = 1, kIdCancel = 2, kIdYes = 6, kIdNo = 7 };

class UserInterface {
  public:
    virtual ~UserInterface() = default;
    // Shows a modal message box (UTF-8 texts) and returns the button chosen.
    virtual int messageBox(const std::string& text, const std::string& caption, std::uint32_t style) = 0;
    // The debugger output channel.
    virtual void debugOutput(std::string_view text) = 0;
};

// ---- the main dialog window ------------------------------------------------------------------------------

// Colours as Windows keeps them (COLORREF): 0x00BBGGRR.
constexpr std::uint32_t rgb(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return std::uint32_t{r} | (std::uint32_t{g} << 8) | (std::uint32_t{b} << 16);
}

// The program's one window: a caption, a coloured status line, a progress bar and an OK button.
class Dialog {
  public:
    virtual ~Dialog() = default;
    virtual void setCaption(const std::string& text) = 0;
    virtual void setStatusText(const std::string& text) = 0;
    virtual void setStatusTextColour(std::uint32_t colour) = 0;
    virtual void setProgressRange(int low, int high, int step) = 0;
    virtual void setProgressPosition(int position) = 0;
    virtual void setProgressBarColour(std::uint32_t colour) = 0;
    // What became of each bridge, one line each, shown when the run is over and before the window waits.
    virtual void showSummary(const std::vector<std::string>& lines) = 0;
    // Shows the window until the user presses OK (kIdOk) or closes it (kIdCancel).
    virtual int showUntilClosed() = 0;
};

// ---- the process ---------------------------------------------------------------------------------------

class Process {
  public:
    virtual ~Process() = default;
    // What to remove should the process be interrupted (Ctrl+C, a termination request, the terminal
    // going away) before it removes the files itself: files, then folders (emptied first). The process
    // then ends with `exitCode`, or, when `exitCode` is none, dies of the signal as it would have.
    // Replaces the previous set; an empty set removes nothing.
    virtual void setInterruptCleanup(const std::vector<std::string>& files,
                                     const std::vector<std::string>& folders,
                                     std::optional<int> exitCode) = 0;
    // Starts a program without a window ("diskpart.exe"; found as the system finds programs) with
    // `arguments` after its name on the command line, and waits for it at most `timeoutMs`. Its exit code
    // (kStillActive when the wait ran out), or nothing when it could not be started (the error set).
    virtual std::optional<std::uint32_t> runHidden(const std::string& program, const std::string& arguments,
                                                   std::uint32_t timeoutMs) = 0;
    static constexpr std::uint32_t kStillActive = 259;
};

// ---- time -----------------------------------------------------------------------------------------------

class Clock {
  public:
    virtual ~Clock() = default;
    virtual std::uint64_t tickMs() = 0;  // milliseconds since an arbitrary start
    virtual std::int64_t unixSeconds() = 0;
    virtual std::int64_t performanceFrequency() = 0;
    virtual std::int64_t performanceCounter() = 0;
    virtual void sleepMs(std::uint32_t ms) = 0;
};

// ---- storage devices ------------------------------------------------------------------------------------

using DeviceHandle = std::intptr_t;
inline constexpr DeviceHandle kInvalidHandle = -1;
inline bool isValid(DeviceHandle h) {
    return h != 0 && h != kInvalidHandle;
}

enum OpenAccess : std::uint32_t { kAccessNone = 0, kAccessRead = 1, kAccessWrite = 2 };

struct StorageDeviceNumber {
    std::uint32_t deviceType = 0;  // 7 disk, 2 CD-ROM
    std::uint32_t deviceNumber = 0;
    std::uint32_t partitionNumber = 0;
};

struct StorageDescriptor {
    std::uint32_t busType = 0;  // 7 USB, 1 SCSI, 11 SATA, 17 NVMe
    bool removable = false;
    std::string vendor, product, revision, serial;
};

struct DriveGeometry {
    std::uint64_t cylinders = 0;
    std::uint32_t tracksPerCylinder = 0, sectorsPerTrack = 0, bytesPerSector = 512;
    std::uint64_t diskSize = 0;
};

// IOCTL_DISK_GET_PARTITION_INFO_EX of a volume or a disk: the partition's place and type in both forms.
enum class PartitionStyle : std::uint32_t { Mbr = 0, Gpt = 1, Raw = 2 };
struct PartitionInfo {
    PartitionStyle style = PartitionStyle::Mbr;
    std::int64_t startingOffset = 0, partitionLength = 0;
    std::uint32_t partitionNumber = 0;
    std::uint8_t mbrType = 0;  // MBR form
    bool bootIndicator = false;
    std::uint32_t hiddenSectors = 0;
    std::array<std::uint8_t, 16> gptType{};  // GPT form
};

struct ScsiResult {
    bool ok = false;                  // the control operation reported success
    std::uint32_t bytesReturned = 0;  // bytes of the output buffer written
};

// IOCTL_ATA_PASS_THROUGH_DIRECT: one 28-bit ATA command. The task file holds the registers of its
// CurrentTaskFile; after the call the device's error register is in `features` and its status register in
// `command` (an ATA error is a completed call with the ERR bit set, not a failed call).
struct AtaTaskFile {
    std::uint8_t features = 0, sectorCount = 0, lbaLow = 0, lbaMid = 0, lbaHigh = 0, device = 0, command = 0;
};
inline constexpr std::uint8_t kAtaStatusError = 0x01;

struct AtaRequest {
    bool dataIn = true;
    std::uint32_t timeOutSeconds = 10;
    AtaTaskFile taskFile;
};

class Storage {
  public:
    virtual ~Storage() = default;
    // Opens a device path ("\\\\.\\PHYSICALDRIVE3", "\\\\.\\CDROM1", an interface path, "\\\\.\\X:" a volume,
    // a hub or host-controller path). kInvalidHandle on failure.
    virtual DeviceHandle open(const std::string& path, std::uint32_t access) = 0;
    virtual void close(DeviceHandle handle) = 0;
    // IOCTL_SCSI_PASS_THROUGH: the record is both input and output; sizes as the caller passes them.
    virtual ScsiResult scsiPassThrough(DeviceHandle handle, records::ScsiPassThroughWithBuffers& record,
                                       std::uint32_t inputSize, std::uint32_t outputSize) = 0;
    // IOCTL_SCSI_PASS_THROUGH_DIRECT: the data travel in `data` (its size is DataTransferLength).
    virtual ScsiResult scsiPassThroughDirect(DeviceHandle handle, records::ScsiPassThroughDirect& record,
                                             std::span<std::uint8_t> data) = 0;
    virtual std::optional<StorageDeviceNumber> deviceNumber(DeviceHandle handle) = 0;
    virtual std::optional<StorageDescriptor> storageDescriptor(DeviceHandle handle) = 0;
    virtual std::optional<DriveGeometry> driveGeometry(DeviceHandle handle) = 0;
    // The data travel in `data` (its size is the transfer length).
    virtual ScsiResult ataPassThroughDirect(DeviceHandle handle, AtaRequest& request,
                                            std::span<std::uint8_t> data) = 0;

    // ReadFile/WriteFile at a byte offset of an open disk or volume, as an unbuffered handle allows them:
    // whole sectors at a sector-aligned offset. The bytes moved, or nothing.
    virtual std::optional<std::uint32_t> readAt(DeviceHandle handle, std::uint64_t offset,
                                                std::span<std::uint8_t> data) = 0;
    virtual std::optional<std::uint32_t> writeAt(DeviceHandle handle, std::uint64_t offset,
                                                 std::span<const std::uint8_t> data) = 0;
    // FSCTL_LOCK_VOLUME, FSCTL_DISMOUNT_VOLUME, FSCTL_UNLOCK_VOLUME on an open volume. A lock is refused
    // while anything else holds the volume open; closing the handle releases it.
    virtual bool lockVolume(DeviceHandle volume) = 0;
    virtual bool dismountVolume(DeviceHandle volume) = 0;
    virtual bool unlockVolume(DeviceHandle volume) = 0;
    // IOCTL_DISK_UPDATE_PROPERTIES: the system reads the disk's partition table again.
    virtual bool updateProperties(DeviceHandle disk) = 0;
    virtual std::optional<PartitionInfo> partitionInfo(DeviceHandle handle) = 0;
    // IOCTL_DISK_SET_PARTITION_INFO: the MBR type of the partition the handle is open on.
    virtual bool setPartitionType(DeviceHandle volume, std::uint8_t type) = 0;
    // IOCTL_DISK_GET_DRIVE_LAYOUT_EX: the number of partition entries the layout reports (four for an
    // MBR disk, as Windows reports them, used or not; the used ones for GPT).
    virtual std::optional<std::uint32_t> partitionCount(DeviceHandle disk) = 0;
};

// ---- USB tree --------------------------------------------------------------------------------------------

enum class ConnectionStatus : std::uint32_t {
    NoDeviceConnected = 0,
    DeviceConnected = 1,
    DeviceFailedEnumeration = 2,
    DeviceGeneralFailure = 3,
    DeviceCausedOvercurrent = 4,
    DeviceNotEnoughPower = 5,
    DeviceNotEnoughBandwidth = 6,
    DeviceHubNestedTooDeeply = 7,
    DeviceInLegacyHub = 8,
};

#pragma pack(push, 1)
struct UsbDeviceDescriptor {
    std::uint8_t bLength = 18;
    std::uint8_t bDescriptorType = 1;
    std::uint16_t bcdUSB = 0;
    std::uint8_t bDeviceClass = 0, bDeviceSubClass = 0, bDeviceProtocol = 0, bMaxPacketSize0 = 0;
    std::uint16_t idVendor = 0, idProduct = 0, bcdDevice = 0;
    std::uint8_t iManufacturer = 0, iProduct = 0, iSerialNumber = 0, bNumConfigurations = 0;
};
#pragma pack(pop)
static_assert(sizeof(UsbDeviceDescriptor) == 18);

struct NodeConnectionInfo {
    ConnectionStatus status = ConnectionStatus::NoDeviceConnected;
    bool deviceIsHub = false;
    std::uint8_t speed = 0;  // 0 low, 1 full, 2 high, 3 super
    UsbDeviceDescriptor descriptor;
};

// A control request sent to a device through its hub (IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION).
struct SetupPacket {
    std::uint8_t bmRequest = 0x80;
    std::uint8_t bRequest = 6;  // GET_DESCRIPTOR
    std::uint16_t wValue = 0;
    std::uint16_t wIndex = 0;
    std::uint16_t wLength = 0;
};

class UsbTree {
  public:
    virtual ~UsbTree() = default;
    // Driver key name of a host controller (IOCTL_GET_HCD_DRIVERKEY_NAME) on its open handle.
    virtual std::optional<std::string> hcdDriverKeyName(DeviceHandle controller) = 0;
    // Root hub name, without the "\\\\.\\" prefix (IOCTL_USB_GET_ROOT_HUB_NAME).
    virtual std::optional<std::string> rootHubName(DeviceHandle controller) = 0;
    // Number of downstream ports of an open hub (IOCTL_USB_GET_NODE_INFORMATION).
    virtual std::optional<std::uint32_t> hubPortCount(DeviceHandle hub) = 0;
    virtual std::optional<NodeConnectionInfo> connectionInfo(DeviceHandle hub, std::uint32_t port) = 0;
    // Name of the external hub on a port, without the "\\\\?\\" prefix.
    virtual std::optional<std::string> connectionName(DeviceHandle hub, std::uint32_t port) = 0;
    virtual std::optional<std::string> connectionDriverKeyName(DeviceHandle hub, std::uint32_t port) = 0;
    // Returns the descriptor bytes (for a string descriptor: bLength, bDescriptorType, UTF-16LE text).
    virtual std::optional<std::vector<std::uint8_t>> descriptorFromConnection(DeviceHandle hub,
                                                                              std::uint32_t port,
                                                                              const SetupPacket& request) = 0;
};

// ---- device installation services and the configuration manager -----------------------------------------

inline constexpr const char* kGuidUsbHostController = "{3ABF6F2D-71C4-462A-8A92-1E6861E6AF27}";
inline constexpr const char* kGuidUsbDeviceInterface = "{A5DCBF10-6530-11D2-901F-00C04FB951ED}";
inline constexpr const char* kGuidDiskInterface = "{53F56307-B6BF-11D0-94F2-00A0C91EFB8B}";
inline constexpr const char* kGuidCdromInterface = "{53F56308-B6BF-11D0-94F2-00A0C91EFB8B}";
inline constexpr const char* kGuidUsbClass = "{36FC9E60-C465-11CF-8056-444553540000}";
inline constexpr const char* kGuidDiskDriveClass = "{4D36E967-E325-11CE-BFC1-08002BE10318}";

struct DeviceInterface {
    std::string devicePath;  // "\\\\?\\usbstor#disk&ven_...#<instance>#{guid}"
    std::string instanceId;  // "USBSTOR\\DISK&VEN_...\\<instance>"
    // Registry properties of the device, by name ("DeviceDesc", "HardwareID", "Driver", "Class", ...).
    std::map<std::string, std::string> properties;
};

struct DeviceNode {
    std::string instanceId;
    std::string classGuid;  // "{36FC9E60-...}"
    std::map<std::string, std::string> properties;
};

class Devices {
  public:
    virtual ~Devices() = default;
    // Present device interfaces of an interface class GUID.
    virtual std::vector<DeviceInterface> interfaces(const std::string& interfaceGuid) = 0;
    // All present devices of all classes.
    virtual std::vector<DeviceNode> allDevices() = 0;
    // Description ("DeviceDesc") and hardware ID of the device a driver key name belongs to.
    virtual std::optional<std::string> descriptionByDriverKey(const std::string& driverKeyName) = 0;
    virtual std::optional<std::string> hardwareIdByDriverKey(const std::string& driverKeyName) = 0;
    // CM_Request_Device_Eject; false when vetoed or failed.
    virtual bool requestEject(const std::string& instanceId) = 0;
};

// ---- volumes and drive letters ----------------------------------------------------------------------------

enum DriveType : std::uint32_t {
    kDriveUnknown = 0,
    kDriveNoRootDir = 1,
    kDriveRemovable = 2,
    kDriveFixed = 3,
    kDriveRemote = 4,
    kDriveCdrom = 5,
    kDriveRamDisk = 6,
};

struct DiskExtent {
    std::uint32_t diskNumber = 0;
    std::int64_t startingOffset = 0;
    std::int64_t extentLength = 0;
};

class Volumes {
  public:
    virtual ~Volumes() = default;
    // "\\\\?\\Volume{...}\\" behind a mount point such as "E:\\".
    virtual std::optional<std::string> volumeNameForMountPoint(const std::string& mountPoint) = 0;
    // Disk extents of an open volume (IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS).
    virtual std::optional<std::vector<DiskExtent>> diskExtents(DeviceHandle volume) = 0;
    virtual std::uint32_t driveType(const std::string& rootPath) = 0;  // GetDriveType("E:\\")
    virtual std::uint32_t processorArchitecture() = 0;                 // 0 x86, 6 IA64, 9 x64

    struct Information {
        std::string fileSystem;  // "FAT32", "exFAT", "NTFS"
        std::string label;
        std::uint32_t serial = 0;
    };
    // GetVolumeInformation("E:\\"): what the file system on the volume says of itself.
    virtual std::optional<Information> volumeInformation(const std::string& rootPath) = 0;
    // GetDiskFreeSpaceEx: bytes free to the caller.
    virtual std::optional<std::uint64_t> freeBytes(const std::string& rootPath) = 0;
    // SetVolumeLabel("E:\\", label).
    virtual bool setVolumeLabel(const std::string& rootPath, const std::string& label) = 0;
};

// ---- the whole seam ---------------------------------------------------------------------------------------

struct Platform {
    FileSystem& files;
    Module& module;
    Registry& registry;
    UserInterface& ui;
    Clock& clock;
    Storage& storage;
    UsbTree& usb;
    Devices& devices;
    Volumes& volumes;
    Dialog& dialog;
    Process& process;
};

// A backend owns the objects behind the ports.
class Backend {
  public:
    virtual ~Backend() = default;
    virtual Platform& platform() = 0;
};

// The backend of this module. Chosen at first use: QUIB_BENCH naming a bench folder selects the bench,
// otherwise the native backend of the build. Also routes this module's debug log to the debugger output.
Platform& get();

// Installs a backend for this module (tests); returns the previous one. nullptr goes back to the choice
// made from the environment at the next get().
std::unique_ptr<Backend> install(std::unique_ptr<Backend> backend);

}  // namespace quib::platform

namespace quib::platform {

// Packaged resources of the program file. The program registers the blobs linked into it at start; both
// backends answer Module::findResource from this table (type compared without regard to case).
struct PackagedResource {
    std::string type;
    int id = 0;
    std::span<const std::uint8_t> bytes;
};
void registerPackagedResources(std::vector<PackagedResource> resources);
std::optional<std::span<const std::uint8_t>> findPackagedResource(std::string_view type, int id);

}  // namespace quib::platform
