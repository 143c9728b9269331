#include "bench/drive/ata_dma.h"

namespace bench {
namespace {

std::uint64_t sectorCount(const AtaRegisters& in) { return in.count == 0 ? 65536 : in.count; }

}  // namespace

std::optional<AtaTransfer> dmaExtTransfer(const AtaRegisters& in, std::uint32_t logicalSize) {
    if (in.command != kAtaReadDmaExt && in.command != kAtaWriteDmaExt) return std::nullopt;
    const auto bytes = static_cast<std::uint32_t>(sectorCount(in) * logicalSize);
    return AtaTransfer{in.command == kAtaReadDmaExt ? AtaTransfer::Phase::DmaIn : AtaTransfer::Phase::DmaOut,
                       bytes};
}

AtaResult runDmaExt(const AtaRegisters& in, std::span<std::uint8_t> data, SectorStore& medium,
                    std::uint64_t sectors, std::uint32_t logicalSize) {
    if (!(in.device & 0x40)) return AtaResult::aborted(in);  // CHS addressing is not offered
    if (in.lba + sectorCount(in) > sectors) return AtaResult::aborted(in, kAtaErrorIdNotFound);
    const std::uint64_t unit = in.lba * (logicalSize / SectorStore::kUnit);
    if (in.command == kAtaWriteDmaExt)
        medium.write(unit, data);
    else
        medium.read(unit, data);
    return AtaResult::done(in, static_cast<std::uint32_t>(data.size()));
}

}  // namespace bench
