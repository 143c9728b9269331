// ATA PASS-THROUGH (12) of the SCSI/ATA Translation: one 512-byte block by PIO, its length in the sector
// count. The device core's IDENTIFY and the SMART services build their commands here.
#pragma once

#include <cstdint>

#include "devcore/transport/scsi_request.h"

namespace quib::devcore {

inline constexpr std::uint8_t kAtaPassThrough12 = 0xA1;
inline constexpr std::uint32_t kAtaPassThroughTimeOut = 65535;
inline constexpr std::uint32_t kAtaBlockSize = 512;

// ATA registers of a 28-bit command without the device register.
struct AtaRegisters12 {
    std::uint8_t features = 0;
    std::uint8_t sectorCount = 0;
    std::uint8_t lbaLow = 0;
    std::uint8_t lbaMid = 0;
    std::uint8_t lbaHigh = 0;
    std::uint8_t command = 0;
};

// Byte 1 (protocol) and byte 2 (T_DIR, BYT_BLOK, T_LENGTH) as the command's data phase needs them:
// PIO data-in 0x08 0x0E, PIO data-out 0x0A 0x06; `direction` says which way the block travels.
inline ScsiCommand ataPassThrough12(const AtaRegisters12& registers, std::uint8_t protocol,
                                    std::uint8_t lengthFlags, std::uint8_t direction) {
    ScsiCommand command;
    command.cdbLength = 12;
    command.cdb = {kAtaPassThrough12,
                   protocol,
                   lengthFlags,
                   registers.features,
                   registers.sectorCount,
                   registers.lbaLow,
                   registers.lbaMid,
                   registers.lbaHigh,
                   0x00,
                   registers.command,
                   0x00,
                   0x00};
    command.dataIn = direction;
    command.transferLength = kAtaBlockSize;
    command.timeOutSeconds = kAtaPassThroughTimeOut;
    return command;
}

// A PIO data-in command of one block: IDENTIFY DEVICE, SMART READ DATA, READ LOG.
inline ScsiCommand ataPioDataIn12(const AtaRegisters12& registers) {
    return ataPassThrough12(registers, 0x08, 0x0E, records::kScsiDataIn);
}

}  // namespace quib::devcore
