// The SATA drive behind a 7120 bridge: IDENTIFY DEVICE, the SMART feature set with its logs, CHECK POWER
// MODE and READ/WRITE DMA EXT on its medium. Its SMART data come from the description; what the host
// writes into the host-specific logs and onto the medium is kept (the bench folder's smart_host_logs.bin
// and drive_sectors.bin).
#pragma once

#include <vector>

#include "bench/description.h"
#include "bench/drive/ata_device.h"

namespace bench {

inline constexpr std::uint8_t kAtaIdentify = 0xEC;
inline constexpr std::uint8_t kAtaSmart = 0xB0;
inline constexpr std::uint8_t kAtaCheckPowerMode = 0xE5;

// SMART sub-commands (the features register).
namespace smart_op {
inline constexpr std::uint8_t kReadData = 0xD0;
inline constexpr std::uint8_t kReadThresholds = 0xD1;
inline constexpr std::uint8_t kAttributeAutosave = 0xD2;
inline constexpr std::uint8_t kReadLog = 0xD5;
inline constexpr std::uint8_t kWriteLog = 0xD6;
inline constexpr std::uint8_t kEnable = 0xD8;
inline constexpr std::uint8_t kDisable = 0xD9;
inline constexpr std::uint8_t kReturnStatus = 0xDA;
}  // namespace smart_op

// LBA mid and high of every SMART command, and what RETURN STATUS answers in them.
inline constexpr std::uint16_t kSmartSignature = 0xC24F;
inline constexpr std::uint16_t kSmartThresholdExceeded = 0x2CF4;

class SataDrive : public AtaDevice {
  public:
    explicit SataDrive(const DriveDescription& description);

    std::optional<AtaTransfer> transferOf(const AtaRegisters& in) const override;
    AtaResult execute(const AtaRegisters& in, std::span<std::uint8_t> data) override;
    std::uint32_t logicalSectorSize() const override { return m_description.bytesPerSector; }

    // The host-specific logs 0x80..0x9F, 16 sectors each, in address order.
    const std::vector<std::uint8_t>& hostLogs() const { return m_hostLogs; }
    void replaceHostLogs(std::vector<std::uint8_t> bytes);
    bool hostLogsDirty() const { return m_hostLogsDirty; }
    void setHostLogsDirty(bool dirty) { m_hostLogsDirty = dirty; }

    // SMART DISABLE OPERATIONS leaves every SMART command but ENABLE aborted until ENABLE.
    bool smartEnabled() const { return m_smartEnabled; }
    void setSmartEnabled(bool enabled) { m_smartEnabled = enabled; }

  private:
    AtaResult smart(const AtaRegisters& in, std::span<std::uint8_t> data);
    AtaResult readLog(const AtaRegisters& in, std::span<std::uint8_t> data);
    AtaResult writeLog(const AtaRegisters& in, std::span<const std::uint8_t> data);

    DriveDescription m_description;
    std::vector<std::uint8_t> m_hostLogs;
    bool m_hostLogsDirty = true;
    bool m_smartEnabled = true;
};

}  // namespace bench
