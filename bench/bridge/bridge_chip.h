// One bridge chip with the drive behind it: its memories, its registers and its answers to every
// command it knows. It knows nothing of the bus: the bench decides when it is reachable.
//
// Firmware-area write position: a firmware write (0xE3) carries no address; each piece continues where
// the previous one ended. The position returns to 0 (and a bank write starts by erasing the bank's stream)
// when the selector changes, when any other command reaches the chip, when a piece is refused, after a
// restart, and when more than kWriteGapMs of virtual time passed since the previous piece.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <span>
#include <vector>

#include "bench/bridge/firmware_image.h"
#include "bench/bridge/link_cap.h"
#include "bench/bridge/nvme_bridge.h"
#include "bench/description.h"
#include "bench/drive/ata_device.h"
#include "bench/drive/sata_drive.h"
#include "bench/pd/pd_controller.h"
#include "bench/scsi_types.h"

namespace bench {

inline constexpr std::size_t kConfigBlockSize = 128;
inline constexpr std::size_t kOemEepromSize = 65536;
inline constexpr std::size_t kPcieSpaceSize = 4096;
inline constexpr std::size_t kFactoryBlockSize = 124;
inline constexpr std::uint64_t kWriteGapMs = 200;
inline constexpr std::uint8_t kOemSelector = 0xFF;

// Faults the bench arms for one command of a chip.
struct ChipCommandFaults {
    std::optional<std::size_t> powerLossAfterBytes;  // of the stream being written
    std::optional<std::size_t> corruptReadOffset;    // byte of the data read that comes back flipped
    bool loseNvmeCompletion = false;                 // the packet command's completion is never posted
};

class BridgeChip {
  public:
    enum Memory {
        kRegisters,
        kConfig,
        kOemEeprom,
        kFirmware0,
        kFirmware1,
        kFactory,
        kPcie,
        kDriveSectors,   // held by the drive; empty without one
        kSmartHostLogs,  // held by a SATA drive: its host-specific SMART logs
        kPdFlash,        // held by the PD controller; empty without one
        kMcuFlash,
        kMemoryCount
    };
    static const char* memoryName(Memory m);

    // A factory-fresh chip: memories built from the description, booted.
    explicit BridgeChip(const BridgeDescription& description);

    const BridgeDescription& description() const { return m_description; }

    using CommandFaults = ChipCommandFaults;
    // `data` has the command's transfer length: filled for data-in, read for data-out.
    ScsiReply execute(const ScsiCommand& command, std::span<std::uint8_t> data, std::uint64_t nowMs,
                      const CommandFaults& faults = {});

    // Sense data kept for the next REQUEST SENSE: what a CHECK CONDITION the bench answered in the chip's
    // place (an injected fault) leaves behind.
    void noteSense(const SenseData& sense) { m_pendingSense = sense; }

    // Restart: the chip runs the firmware in bank 0 when its stream is valid, else stays in its ROM code.
    // The relink signature registers keep their values, except at the first boot, which takes the
    // description's.
    void boot(bool forceRomCode, bool keepRelinkSignature = true);
    bool inRomCode() const { return m_romCode; }
    // The USB link the chip trains at (after a restart with a maximum speed, at most that).
    UsbLink usbLink() const { return trainedLink(m_description, m_linkCap); }
    std::optional<VersionBytes> runningVersion() const;

    // Memories, for the bench's persistence and for tests.
    const std::vector<std::uint8_t>& memory(Memory m) const;
    void replaceMemory(Memory m, std::vector<std::uint8_t> bytes);
    bool isDirty(Memory m) const;
    void clearDirty(Memory m);
    void markAllDirty();

    // The USB-PD controller the bridge reaches with 0xEC; none when the bridge has none.
    PdController* pd() { return m_pd.get(); }
    const PdController* pd() const { return m_pd.get(); }

    // The NVMe side of a PCIe bridge with a drive; none otherwise.
    NvmeBridge* nvme() { return m_nvme.get(); }
    const NvmeBridge* nvme() const { return m_nvme.get(); }

    // Commands the bridge passes on to its drive or answers for it (a drive that hangs leaves them
    // unanswered).
    static bool isDriveCommand(std::uint8_t op, bool pcie);

    // The SATA drive behind a 7120 bridge; none otherwise.
    SataDrive* sataDrive() { return m_sata; }
    const SataDrive* sataDrive() const { return m_sata; }

    // Convenience views.
    std::span<const std::uint8_t> configBank(int bank) const;
    const std::vector<std::uint8_t>& firmwareBank(int bank) const {
        return m_memories[bank == 0 ? kFirmware0 : kFirmware1];
    }
    std::uint8_t registerByte(std::uint16_t address) const { return m_memories[kRegisters][address]; }
    void setRegister(std::uint16_t address, std::uint8_t value);
    std::optional<std::vector<std::uint8_t>> driveSector(std::uint64_t lba) const;
    // The drive's medium from a byte offset on (what the system's partition manager and the file-system
    // drivers see); false past its end or without a drive.
    bool readDrive(std::uint64_t offset, std::span<std::uint8_t> out) const;
    // The parts of the medium from `offset` for `length` bytes that may hold something other than zeros, as
    // (offset, bytes) in whole 512-byte units; everything else reads as zeros.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> writtenDriveExtents(std::uint64_t offset,
                                                                             std::uint64_t length) const;
    // Whole 512-byte units at a unit-aligned offset.
    bool writeDrive(std::uint64_t offset, std::span<const std::uint8_t> in);
    // Keeps the drive's medium in an image file of its full size (a bench folder's chips/<id>/drive.img).
    void attachDriveImage(const std::filesystem::path& path);

    // Small state kept beside the memories.
    nlohmann::json runtimeToJson() const;
    void runtimeFromJson(const nlohmann::json& json);

  private:
    ScsiReply dispatch(const ScsiCommand& c, std::span<std::uint8_t> data, std::uint64_t nowMs,
                       const CommandFaults& faults, const std::optional<SenseData>& pending);
    ScsiReply requestSense(const ScsiCommand& c, std::span<std::uint8_t> data,
                           const std::optional<SenseData>& pending);
    ScsiReply inquiry(const ScsiCommand& c, std::span<std::uint8_t> data);
    // A register as a read finds it: the pin level registers follow the pins' directions.
    std::uint8_t pinAwareRegister(std::uint16_t address) const;
    ScsiReply registerRead(const ScsiCommand& c, std::span<std::uint8_t> data);
    ScsiReply registerWrite(const ScsiCommand& c);
    ScsiReply configRead(const ScsiCommand& c, std::span<std::uint8_t> data);
    ScsiReply configWrite(const ScsiCommand& c, std::span<std::uint8_t> data);
    ScsiReply firmwareRead(const ScsiCommand& c, std::span<std::uint8_t> data, const CommandFaults& faults);
    ScsiReply firmwareWrite(const ScsiCommand& c, std::span<std::uint8_t> data, std::uint64_t nowMs,
                            const CommandFaults& faults);
    ScsiReply pcieRead(const ScsiCommand& c, std::span<std::uint8_t> data);
    ScsiReply pcieWrite(const ScsiCommand& c);
    ScsiReply factoryWrite(const ScsiCommand& c, std::span<std::uint8_t> data);
    // The drive's power control: 0xCA84 bit 0 hands the drive's power to 0xCA85 bit 0. A drive switched off
    // answers none of the commands that reach it until it is switched on again.
    bool drivePowered() const;
    // 0xEC in a 6-byte CDB on a PCIe bridge: the PCIe link's generation and width.
    ScsiReply pcieLinkSet(const ScsiCommand& c);

    std::vector<std::uint8_t>& mutableMemory(Memory m) {
        m_dirty[m] = true;
        return m_memories[m];
    }
    bool isPcieFamily() const { return m_description.family == "8500"; }

    BridgeDescription m_description;
    std::array<std::vector<std::uint8_t>, kMemoryCount> m_memories;
    std::array<bool, kMemoryCount> m_dirty{};
    std::unique_ptr<AtaDevice> m_drive;  // what the ATA pass-through reaches; owns the medium
    SataDrive* m_sata = nullptr;         // m_drive, when it is a SATA drive
    std::unique_ptr<PdController> m_pd;
    std::unique_ptr<NvmeBridge> m_nvme;

    bool m_romCode = false;
    std::optional<int> m_linkCap;             // speed code the last restart capped the link at
    std::optional<SenseData> m_pendingSense;  // of the last command, until the next one
    struct WriteSession {
        int selector = -1;
        std::size_t position = 0;
        std::uint64_t lastMs = 0;
    } m_write;
};

// The 128-byte configuration block a bridge leaves the factory with: configured serial in bytes 4..23,
// manufacturer, product and ids after it, signature 0x5A at 126 and the checksum at 127.
std::array<std::uint8_t, kConfigBlockSize> makeConfigBlock(const BridgeDescription& bridge);

}  // namespace bench
