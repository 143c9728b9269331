#include "platform/ata_translation.h"

#include <algorithm>
#include <cstring>

namespace quib::platform::ata {
namespace {

constexpr std::uint8_t kSatPassThrough16 = 0x85;
constexpr std::uint8_t kPioDataIn = 4, kPioDataOut = 5, kNonData = 3;
constexpr std::uint8_t kStatusReady = 0x50;  // DRDY and DSC
constexpr std::uint8_t kErrorAborted = 0x04;
constexpr std::uint8_t kDescriptorSense = 0x72;
constexpr std::uint8_t kAtaStatusReturn = 0x09;

}  // namespace

records::ScsiPassThroughDirect satRequestFor(const AtaRequest& request, std::uint32_t length) {
    records::ScsiPassThroughDirect r;
    std::memset(&r, 0, sizeof r);
    r.spt.Length = sizeof r.spt;
    r.spt.CdbLength = 16;
    r.spt.SenseInfoLength = sizeof r.ucSenseBuf;
    r.spt.SenseInfoOffset = offsetof(records::ScsiPassThroughDirect, ucSenseBuf);
    r.spt.DataIn = length == 0      ? records::kScsiDataUnspecified
                   : request.dataIn ? records::kScsiDataIn
                                    : records::kScsiDataOut;
    r.spt.DataTransferLength = length;
    r.spt.TimeOutValue = request.timeOutSeconds;
    const AtaTaskFile& t = request.taskFile;
    const std::uint8_t protocol = length == 0 ? kNonData : request.dataIn ? kPioDataIn : kPioDataOut;
    std::uint8_t* cdb = r.spt.Cdb;
    cdb[0] = kSatPassThrough16;
    cdb[1] = static_cast<std::uint8_t>(protocol << 1);
    // T_DIR from the direction, BYT_BLOK set, T_LENGTH in the sector count; nothing when no data move.
    cdb[2] = length == 0 ? 0x00 : request.dataIn ? 0x0E : 0x06;
    cdb[4] = t.features;
    cdb[6] = t.sectorCount;
    cdb[8] = t.lbaLow;
    cdb[10] = t.lbaMid;
    cdb[12] = t.lbaHigh;
    cdb[13] = t.device;
    cdb[14] = t.command;
    return r;
}

void readBackTaskFile(const records::ScsiPassThroughDirect& answered, AtaTaskFile& taskFile) {
    if (answered.spt.ScsiStatus == 0) {
        taskFile.features = 0;
        taskFile.command = kStatusReady;
        return;
    }
    taskFile.features = kErrorAborted;
    taskFile.command = kStatusReady | kAtaStatusError;
    const std::uint8_t* sense = answered.ucSenseBuf;
    const std::size_t senseLength =
        std::min<std::size_t>(answered.spt.SenseInfoLength, sizeof answered.ucSenseBuf);
    if (senseLength < 8 || (sense[0] & 0x7F) != kDescriptorSense) return;
    // Descriptors follow the 8-byte header; each gives its type and the length of what follows.
    const std::size_t end = std::min<std::size_t>(senseLength, 8u + sense[7]);
    for (std::size_t at = 8; at + 2 <= end; at += 2u + sense[at + 1]) {
        if (sense[at] != kAtaStatusReturn || at + 14 > end) continue;
        taskFile.features = sense[at + 3];
        taskFile.sectorCount = sense[at + 5];
        taskFile.lbaLow = sense[at + 7];
        taskFile.lbaMid = sense[at + 9];
        taskFile.lbaHigh = sense[at + 11];
        taskFile.device = sense[at + 12];
        taskFile.command = sense[at + 13];
        return;
    }
}

}  // namespace quib::platform::ata
