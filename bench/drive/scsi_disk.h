// The SCSI block commands a bridge answers for its drive's disk: READ CAPACITY (10)/(16), READ and WRITE
// (10)/(16), MODE
// SENSE (6)/(10), and the 7120's sector write (0xE6). Capacity and blocks are what the bridge reports:
// blocks of `reported_bytes_per_sector`, the hidden ones left out.
#pragma once

#include <span>

#include "bench/description.h"
#include "bench/drive/sector_store.h"
#include "bench/scsi_types.h"

namespace bench {

ScsiReply readCapacity10(const DriveDescription& drive, std::span<std::uint8_t> data);
ScsiReply readCapacity16(const DriveDescription& drive, std::span<std::uint8_t> data);
// READ(10)/(16) and WRITE(10)/(16) of the blocks the bridge reports, on the drive's medium.
ScsiReply readBlocks(const ScsiCommand& c, std::span<std::uint8_t> data, const DriveDescription& drive,
                     const SectorStore& medium);
ScsiReply writeBlocks(const ScsiCommand& c, std::span<std::uint8_t> data, const DriveDescription& drive,
                      SectorStore& medium);
ScsiReply modeSense(const ScsiCommand& c, std::span<std::uint8_t> data);
// 0xE6: an ATA WRITE DMA EXT wrapper of the 7120, in 512-byte sectors (at most 32768 bytes).
ScsiReply hardDiskWrite(const ScsiCommand& c, std::span<std::uint8_t> data, const DriveDescription& drive,
                        SectorStore& medium);

}  // namespace bench
