// The pass-through request record that carries every SCSI command to a device. It travels through the
// platform seam as these exact bytes, so what the library builds is what a backend (and a test) sees.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quib::records {

inline constexpr std::uint32_t kMaxScsiLen = 65536;  // MAX_SCSI_LEN: data bytes of one command
inline constexpr std::uint8_t kSenseInfoLength = 24;

// Values of the DataIn byte.
inline constexpr std::uint8_t kScsiDataOut = 0;
inline constexpr std::uint8_t kScsiDataIn = 1;
inline constexpr std::uint8_t kScsiDataUnspecified = 2;

#pragma pack(push, 1)

struct ScsiPassThrough {
    std::uint16_t Length;  // 44
    std::uint8_t ScsiStatus;
    std::uint8_t PathId;
    std::uint8_t TargetId;
    std::uint8_t Lun;
    std::uint8_t CdbLength;
    std::uint8_t SenseInfoLength;
    std::uint8_t DataIn;
    std::uint8_t Reserved[3];
    std::uint32_t DataTransferLength;
    std::uint32_t TimeOutValue;      // seconds
    std::uint32_t DataBufferOffset;  // 80; unused by the direct form, whose buffer travels beside the record
    std::uint32_t SenseInfoOffset;   // 48
    std::uint8_t Cdb[16];
};

// Buffered request (`sptwb`): header, filler, sense buffer and the 64 KiB data area.
struct ScsiPassThroughWithBuffers {
    ScsiPassThrough spt;
    std::uint32_t Filler;
    std::uint8_t ucSenseBuf[32];
    std::uint8_t ucDataBuf[kMaxScsiLen];
};

// Direct request: the same header, filler and sense buffer; the data buffer is separate.
struct ScsiPassThroughDirect {
    ScsiPassThrough spt;
    std::uint32_t Filler;
    std::uint8_t ucSenseBuf[32];
};

#pragma pack(pop)

static_assert(sizeof(ScsiPassThrough) == 44);
static_assert(offsetof(ScsiPassThrough, Length) == 0);
static_assert(offsetof(ScsiPassThrough, ScsiStatus) == 2);
static_assert(offsetof(ScsiPassThrough, PathId) == 3);
static_assert(offsetof(ScsiPassThrough, TargetId) == 4);
static_assert(offsetof(ScsiPassThrough, Lun) == 5);
static_assert(offsetof(ScsiPassThrough, CdbLength) == 6);
static_assert(offsetof(ScsiPassThrough, SenseInfoLength) == 7);
static_assert(offsetof(ScsiPassThrough, DataIn) == 8);
static_assert(offsetof(ScsiPassThrough, DataTransferLength) == 12);
static_assert(offsetof(ScsiPassThrough, TimeOutValue) == 16);
static_assert(offsetof(ScsiPassThrough, DataBufferOffset) == 20);
static_assert(offsetof(ScsiPassThrough, SenseInfoOffset) == 24);
static_assert(offsetof(ScsiPassThrough, Cdb) == 28);
static_assert(sizeof(ScsiPassThroughWithBuffers) == 65616);
static_assert(offsetof(ScsiPassThroughWithBuffers, Filler) == 44);
static_assert(offsetof(ScsiPassThroughWithBuffers, ucSenseBuf) == 48);
static_assert(offsetof(ScsiPassThroughWithBuffers, ucDataBuf) == 80);
static_assert(sizeof(ScsiPassThroughDirect) == 80);

inline constexpr std::uint32_t kSptHeaderAndSense = offsetof(ScsiPassThroughWithBuffers, ucDataBuf);  // 80
inline constexpr std::uint32_t kSptWholeRecord = sizeof(ScsiPassThroughWithBuffers);                  // 65616

}  // namespace quib::records
