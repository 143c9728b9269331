#include "bench/drive/sata_drive.h"

#include <algorithm>

#include "bench/drive/ata_dma.h"
#include "bench/drive/ata_identify.h"
#include "bench/drive/smart_logs.h"

namespace bench {
namespace {

constexpr std::uint32_t kSector = 512;

std::uint16_t smartSignatureOf(const AtaRegisters& in) { return static_cast<std::uint16_t>(in.lba >> 8); }
std::uint8_t logAddressOf(const AtaRegisters& in) { return static_cast<std::uint8_t>(in.lba); }
std::uint8_t featureOf(const AtaRegisters& in) { return static_cast<std::uint8_t>(in.features); }

// CHECK POWER MODE's answer in the count register.
std::uint16_t powerModeCount(DriveDescription::PowerMode mode) {
    switch (mode) {
        case DriveDescription::PowerMode::Standby:
            return 0x00;
        case DriveDescription::PowerMode::Idle:
            return 0x80;
        case DriveDescription::PowerMode::Active:
            break;
    }
    return 0xFF;
}

}  // namespace

SataDrive::SataDrive(const DriveDescription& description)
    : m_description(description), m_hostLogs(kHostLogsSize, 0) {}

void SataDrive::replaceHostLogs(std::vector<std::uint8_t> bytes) {
    bytes.resize(kHostLogsSize, 0);
    m_hostLogs = std::move(bytes);
    m_hostLogsDirty = false;
}

std::optional<AtaTransfer> SataDrive::transferOf(const AtaRegisters& in) const {
    using Phase = AtaTransfer::Phase;
    switch (in.command) {
        case kAtaIdentify:
            return AtaTransfer{Phase::PioIn, kSector};
        case kAtaCheckPowerMode:
            return AtaTransfer{Phase::None, 0};
        case kAtaReadDmaExt:
        case kAtaWriteDmaExt:
            return dmaExtTransfer(in, m_description.bytesPerSector);
        case kAtaSmart:
            switch (featureOf(in)) {
                case smart_op::kReadData:
                case smart_op::kReadThresholds:
                    return AtaTransfer{Phase::PioIn, kSector};
                case smart_op::kReadLog:
                    return AtaTransfer{Phase::PioIn, static_cast<std::uint32_t>(in.count & 0xFF) * kSector};
                case smart_op::kWriteLog:
                    return AtaTransfer{Phase::PioOut, static_cast<std::uint32_t>(in.count & 0xFF) * kSector};
                case smart_op::kAttributeAutosave:
                case smart_op::kEnable:
                case smart_op::kDisable:
                case smart_op::kReturnStatus:
                    return AtaTransfer{Phase::None, 0};
                default:
                    return std::nullopt;
            }
        default:
            return std::nullopt;
    }
}

AtaResult SataDrive::execute(const AtaRegisters& in, std::span<std::uint8_t> data) {
    switch (in.command) {
        case kAtaIdentify: {
            const IdentifyData identify = makeIdentify(m_description);
            std::copy_n(identify.begin(), std::min(data.size(), identify.size()), data.begin());
            return AtaResult::done(in, kSector);
        }
        case kAtaCheckPowerMode: {
            AtaResult r = AtaResult::done(in);
            r.count = powerModeCount(m_description.powerMode);
            return r;
        }
        case kAtaReadDmaExt:
        case kAtaWriteDmaExt:
            return runDmaExt(in, data, m_medium, m_description.sectors, m_description.bytesPerSector);
        case kAtaSmart:
            return smart(in, data);
        default:
            return AtaResult::aborted(in);
    }
}

AtaResult SataDrive::smart(const AtaRegisters& in, std::span<std::uint8_t> data) {
    if (smartSignatureOf(in) != kSmartSignature) return AtaResult::aborted(in);
    const std::uint8_t op = featureOf(in);
    if (op == smart_op::kEnable) {
        m_smartEnabled = true;
        return AtaResult::done(in);
    }
    if (!m_smartEnabled) return AtaResult::aborted(in);
    switch (op) {
        case smart_op::kReadData:
        case smart_op::kReadThresholds: {
            const AtaSector page = op == smart_op::kReadData ? smartReadData(m_description.smart)
                                                             : smartThresholds(m_description.smart);
            std::copy_n(page.begin(), std::min(data.size(), page.size()), data.begin());
            return AtaResult::done(in, kSector);
        }
        case smart_op::kReadLog:
            return readLog(in, data);
        case smart_op::kWriteLog:
            return writeLog(in, data);
        case smart_op::kDisable:
            m_smartEnabled = false;
            return AtaResult::done(in);
        case smart_op::kAttributeAutosave:
            // 0xF1 enables, 0x00 disables; the bench's attributes are always as described.
            return (in.count & 0xFF) == 0xF1 || (in.count & 0xFF) == 0x00 ? AtaResult::done(in)
                                                                          : AtaResult::aborted(in);
        case smart_op::kReturnStatus: {
            AtaResult r = AtaResult::done(in);
            const std::uint16_t signature = m_description.smartHealthy() ? kSmartSignature : kSmartThresholdExceeded;
            r.lba = (in.lba & ~std::uint64_t{0xFFFF00}) | (std::uint64_t{signature} << 8);
            return r;
        }
        default:
            return AtaResult::aborted(in);
    }
}

AtaResult SataDrive::readLog(const AtaRegisters& in, std::span<std::uint8_t> data) {
    const std::uint8_t address = logAddressOf(in);
    const std::size_t count = in.count & 0xFF;
    const std::size_t held = smartLogSectors(address);
    if (count == 0 || count > held) return AtaResult::aborted(in);
    if (address >= kFirstHostLog) {
        const std::size_t at = (address - kFirstHostLog) * kHostLogSectors * kSector;
        std::copy_n(m_hostLogs.begin() + static_cast<std::ptrdiff_t>(at), count * kSector, data.begin());
        return AtaResult::done(in, static_cast<std::uint32_t>(count * kSector));
    }
    AtaSector page{};
    if (address == kLogDirectory)
        page = smartLogDirectory();
    else if (address == kLogSummaryErrors)
        page = summaryErrorLog(m_description.smart);
    else
        page = selfTestLog(m_description.smart);
    std::copy(page.begin(), page.end(), data.begin());
    return AtaResult::done(in, kSector);
}

AtaResult SataDrive::writeLog(const AtaRegisters& in, std::span<const std::uint8_t> data) {
    const std::uint8_t address = logAddressOf(in);
    const std::size_t count = in.count & 0xFF;
    // Only the host-specific logs take writes; the drive keeps the others itself.
    if (address < kFirstHostLog || address > kLastHostLog || count == 0 || count > kHostLogSectors)
        return AtaResult::aborted(in);
    const std::size_t at = (address - kFirstHostLog) * kHostLogSectors * kSector;
    std::copy_n(data.begin(), count * kSector, m_hostLogs.begin() + static_cast<std::ptrdiff_t>(at));
    m_hostLogsDirty = true;
    return AtaResult::done(in, static_cast<std::uint32_t>(count * kSector));
}

}  // namespace bench
