// The bridge's SCSI/ATA Translation of ATA PASS-THROUGH (12) 0xA1 and (16) 0x85: the CDB's fields are
// held against each other, against the host's request and against the ATA command they carry, and the
// command goes to the drive only when all agree; otherwise CHECK CONDITION, ILLEGAL REQUEST, INVALID FIELD
// IN CDB. A command that ends with an error, or one that asks for its registers (CK_COND), answers CHECK
// CONDITION with descriptor-format sense data carrying the ATA Status Return descriptor.
#pragma once

#include <optional>
#include <span>

#include "bench/drive/ata_device.h"
#include "bench/scsi_types.h"

namespace bench {

inline constexpr std::uint8_t kAtaPassThrough12 = 0xA1;
inline constexpr std::uint8_t kAtaPassThrough16 = 0x85;

// The ATA command a pass-through CDB carries, with the fields that govern its data.
struct PassThroughCdb {
    enum Protocol : std::uint8_t {
        kNonData = 3,
        kPioIn = 4,
        kPioOut = 5,
        kDma = 6,
        kUdmaIn = 10,
        kUdmaOut = 11,
    };
    AtaRegisters registers;
    std::uint8_t protocol = 0;
    bool extend = false;
    bool checkCondition = false;  // CK_COND: answer the registers even on success
    bool lengthInBlocks = false;  // BYT_BLOK
    bool fromDevice = false;      // T_DIR
    bool logicalBlocks = false;   // T_TYPE: blocks of the logical sector rather than 512 bytes
    std::uint8_t lengthField = 0;  // T_LENGTH: 0 none, 1 features, 2 count, 3 transport-specific
};

// Decodes 0xA1 (12 bytes) or 0x85 (16 bytes); none for another operation code or length.
std::optional<PassThroughCdb> decodePassThrough(const ScsiCommand& command);

ScsiReply ataPassThrough(const ScsiCommand& command, std::span<std::uint8_t> data, AtaDevice& device);

// Descriptor-format sense data with the ATA Status Return descriptor (SAT), 22 bytes.
SenseData ataStatusSense(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq, const AtaResult& result,
                         bool extend);

}  // namespace bench
