// Fuzzes the decoders of drive data quibdiag shows: ATA IDENTIFY, the SMART attribute table and the SMART
// logs. Any bytes of any length decode without reading past them, and what they give stays in range.
#include <cstddef>
#include <cstdint>
#include <span>

#include "tools/quibdiag/ata_identify.h"
#include "tools/quibdiag/smart_data.h"
#include "tools/quibdiag/smart_logs.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quibdiag;
    const ByteView bytes(data, size);
    const AtaIdentity id = decodeAtaIdentity(bytes);
    if (id.logicalSectorSize < 512 || id.logicalSectorSize > 65536) __builtin_trap();
    if (id.physicalSectorSize < id.logicalSectorSize) __builtin_trap();
    if (id.sectors > 0xFFFFFFFFFFFFull) __builtin_trap();
    if (id.model.size() > 40 || id.serial.size() > 20 || id.firmware.size() > 8) __builtin_trap();
    if (decodeSmartData(bytes).attributes.size() > 30) __builtin_trap();
    if (decodeLogDirectory(bytes).logs.size() > 255) __builtin_trap();
    for (const auto& e : decodeSummaryErrorLog(bytes).entries)
        if (e.slot < 1 || e.slot > 5 || e.lba > 0x0FFFFFFF) __builtin_trap();
    if (decodeSelfTestLog(bytes).entries.size() > 21) __builtin_trap();
    return 0;
}
