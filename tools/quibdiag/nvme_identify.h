// NVMe Identify data (4096 bytes): the controller structure and the namespace structure, decoded.
#pragma once

#include <cstdint>
#include <string>

#include "tools/quibdiag/bytes.h"
#include "tools/quibdiag/wide_counter.h"

namespace quibdiag {

inline constexpr std::size_t kNvmeIdentifySize = 4096;

struct NvmeController {
    std::uint16_t pciVendor = 0, subsystemVendor = 0;
    std::string serial, model, firmware;
    std::uint32_t version = 0;          // major << 16 | minor << 8 | tertiary
    std::string versionText;            // "1.4", "1.3.1"; "" when not reported
    std::uint8_t maxTransferPages = 0;  // 2^n minimum pages; 0: no limit
    std::uint16_t controllerId = 0;
    std::uint32_t namespaces = 0;
    WideCounter totalCapacityBytes;  // 0 when the controller does not report it
    std::uint16_t warningTempKelvin = 0, criticalTempKelvin = 0;
};
NvmeController decodeNvmeController(ByteView data);

struct NvmeNamespace {
    std::uint64_t sizeBlocks = 0, capacityBlocks = 0, usedBlocks = 0;
    std::uint8_t formats = 0;  // LBA formats offered
    std::uint8_t formatInUse = 0;
    std::uint32_t blockSize = 0;  // of the format in use; 0 when its size is out of range
    std::uint16_t metadataBytes = 0;
    WideCounter sizeBytes;
};
NvmeNamespace decodeNvmeNamespace(ByteView data);

}  // namespace quibdiag
