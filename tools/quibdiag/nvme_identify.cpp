#include "tools/quibdiag/nvme_identify.h"

namespace quibdiag {

NvmeController decodeNvmeController(ByteView data) {
    NvmeController c;
    c.pciVendor = static_cast<std::uint16_t>(readLe(data, 0, 2));
    c.subsystemVendor = static_cast<std::uint16_t>(readLe(data, 2, 2));
    c.serial = nvmeText(data, 4, 20);
    c.model = nvmeText(data, 24, 40);
    c.firmware = nvmeText(data, 64, 8);
    c.maxTransferPages = byteAt(data, 77);
    c.controllerId = static_cast<std::uint16_t>(readLe(data, 78, 2));
    c.version = static_cast<std::uint32_t>(readLe(data, 80, 4));
    if (c.version != 0) {
        c.versionText = std::to_string(c.version >> 16) + "." + std::to_string((c.version >> 8) & 0xFF);
        if (c.version & 0xFF) c.versionText += "." + std::to_string(c.version & 0xFF);
    }
    c.warningTempKelvin = static_cast<std::uint16_t>(readLe(data, 266, 2));
    c.criticalTempKelvin = static_cast<std::uint16_t>(readLe(data, 268, 2));
    c.totalCapacityBytes = WideCounter{readLe(data, 280, 8), readLe(data, 288, 8)};
    c.namespaces = static_cast<std::uint32_t>(readLe(data, 516, 4));
    return c;
}

NvmeNamespace decodeNvmeNamespace(ByteView data) {
    NvmeNamespace n;
    n.sizeBlocks = readLe(data, 0, 8);
    n.capacityBlocks = readLe(data, 8, 8);
    n.usedBlocks = readLe(data, 16, 8);
    n.formats = static_cast<std::uint8_t>(byteAt(data, 25) + 1);  // a 0-based count
    const std::uint8_t flbas = byteAt(data, 26);
    // Bits 3-0 and, since NVMe 2.0, bits 6-5 as the high part of the format index (up to 64 formats).
    n.formatInUse = static_cast<std::uint8_t>((flbas & 0x0F) | ((flbas & 0x60) >> 1));
    const std::size_t format = 128 + 4 * std::size_t{n.formatInUse};
    n.metadataBytes = static_cast<std::uint16_t>(readLe(data, format, 2));
    const std::uint8_t shift = byteAt(data, format + 2);
    // Sizes below 512 bytes are not used by the standard; above 2^31 would not fit.
    n.blockSize = (shift >= 9 && shift <= 31) ? (1u << shift) : 0;
    n.sizeBytes = WideCounter::product(n.sizeBlocks, n.blockSize);
    return n;
}

}  // namespace quibdiag
