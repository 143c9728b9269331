// An emulated bench: the USB tree, the bridges and drives on it, the system's disks and volumes, the
// registry, message boxes and the virtual clock, kept in memory or in a bench folder.
//
// A folder-backed bench may be opened by several modules and processes at once: every public operation
// locks the folder, reloads what another one saved since, acts, and saves what it changed.
//
// The members are defined by part: bench.cpp (construction, persistence, clock, registry, message boxes,
// inspection), usb/bench_usb.cpp and usb/bench_topology.cpp (the USB tree and what is on the bus),
// drive/bench_storage.cpp (device paths, SCSI commands, storage queries, volumes); bench_internal.h
// holds the state they share.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "bench/bench_error.h"
#include "bench/bench_types.h"
#include "bench/bridge/bridge_chip.h"
#include "bench/description.h"
#include "bench/store/registry_store.h"
#include "bench/usb/topology_names.h"
#include "bench/volume/disk_layout.h"
#include "bench/volume/fat32_files.h"
#include "bench/volume/volume_probe.h"
#include "common/disktools/tool_commands.h"

namespace bench {

class FolderStore;

// The disk-count registry value the system reads; kept equal to the number of disks present.
inline constexpr const char* kDiskEnumKey = "System\\CurrentControlSet\\Services\\Disk\\Enum";
// A message box starting with this asks the user to power-cycle the devices whose PD side was programmed.
inline constexpr const char* kPowerCyclePrompt = "Please power cycling Your";

class Bench {
  public:
    // A bench in memory only.
    static std::shared_ptr<Bench> fromJson(const nlohmann::json& description);
    // A bench folder: bench.json describes it, the other files hold its state. Throws BenchError when
    // bench.json is missing or malformed (the message names the file and the fault).
    static std::shared_ptr<Bench> openFolder(const std::filesystem::path& folder);
    // Writes a new bench folder (removing any state of an earlier bench there) and opens it.
    static std::shared_ptr<Bench> createFolder(const std::filesystem::path& folder,
                                               const nlohmann::json& description);

    ~Bench();
    Bench(const Bench&) = delete;
    Bench& operator=(const Bench&) = delete;

    const BenchDescription& description() const { return m_description; }
    const TopologyNames& names() const { return m_names; }
    std::optional<std::filesystem::path> folder() const;

    // ---- clock -------------------------------------------------------------------------------------
    std::uint64_t nowMs();
    std::int64_t unixSeconds();
    std::uint64_t nowUs();
    void sleepMs(std::uint64_t ms);  // advances the clock at once

    // ---- registry ----------------------------------------------------------------------------------
    bool registryKeyExists(const std::string& key);
    std::optional<RegistryEntry> readRegistry(const std::string& key, const std::string& name);
    void writeRegistry(const std::string& key, const std::string& name, const RegistryEntry& entry);
    // Whether the system may create or write a key: not under a key the description makes read-only.
    bool registryWritable(const std::string& key);
    // Creates an empty key (an existing one is fine); false when it is read-only.
    bool createRegistryKey(const std::string& key);

    // ---- message boxes and debug output -----------------------------------------------------------
    // The next scripted answer, else the box's first button (IDOK for OK-style boxes).
    int messageBox(const std::string& text, const std::string& caption, std::uint32_t style);
    std::vector<MessageBoxRecord> messageBoxes();  // every box shown on this bench
    // Records a call on the program's dialog; for "show" it returns the scripted answer (1 OK, 2 closed),
    // or, where the script leaves it to the window, records and returns the answer the record carries.
    int dialogCall(DialogRecord record);
    std::vector<DialogRecord> dialogCalls();  // every call on this bench
    void debugOutput(std::string_view text);
    std::vector<std::string> debugLines();  // in-memory benches only; a folder keeps "debug.log"

    // ---- opening devices ---------------------------------------------------------------------------
    // Resolves a device path (compared without regard to case); sets `error` when it names nothing present.
    std::optional<Target> open(const std::string& path, std::uint32_t& error);
    // Whether a target is still there (a restarted chip's old handles are not).
    bool targetPresent(const Target& target);

    // ---- storage -----------------------------------------------------------------------------------
    ScsiOutcome executeScsi(const Target& target, const ScsiRequest& request, std::span<std::uint8_t> data);
    std::optional<StorageNumber> deviceNumber(const Target& target, std::uint32_t& error);
    std::optional<StorageInfo> storageInfo(const Target& target, std::uint32_t& error);
    std::optional<GeometryInfo> geometry(const Target& target, std::uint32_t& error);

    // ---- USB tree ----------------------------------------------------------------------------------
    std::optional<std::string> controllerDriverKey(const Target& controller, std::uint32_t& error);
    std::optional<std::string> rootHubName(const Target& controller, std::uint32_t& error);
    std::optional<std::uint32_t> hubPortCount(const Target& hub, std::uint32_t& error);
    std::optional<ConnectionEntry> connection(const Target& hub, std::uint32_t port, std::uint32_t& error);
    std::optional<std::string> connectionName(const Target& hub, std::uint32_t port, std::uint32_t& error);
    std::optional<std::string> connectionDriverKey(const Target& hub, std::uint32_t port,
                                                   std::uint32_t& error);
    struct ControlRequest {
        std::uint8_t bmRequest = 0x80, bRequest = 6;
        std::uint16_t wValue = 0, wIndex = 0, wLength = 0;
    };
    std::optional<std::vector<std::uint8_t>> descriptor(const Target& hub, std::uint32_t port,
                                                        const ControlRequest& request, std::uint32_t& error);

    // ---- device installation services --------------------------------------------------------------
    std::vector<InterfaceEntry> interfaces(const std::string& interfaceGuid);
    std::vector<DeviceEntry> allDevices();
    std::optional<std::string> descriptionByDriverKey(const std::string& driverKey);
    std::optional<std::string> hardwareIdByDriverKey(const std::string& driverKey);
    // CM_Request_Device_Eject: the device and its disk leave the bus until replugged.
    bool requestEject(const std::string& instanceId, std::uint32_t& error);

    // ---- volumes -----------------------------------------------------------------------------------
    std::optional<std::string> volumeNameForMountPoint(const std::string& mountPoint, std::uint32_t& error);
    std::optional<std::vector<ExtentInfo>> diskExtents(const Target& volume, std::uint32_t& error);
    std::uint32_t driveType(const std::string& rootPath);  // GetDriveType codes
    std::uint32_t processorArchitecture() const { return m_description.processorArchitecture; }

    // ---- disk and volume contents and control (volume/bench_volumes.cpp) -----------------------------
    // ReadFile/WriteFile on an open bridge disk or volume, carried to the bridge as the disk driver carries
    // it: READ/WRITE (10), or (16) past 32-bit block numbers, of at most the adapter's transfer each, and
    // traced. Offset and length are whole blocks; a volume's transfer stays inside its partition. The
    // drive's speed advances the clock. System disks are never written: such a write is refused.
    std::optional<std::uint32_t> transfer(const Target& target, std::uint64_t offset,
                                          std::span<std::uint8_t> data, bool write, std::uint32_t& error);
    enum class VolumeControl { Lock, Dismount, Unlock, Release };
    // Lock, dismount and unlock as FSCTL does them; Release is the handle's closing (a lock ends with it).
    // `otherHandles`: the caller holds other handles open on the volume.
    bool volumeControl(const Target& volume, VolumeControl op, bool otherHandles, std::uint32_t& error);
    // IOCTL_DISK_UPDATE_PROPERTIES on a disk.
    bool updateProperties(const Target& disk, std::uint32_t& error);
    struct PartitionFacts {
        DiskLayout::Style style = DiskLayout::Style::Raw;
        PartitionSlot slot;  // a disk: the whole disk as partition 0
        std::uint32_t bytesPerSector = 512;
    };
    std::optional<PartitionFacts> partitionFacts(const Target& target, std::uint32_t& error);
    // The MBR type byte of a volume's partition, written into the drive's table.
    bool setPartitionType(const Target& volume, std::uint8_t type, std::uint32_t& error);
    // Partition entries in the disk's layout: 4 for MBR (as the system reports them), the used ones of a
    // GPT, 0 for a disk without a table.
    std::optional<std::uint32_t> partitionCount(const Target& disk, std::uint32_t& error);
    std::optional<VolumeFacts> volumeFacts(const std::string& rootPath, std::uint32_t& error);
    // Files in the root folder of a bridge volume's FAT32 ("E:\\name", "e:/name"; folders one level
    // deep are not kept). `ownsPath`: the path names a bridge volume's letter, so the bench answers it.
    bool ownsPath(const std::string& path);
    std::optional<Fat32Files::Entry> volumeEntry(const std::string& path, std::uint32_t& error);
    std::optional<std::vector<std::uint8_t>> readVolumeFile(const std::string& path, std::uint32_t& error);
    bool writeVolumeFile(const std::string& path, std::span<const std::uint8_t> bytes, std::uint32_t& error);
    bool removeVolumeEntry(const std::string& path, bool directory, std::uint32_t& error);
    bool createVolumeDirectory(const std::string& path, std::uint32_t& error);
    // Inspection: the volume and disk controls carried out, in order ("lock E", "dismount E", "unlock E",
    // "update 3", "type E 0C", "refused write system_disk0"), and a bridge drive's bytes.
    std::vector<std::string> volumeEvents();
    std::vector<std::uint8_t> driveBytes(const std::string& bridgeId, std::uint64_t offset,
                                         std::size_t length);

    // ---- the system's disk tools (volume/bench_diskpart.cpp, volume/bench_fs_tools.cpp) ----------------
    // A program the system starts: "diskpart.exe" with "/s <script>" (the script's text read through
    // `readScript`), "format.com" with "E:/Q /FS:EXFAT|NTFS /y" and "label.exe" with "E: label". The file
    // systems and labels are made by the host's own tools (mkfs.exfat, mkntfs, exfatlabel, ntfslabel,
    // fatlabel) on a copy of the partition, and what they changed is written back through the bridge. The
    // exit code, or nothing with `error` when no such program exists or its tool is missing on the host.
    using ScriptReader = std::function<std::optional<std::string>(const std::string& path)>;
    std::optional<std::uint32_t> runProgram(const std::string& program, const std::string& arguments,
                                            const ScriptReader& readScript, std::uint32_t& error);
    static constexpr std::uint32_t kDiskpartFailed = quib::disktools::kDiskpartFailed,
                                   kDiskpartNoScript = quib::disktools::kDiskpartNoScript,
                                   kDiskpartSyntax = quib::disktools::kDiskpartSyntax;
    static constexpr std::uint32_t kFormatBadParameters = quib::disktools::kFormatBadParameters,
                                   kFormatFatal = quib::disktools::kFormatFatal;
    // SetVolumeLabel("E:\\", label) on a bridge volume.
    bool setVolumeLabel(const std::string& rootPath, const std::string& label, std::uint32_t& error);
    // Where the disk tools keep their copy of a partition: by default the bench folder, or the system's
    // temporary folder for a bench in memory.
    void setScratchFolder(const std::filesystem::path& folder) { m_scratchFolder = folder; }
    // A sparse file holding a bridge drive's bytes from `offset` for `length` (tests check the file system
    // in it with the host's tools).
    void saveDriveRange(const std::string& bridgeId, std::uint64_t offset, std::uint64_t length,
                        const std::filesystem::path& path);

    // ---- inspection and control for tests and the tool ---------------------------------------------
    struct BridgeStatus {
        std::string id;
        bool onBus = false, ejected = false, stuckOff = false;
        std::optional<std::uint64_t> returnAtMs;
        int diskNumber = -1, cdromNumber = -1;  // -1: none (or off the bus)
        std::uint32_t restarts = 0;
        bool romCode = false;
        std::string runningVersion;  // twelve upper-case hex digits; empty in ROM code
    };
    std::vector<BridgeStatus> bridgeStatus();
    BridgeStatus bridgeStatus(const std::string& id);
    // Runs `f` on a bridge's chip under the bench's lock; changes are saved.
    void withChip(const std::string& id, const std::function<void(BridgeChip&)>& f);
    // Puts an ejected or stuck bridge back on the bus (booting it).
    void replug(const std::string& id);
    // Cuts and restores a bridge's power: it drops off the bus like a restart, and on its return its PD
    // controller and MCU boot too.
    void powerCycle(const std::string& bridgeId);
    // Commands received through this object (kept in memory).
    std::vector<TraceRecord> trace();
    // Every command recorded in the folder's "trace.jsonl" (all modules); the in-memory trace otherwise.
    std::vector<TraceRecord> traceAll();
    // Control requests sent through hubs: this object's, and every one in "control_trace.jsonl".
    std::vector<ControlTraceRecord> controlTrace();
    std::vector<ControlTraceRecord> controlTraceAll();
    std::vector<int> diskNumbersPresent();

  private:
    // A registry property of the USB device whose driver key is `driverKey`.
    std::optional<std::string> propertyByDriverKey(const std::string& driverKey, const std::string& property);
    struct BridgeSlot;
    struct FaultCounter {
        std::uint32_t matched = 0;
        bool fired = false;
    };
    struct State;

    Bench(BenchDescription description, std::unique_ptr<FolderStore> store, std::string descriptionHash);

    // Runs one operation: lock, reload when another module saved, settle due events, act, save.
    template <class F>
    auto transact(F&& f) -> decltype(f());
    void syncIn();
    void syncOut();
    void initialiseState();
    void loadState();
    void settle();
    bool anyChipDirty() const;

    // Topology questions (under the lock).
    bool bridgeReachable(int bridge) const;
    bool hubReachable(int hub) const;
    bool portFailsEnumeration(int hub, std::uint32_t port) const;
    int bridgeOnDisk(int disk) const;
    int bridgeOnCdrom(int cdrom) const;
    bool diskPresent(int disk) const;
    int nextFreeNumber(bool cdrom) const;
    void placeBridge(int bridge, bool initial);
    void updateDiskEnum();
    void dropOffBus(int bridge, bool forceRomCodeOnReturn);
    void powerCycleBridge(int bridge);
    std::optional<int> hubTarget(const Target& t, std::uint32_t& error) const;
    // What the device on a port answers to a control request; `device` names it for the trace.
    std::optional<std::vector<std::uint8_t>> answerDescriptor(const Target& hub, std::uint32_t port,
                                                              const ControlRequest& request,
                                                              std::uint32_t& error, std::string& device);
    const PortSlot* slotAt(int hub, std::uint32_t port) const;
    // A port whose device is connected, with its slot; otherwise nothing, with the system's error set.
    struct ConnectedPort {
        ConnectionEntry connection;
        const PortSlot* slot;
    };
    std::optional<ConnectedPort> connectedPort(const Target& hub, std::uint32_t port, std::uint32_t& error);
    std::string deviceNameOf(const Target& target) const;
    void record(const std::string& device, const ScsiRequest& request, const ScsiOutcome& outcome);
    void recordControl(ControlTraceRecord record);
    bool faultMatches(std::size_t index, int bridge);
    ScsiOutcome runOnBridge(int bridge, const ScsiRequest& request, std::span<std::uint8_t> data);

    // Where a volume lies: a bridge's drive from `offset` for `length` bytes, or a system disk.
    struct VolumePlace {
        int bridge = -1, systemDisk = -1;
        char letter = 0;
        std::uint64_t offset = 0, length = 0;
        PartitionSlot slot;
        DiskLayout::Style style = DiskLayout::Style::Raw;
    };
    std::optional<VolumePlace> volumePlace(std::size_t volume) const;
    char volumeLetter(std::size_t volume) const;  // as assigned, else as described
    // A volume the system shows: not on a bridge, or on a partition its drive holds.
    bool volumeShown(std::size_t volume) const {
        return !m_description.volumes[volume].bridge || volumePlace(volume).has_value();
    }
    void advanceUs(std::uint64_t us);
    // The FAT32 of the bridge volume a path names, and the name in its root folder.
    std::optional<std::pair<Fat32Files, std::string>> volumeFilesOf(const std::string& path,
                                                                    std::uint32_t& error);
    DiskLayout layoutOf(int bridge) const;
    std::uint32_t runDiskpart(const std::string& script);
    // Runs a host tool on a copy of a bridge volume's partition (`command` gives its arguments for the copy's
    // path) and writes back, through the bridge, the blocks the tool changed. The tool's exit code; nothing
    // when it could not be started.
    using ToolCommand = std::function<std::vector<std::string>(const std::string& image)>;
    std::optional<int> runToolOnPartition(const VolumePlace& place, const ToolCommand& command);
    // Whether a path's file operation failed (`error`) because its volume holds exFAT or NTFS, where the
    // bench keeps no files: only folders, and only while this object lives.
    bool foreignVolume(const std::string& path, std::uint32_t error);
    std::optional<std::uint32_t> driveTransfer(int bridge, std::uint64_t offset, std::span<std::uint8_t> data,
                                               bool write, std::uint32_t& error);

    BenchDescription m_description;
    TopologyNames m_names;
    std::unique_ptr<FolderStore> m_store;
    std::string m_descriptionHash;
    std::vector<std::unique_ptr<BridgeChip>> m_chips;
    std::unique_ptr<State> m_state;
    std::vector<TraceRecord> m_trace;
    std::vector<ControlTraceRecord> m_controlTrace;
    std::vector<std::string> m_debugLines;
    std::vector<MessageBoxRecord> m_messageBoxes;  // in-memory benches
    std::vector<DialogRecord> m_dialogCalls;       // in-memory benches
    std::set<char> m_lockedVolumes;
    std::vector<std::string> m_volumeEvents;
    std::set<std::string> m_foreignFolders;  // "E:\\TMP" on an exFAT or NTFS bridge volume
    std::filesystem::path m_scratchFolder;

    std::recursive_mutex m_mutex;
    int m_depth = 0;
    bool m_dirty = false;          // state.json
    bool m_registryDirty = false;  // registry.json
    std::uint64_t m_generation = 0;
    std::vector<std::array<std::uint64_t, BridgeChip::kMemoryCount>> m_memoryRevisions;
};

// The trace record of one command as a line of "trace.jsonl", and back.
nlohmann::json traceToJson(const TraceRecord& record);
TraceRecord traceFromJson(const nlohmann::json& json);
nlohmann::json controlTraceToJson(const ControlTraceRecord& record);
ControlTraceRecord controlTraceFromJson(const nlohmann::json& json);

}  // namespace bench
