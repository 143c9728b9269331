#include "bench/bridge/nvme_ata_view.h"

#include <algorithm>

#include "bench/drive/ata_dma.h"
#include "bench/drive/ata_identify.h"
#include "bench/drive/sata_drive.h"

namespace bench {

std::optional<AtaTransfer> NvmeAtaView::transferOf(const AtaRegisters& in) const {
    if (in.command == kAtaIdentify) return AtaTransfer{AtaTransfer::Phase::PioIn, 512};
    return dmaExtTransfer(in, m_description.bytesPerSector);
}

AtaResult NvmeAtaView::execute(const AtaRegisters& in, std::span<std::uint8_t> data) {
    if (in.command == kAtaIdentify) {
        // The NVMe serial and model come back in the ATA fields.
        const IdentifyData identify = makeIdentify(m_description);
        std::copy_n(identify.begin(), std::min(data.size(), identify.size()), data.begin());
        return AtaResult::done(in, 512);
    }
    if (in.command == kAtaReadDmaExt || in.command == kAtaWriteDmaExt)
        return runDmaExt(in, data, m_medium, m_description.sectors, m_description.bytesPerSector);
    return AtaResult::aborted(in);
}

}  // namespace bench
