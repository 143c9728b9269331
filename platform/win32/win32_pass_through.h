// The system's pass-through record against the one Windows takes. The system's record has the header of
// 32-bit Windows (44 bytes); 64-bit Windows takes a 56-byte header, as DataBufferOffset (ULONG_PTR) - or,
// in the direct form, DataBuffer (a pointer) - is 8 bytes on an 8-byte boundary. Everything behind the
// header (filler, sense and data areas) keeps its order, so a position behind the header moves by the
// header's growth and every offset into the record is carried over with it.
//
// Both layouts are spelled out here, whatever this build's bitness, so that each conversion can be pinned
// by tests in either build.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <type_traits>
#include <vector>

#include "common/records/scsi_pass_through.h"

namespace quib::platform::pass_through {

// SCSI_PASS_THROUGH(_DIRECT) of 32-bit Windows: the system's record, naturally aligned.
struct Header32 {
    std::uint16_t Length;
    std::uint8_t ScsiStatus, PathId, TargetId, Lun, CdbLength, SenseInfoLength, DataIn;
    std::uint32_t DataTransferLength;
    std::uint32_t TimeOutValue;
    std::uint32_t DataBuffer;  // DataBufferOffset; the data's address in the direct form
    std::uint32_t SenseInfoOffset;
    std::uint8_t Cdb[16];
};

// SCSI_PASS_THROUGH(_DIRECT) of 64-bit Windows.
struct Header64 {
    std::uint16_t Length;
    std::uint8_t ScsiStatus, PathId, TargetId, Lun, CdbLength, SenseInfoLength, DataIn;
    std::uint32_t DataTransferLength;
    std::uint32_t TimeOutValue;
    alignas(8) std::uint64_t DataBuffer;
    std::uint32_t SenseInfoOffset;
    std::uint8_t Cdb[16];
};

static_assert(sizeof(Header32) == 44 && alignof(Header32) == 4);
static_assert(offsetof(Header32, DataBuffer) == 20 && offsetof(Header32, SenseInfoOffset) == 24);
static_assert(offsetof(Header32, Cdb) == 28);
static_assert(sizeof(Header64) == 56 && alignof(Header64) == 8);
static_assert(offsetof(Header64, DataTransferLength) == 12 && offsetof(Header64, TimeOutValue) == 16);
static_assert(offsetof(Header64, DataBuffer) == 24 && offsetof(Header64, SenseInfoOffset) == 32);
static_assert(offsetof(Header64, Cdb) == 36);

// The buffered request (header, filler, sense and data areas) and the direct one (no data area), laid out
// as Windows expects them under a header.
template <class Header>
struct BufferedRecord {
    Header spt;
    std::uint32_t Filler;
    std::uint8_t ucSenseBuf[32];
    std::uint8_t ucDataBuf[records::kMaxScsiLen];
};
template <class Header>
struct DirectRecord {
    Header spt;
    std::uint32_t Filler;
    std::uint8_t ucSenseBuf[32];
};

// The header of this build's Windows.
using NativeHeader = std::conditional_t<sizeof(void*) == 8, Header64, Header32>;

// How far everything behind the header moves.
template <class Header>
inline constexpr std::uint32_t kGrowth = sizeof(Header) - sizeof(records::ScsiPassThrough);

// An offset or size counted in the system's record, counted in Windows' record, and back. Values that
// end inside the header stay as they are, so Windows refuses them as the system's rules do.
template <class Header>
constexpr std::uint64_t toNative(std::uint32_t systemValue) {
    return systemValue >= sizeof(records::ScsiPassThrough) ? std::uint64_t{systemValue} + kGrowth<Header>
                                                           : systemValue;
}
template <class Header>
constexpr std::uint32_t toSystem(std::uint64_t nativeValue) {
    if (nativeValue >= sizeof(Header)) return static_cast<std::uint32_t>(nativeValue - kGrowth<Header>);
    return static_cast<std::uint32_t>(
        nativeValue < sizeof(records::ScsiPassThrough) ? nativeValue : sizeof(records::ScsiPassThrough));
}

// Header fields, one by one. The length names the header's own size; DataBuffer is given (an offset
// already counted in Windows' record, or the data's address).
template <class Header>
Header nativeHeader(const records::ScsiPassThrough& spt, std::uint64_t dataBuffer);
// Back: every field but DataBufferOffset, which the caller carries over (the direct form keeps its own).
template <class Header>
void systemHeader(const Header& native, records::ScsiPassThrough& spt);

// A buffered request in Windows' layout: `inputSize` bytes of the record carried over, room for
// `outputSize`, both counted again.
struct NativeBuffered {
    std::vector<std::uint8_t> bytes;
    std::uint32_t inputSize = 0;
    std::uint32_t outputSize = 0;
};
template <class Header>
NativeBuffered toNativeBuffered(const records::ScsiPassThroughWithBuffers& record, std::uint32_t inputSize,
                                std::uint32_t outputSize);
// Copies back what Windows returned (`returned` bytes of `native`, no more) and gives the count in the
// system's record. Nothing comes back from an answer too short to hold the header.
template <class Header>
std::uint32_t fromNativeBuffered(std::span<const std::uint8_t> native, std::uint32_t returned,
                                 records::ScsiPassThroughWithBuffers& record);

template <class Header>
DirectRecord<Header> toNativeDirect(const records::ScsiPassThroughDirect& record, const void* data);
template <class Header>
std::uint32_t fromNativeDirect(const DirectRecord<Header>& native, std::uint32_t returned,
                               records::ScsiPassThroughDirect& record);

}  // namespace quib::platform::pass_through
