// An ATA device as the bridge's SCSI/ATA translation sees it: it is handed the registers of one command
// and its data, and answers with the registers the command ended with. It also says, before a command
// runs, what data the command moves, so that the translation can hold the CDB's fields against it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "bench/drive/sector_store.h"

namespace bench {

// The input registers of one command; 48-bit LBA and 16-bit count and features for the extended form.
struct AtaRegisters {
    std::uint16_t features = 0;
    std::uint16_t count = 0;
    std::uint64_t lba = 0;
    std::uint8_t device = 0;
    std::uint8_t command = 0;
};

inline constexpr std::uint8_t kAtaStatusReady = 0x50;  // DRDY and DSC (DRQ, BSY and ERR clear)
inline constexpr std::uint8_t kAtaStatusError = 0x51;  // ... and ERR
inline constexpr std::uint8_t kAtaErrorAbort = 0x04;
inline constexpr std::uint8_t kAtaErrorIdNotFound = 0x10;

// What a command moves: its data phase as ATA defines it for that command.
struct AtaTransfer {
    enum class Phase { None, PioIn, PioOut, DmaIn, DmaOut };
    Phase phase = Phase::None;
    std::uint32_t bytes = 0;
};

// The output registers a command ended with.
struct AtaResult {
    std::uint8_t status = kAtaStatusReady;
    std::uint8_t error = 0;
    std::uint16_t count = 0;
    std::uint64_t lba = 0;
    std::uint8_t device = 0;
    std::uint32_t bytesMoved = 0;

    bool failed() const { return status & 0x01; }
    static AtaResult done(const AtaRegisters& in, std::uint32_t bytes = 0) {
        return {kAtaStatusReady, 0, in.count, in.lba, in.device, bytes};
    }
    static AtaResult aborted(const AtaRegisters& in, std::uint8_t error = kAtaErrorAbort) {
        return {kAtaStatusError, error, in.count, in.lba, in.device, 0};
    }
};

class AtaDevice {
  public:
    virtual ~AtaDevice() = default;
    // The data phase of a command the device knows; none for a command it does not know (it aborts it).
    virtual std::optional<AtaTransfer> transferOf(const AtaRegisters& in) const = 0;
    // `data` has the length transferOf gave: filled for data-in, read for data-out.
    virtual AtaResult execute(const AtaRegisters& in, std::span<std::uint8_t> data) = 0;
    // The device's logical sector, in bytes.
    virtual std::uint32_t logicalSectorSize() const = 0;

    SectorStore& medium() { return m_medium; }
    const SectorStore& medium() const { return m_medium; }

  protected:
    SectorStore m_medium;
};

}  // namespace bench
