#include "bench/bridge/sat_translation.h"

namespace bench {
namespace {

constexpr std::uint32_t kSatBlock = 512;
constexpr std::uint8_t kAscAtaInformationAvailable = 0x00, kAscqAtaInformationAvailable = 0x1D;

bool isDataIn(std::uint8_t protocol) {
    return protocol == PassThroughCdb::kPioIn || protocol == PassThroughCdb::kUdmaIn;
}
bool isDataOut(std::uint8_t protocol) {
    return protocol == PassThroughCdb::kPioOut || protocol == PassThroughCdb::kUdmaOut;
}
bool isKnownProtocol(std::uint8_t protocol) {
    return protocol == PassThroughCdb::kNonData || isDataIn(protocol) || isDataOut(protocol) ||
           protocol == PassThroughCdb::kDma;
}

// Does the protocol the host chose fit the data phase ATA gives the command?
bool protocolFits(const PassThroughCdb& p, AtaTransfer::Phase phase) {
    using Phase = AtaTransfer::Phase;
    switch (phase) {
        case Phase::None:
            return p.protocol == PassThroughCdb::kNonData;
        case Phase::PioIn:
            return p.protocol == PassThroughCdb::kPioIn;
        case Phase::PioOut:
            return p.protocol == PassThroughCdb::kPioOut;
        case Phase::DmaIn:
            return p.protocol == PassThroughCdb::kUdmaIn || (p.protocol == PassThroughCdb::kDma && p.fromDevice);
        case Phase::DmaOut:
            return p.protocol == PassThroughCdb::kUdmaOut || (p.protocol == PassThroughCdb::kDma && !p.fromDevice);
    }
    return false;
}

// The bytes the CDB announces: T_LENGTH names the field, BYT_BLOK and T_TYPE its unit.
std::uint32_t announcedBytes(const PassThroughCdb& p, std::uint32_t logicalSize) {
    const std::uint32_t field = p.lengthField == 1 ? p.registers.features : p.registers.count;
    if (!p.lengthInBlocks) return field;
    return field * (p.logicalBlocks ? logicalSize : kSatBlock);
}

ScsiReply invalidField() { return ScsiReply::check(kAscInvalidFieldInCdb); }

}  // namespace

std::optional<PassThroughCdb> decodePassThrough(const ScsiCommand& c) {
    const auto& b = c.cdb;
    PassThroughCdb p;
    if (b[0] == kAtaPassThrough12 && c.cdbLength == 12) {
        p.registers = {b[3], b[4], std::uint64_t{b[5]} | std::uint64_t{b[6]} << 8 | std::uint64_t{b[7]} << 16,
                       b[8], b[9]};
    } else if (b[0] == kAtaPassThrough16 && c.cdbLength == 16) {
        p.extend = b[1] & 0x01;
        // Without EXTEND the high bytes of the 48-bit fields are ignored, as for a 28-bit command.
        const auto high = [&](std::size_t at) -> std::uint64_t { return p.extend ? b[at] : 0; };
        p.registers.features = static_cast<std::uint16_t>(high(3) << 8 | b[4]);
        p.registers.count = static_cast<std::uint16_t>(high(5) << 8 | b[6]);
        p.registers.lba = std::uint64_t{b[8]} | std::uint64_t{b[10]} << 8 | std::uint64_t{b[12]} << 16 |
                          high(7) << 24 | high(9) << 32 | high(11) << 40;
        p.registers.device = b[13];
        p.registers.command = b[14];
    } else {
        return std::nullopt;
    }
    p.protocol = static_cast<std::uint8_t>((b[1] >> 1) & 0x0F);
    p.checkCondition = b[2] & 0x20;
    p.logicalBlocks = b[2] & 0x10;
    p.fromDevice = b[2] & 0x08;
    p.lengthInBlocks = b[2] & 0x04;
    p.lengthField = b[2] & 0x03;
    return p;
}

SenseData ataStatusSense(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq, const AtaResult& r, bool extend) {
    const auto lba = [&](int shift) { return static_cast<std::uint8_t>(r.lba >> shift); };
    return SenseData{0x72, key, asc, ascq, 0, 0, 0, 14,
                     // ATA Status Return descriptor: registers in the order of the 16-byte CDB.
                     0x09, 0x0C, static_cast<std::uint8_t>(extend ? 1 : 0), r.error,
                     static_cast<std::uint8_t>(r.count >> 8), static_cast<std::uint8_t>(r.count), lba(24), lba(0),
                     lba(32), lba(8), lba(40), lba(16), r.device, r.status};
}

ScsiReply ataPassThrough(const ScsiCommand& c, std::span<std::uint8_t> data, AtaDevice& device) {
    const auto decoded = decodePassThrough(c);
    if (!decoded) return invalidField();
    const PassThroughCdb& p = *decoded;
    if (!isKnownProtocol(p.protocol) || p.lengthField == 3) return invalidField();
    // The CDB's own fields: a data protocol names where its length is and which way the data go.
    const bool moves = p.protocol != PassThroughCdb::kNonData;
    if (moves != (p.lengthField != 0)) return invalidField();
    if ((isDataIn(p.protocol) && !p.fromDevice) || (isDataOut(p.protocol) && p.fromDevice)) return invalidField();
    // ... and the host's request agrees with them.
    if (moves && c.transferLength > 0 && c.dataIn != (p.fromDevice ? 1 : 0)) return invalidField();
    std::uint32_t expected = moves ? announcedBytes(p, device.logicalSectorSize()) : 0;

    const auto transfer = device.transferOf(p.registers);
    if (transfer) {
        if (!protocolFits(p, transfer->phase)) return invalidField();
        // A command whose data are one fixed sector (IDENTIFY, SMART READ DATA) ignores its count register,
        // so a count of 0 still moves that sector.
        const bool fixedSector = transfer->bytes == kSatBlock && p.lengthInBlocks && p.lengthField == 2 &&
                                 p.registers.count == 0 && (transfer->phase == AtaTransfer::Phase::PioIn) &&
                                 !p.logicalBlocks;
        if (fixedSector) expected = kSatBlock;
        if (transfer->bytes != expected) return invalidField();
    }
    if (c.transferLength != expected) return invalidField();

    const AtaResult result = device.execute(p.registers, data);
    if (result.failed()) {
        // The drive refused the command: its registers come back with the sense data, no data moved.
        ScsiReply r;
        r.status = kStatusCheckCondition;
        const std::uint8_t key = result.error & kAtaErrorIdNotFound ? kSenseIllegalRequest : kSenseAbortedCommand;
        const std::uint8_t asc = result.error & kAtaErrorIdNotFound ? kAscLbaOutOfRange : 0x00;
        r.sense = ataStatusSense(key, asc, 0x00, result, p.extend);
        return r;
    }
    if (p.checkCondition) {
        ScsiReply r;
        r.status = kStatusCheckCondition;
        r.bytesMoved = result.bytesMoved;
        r.sense = ataStatusSense(kSenseRecoveredError, kAscAtaInformationAvailable, kAscqAtaInformationAvailable,
                                 result, p.extend);
        return r;
    }
    return ScsiReply::good(result.bytesMoved);
}

}  // namespace bench
