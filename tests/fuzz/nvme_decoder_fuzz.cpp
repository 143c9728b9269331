// Fuzzes the NVMe decoders quibdiag shows: Identify (controller and namespace), the health and error log
// pages, and the 128-bit counters' decimal texts.
#include <cstddef>
#include <cstdint>

#include "tools/quibdiag/nvme_identify.h"
#include "tools/quibdiag/nvme_logs.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quibdiag;
    const ByteView bytes(data, size);
    const NvmeController c = decodeNvmeController(bytes);
    if (c.model.size() > 40 || c.serial.size() > 20 || c.firmware.size() > 8) __builtin_trap();
    const NvmeNamespace n = decodeNvmeNamespace(bytes);
    if (n.blockSize != 0 && (n.blockSize < 512 || (n.blockSize & (n.blockSize - 1)) != 0)) __builtin_trap();
    if (n.sizeBytes.decimal().size() > 39) __builtin_trap();  // 2^128 has 39 digits
    const NvmeHealth h = decodeNvmeHealth(bytes);
    if (h.warnings.size() > 6 || h.powerOnHours.decimal().empty()) __builtin_trap();
    for (const auto& e : decodeNvmeErrors(bytes))
        if (e.errorCount == 0 || e.status.type > 7 || e.status.text.empty()) __builtin_trap();
    return 0;
}
