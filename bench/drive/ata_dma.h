// READ DMA EXT (0x25) and WRITE DMA EXT (0x35) on a drive's medium, shared by the drives that take them.
#pragma once

#include <optional>

#include "bench/drive/ata_device.h"

namespace bench {

inline constexpr std::uint8_t kAtaReadDmaExt = 0x25;
inline constexpr std::uint8_t kAtaWriteDmaExt = 0x35;

// The data phase of a DMA EXT command: count sectors of `logicalSize` bytes (a count of 0 means 65536).
std::optional<AtaTransfer> dmaExtTransfer(const AtaRegisters& in, std::uint32_t logicalSize);

// Runs it on `medium`, whose drive holds `sectors` logical sectors. The LBA mode bit (device bit 6) must be
// set; sectors beyond the drive end the command with ID NOT FOUND.
AtaResult runDmaExt(const AtaRegisters& in, std::span<std::uint8_t> data, SectorStore& medium,
                    std::uint64_t sectors, std::uint32_t logicalSize);

}  // namespace bench
