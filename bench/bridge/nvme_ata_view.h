// What an 8500 bridge's ATA pass-through reaches of its NVMe drive: IDENTIFY DEVICE, translated from the
// drive's identity, and READ/WRITE DMA EXT on its blocks. Every other ATA command is aborted.
#pragma once

#include "bench/description.h"
#include "bench/drive/ata_device.h"

namespace bench {

class NvmeAtaView : public AtaDevice {
  public:
    explicit NvmeAtaView(const DriveDescription& description) : m_description(description) {}

    std::optional<AtaTransfer> transferOf(const AtaRegisters& in) const override;
    AtaResult execute(const AtaRegisters& in, std::span<std::uint8_t> data) override;
    std::uint32_t logicalSectorSize() const override { return m_description.bytesPerSector; }

  private:
    DriveDescription m_description;
};

}  // namespace bench
