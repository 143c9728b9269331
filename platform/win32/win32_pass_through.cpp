#include "platform/win32/win32_pass_through.h"

#include <algorithm>
#include <cstring>

#include "platform/win32/win32_device_headers.h"

namespace quib::platform::pass_through {
namespace {

using records::ScsiPassThrough;
constexpr std::uint32_t kSystemHeader = sizeof(ScsiPassThrough);

// This build's header is Windows' own, field for field.
#define QUIB_SAME_FIELD(windows, field) \
    static_assert(offsetof(windows, field) == offsetof(NativeHeader, field), #windows "." #field)
static_assert(sizeof(SCSI_PASS_THROUGH) == sizeof(NativeHeader));
static_assert(sizeof(SCSI_PASS_THROUGH_DIRECT) == sizeof(NativeHeader));
QUIB_SAME_FIELD(SCSI_PASS_THROUGH, Length);
QUIB_SAME_FIELD(SCSI_PASS_THROUGH, ScsiStatus);
QUIB_SAME_FIELD(SCSI_PASS_THROUGH, PathId);
QUIB_SAME_FIELD(SCSI_PASS_THROUGH, TargetId);
QUIB_SAME_FIELD(SCSI_PASS_THROUGH, Lun);
QUIB_SAME_FIELD(SCSI_PASS_THROUGH, CdbLength);
QUIB_SAME_FIELD(SCSI_PASS_THROUGH, SenseInfoLength);
QUIB_SAME_FIELD(SCSI_PASS_THROUGH, DataIn);
QUIB_SAME_FIELD(SCSI_PASS_THROUGH, DataTransferLength);
QUIB_SAME_FIELD(SCSI_PASS_THROUGH, TimeOutValue);
QUIB_SAME_FIELD(SCSI_PASS_THROUGH, SenseInfoOffset);
QUIB_SAME_FIELD(SCSI_PASS_THROUGH, Cdb);
static_assert(offsetof(SCSI_PASS_THROUGH, DataBufferOffset) == offsetof(NativeHeader, DataBuffer));
static_assert(sizeof(SCSI_PASS_THROUGH::DataBufferOffset) == sizeof(NativeHeader::DataBuffer));
QUIB_SAME_FIELD(SCSI_PASS_THROUGH_DIRECT, SenseInfoOffset);
QUIB_SAME_FIELD(SCSI_PASS_THROUGH_DIRECT, Cdb);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, DataBuffer) == offsetof(NativeHeader, DataBuffer));
static_assert(sizeof(SCSI_PASS_THROUGH_DIRECT::DataBuffer) == sizeof(NativeHeader::DataBuffer));
#undef QUIB_SAME_FIELD

// On 32-bit Windows the system's record is Windows' own.
static_assert(offsetof(Header32, DataTransferLength) == offsetof(ScsiPassThrough, DataTransferLength));
static_assert(offsetof(Header32, TimeOutValue) == offsetof(ScsiPassThrough, TimeOutValue));
static_assert(offsetof(Header32, DataBuffer) == offsetof(ScsiPassThrough, DataBufferOffset));
static_assert(offsetof(Header32, SenseInfoOffset) == offsetof(ScsiPassThrough, SenseInfoOffset));
static_assert(offsetof(Header32, Cdb) == offsetof(ScsiPassThrough, Cdb));
static_assert(sizeof(BufferedRecord<Header32>) == sizeof(records::ScsiPassThroughWithBuffers));
static_assert(sizeof(DirectRecord<Header32>) == sizeof(records::ScsiPassThroughDirect));

}  // namespace

template <class Header>
Header nativeHeader(const ScsiPassThrough& spt, std::uint64_t dataBuffer) {
    Header h{};
    h.Length = spt.Length == kSystemHeader ? static_cast<std::uint16_t>(sizeof(Header)) : spt.Length;
    h.ScsiStatus = spt.ScsiStatus;
    h.PathId = spt.PathId;
    h.TargetId = spt.TargetId;
    h.Lun = spt.Lun;
    h.CdbLength = spt.CdbLength;
    h.SenseInfoLength = spt.SenseInfoLength;
    h.DataIn = spt.DataIn;
    h.DataTransferLength = spt.DataTransferLength;
    h.TimeOutValue = spt.TimeOutValue;
    h.DataBuffer = static_cast<decltype(h.DataBuffer)>(dataBuffer);
    h.SenseInfoOffset = static_cast<std::uint32_t>(toNative<Header>(spt.SenseInfoOffset));
    std::memcpy(h.Cdb, spt.Cdb, sizeof h.Cdb);
    return h;
}

template <class Header>
void systemHeader(const Header& h, ScsiPassThrough& spt) {
    spt.Length = h.Length == sizeof(Header) ? static_cast<std::uint16_t>(kSystemHeader) : h.Length;
    spt.ScsiStatus = h.ScsiStatus;
    spt.PathId = h.PathId;
    spt.TargetId = h.TargetId;
    spt.Lun = h.Lun;
    spt.CdbLength = h.CdbLength;
    spt.SenseInfoLength = h.SenseInfoLength;
    spt.DataIn = h.DataIn;
    spt.DataTransferLength = h.DataTransferLength;
    spt.TimeOutValue = h.TimeOutValue;
    spt.SenseInfoOffset = toSystem<Header>(h.SenseInfoOffset);
    std::memcpy(spt.Cdb, h.Cdb, sizeof spt.Cdb);
}

template <class Header>
NativeBuffered toNativeBuffered(const records::ScsiPassThroughWithBuffers& record, std::uint32_t inputSize,
                                std::uint32_t outputSize) {
    NativeBuffered out;
    out.inputSize = static_cast<std::uint32_t>(toNative<Header>(inputSize));
    out.outputSize = static_cast<std::uint32_t>(toNative<Header>(outputSize));
    out.bytes.assign(std::max<std::size_t>({out.inputSize, out.outputSize, sizeof(Header)}), 0);
    const Header h = nativeHeader<Header>(record.spt, toNative<Header>(record.spt.DataBufferOffset));
    std::memcpy(out.bytes.data(), &h, sizeof h);
    const auto* body = reinterpret_cast<const std::uint8_t*>(&record);
    const std::uint32_t carried = std::min<std::uint32_t>(inputSize, sizeof record);
    if (carried > kSystemHeader)
        std::memcpy(out.bytes.data() + sizeof(Header), body + kSystemHeader, carried - kSystemHeader);
    return out;
}

template <class Header>
std::uint32_t fromNativeBuffered(std::span<const std::uint8_t> native, std::uint32_t returned,
                                 records::ScsiPassThroughWithBuffers& record) {
    const std::size_t filled = std::min<std::size_t>(returned, native.size());
    if (filled < sizeof(Header)) return 0;
    Header h;
    std::memcpy(&h, native.data(), sizeof h);
    systemHeader(h, record.spt);
    record.spt.DataBufferOffset = toSystem<Header>(h.DataBuffer);
    const std::size_t body = std::min<std::size_t>(filled - sizeof(Header), sizeof record - kSystemHeader);
    std::memcpy(reinterpret_cast<std::uint8_t*>(&record) + kSystemHeader, native.data() + sizeof(Header),
                body);
    return static_cast<std::uint32_t>(kSystemHeader + body);
}

template <class Header>
DirectRecord<Header> toNativeDirect(const records::ScsiPassThroughDirect& record, const void* data) {
    DirectRecord<Header> out{};
    out.spt = nativeHeader<Header>(record.spt, reinterpret_cast<std::uintptr_t>(data));
    out.Filler = record.Filler;
    std::memcpy(out.ucSenseBuf, record.ucSenseBuf, sizeof out.ucSenseBuf);
    return out;
}

template <class Header>
std::uint32_t fromNativeDirect(const DirectRecord<Header>& native, std::uint32_t returned,
                               records::ScsiPassThroughDirect& record) {
    const std::size_t filled = std::min<std::size_t>(returned, sizeof native);
    if (filled < sizeof(Header)) return 0;
    systemHeader(native.spt, record.spt);
    const auto* from = reinterpret_cast<const std::uint8_t*>(&native);
    const std::size_t body = std::min<std::size_t>(filled - sizeof(Header), sizeof record - kSystemHeader);
    std::memcpy(reinterpret_cast<std::uint8_t*>(&record) + kSystemHeader, from + sizeof(Header), body);
    return static_cast<std::uint32_t>(kSystemHeader + body);
}

template Header32 nativeHeader<Header32>(const ScsiPassThrough&, std::uint64_t);
template Header64 nativeHeader<Header64>(const ScsiPassThrough&, std::uint64_t);
template void systemHeader<Header32>(const Header32&, ScsiPassThrough&);
template void systemHeader<Header64>(const Header64&, ScsiPassThrough&);
template NativeBuffered toNativeBuffered<Header32>(const records::ScsiPassThroughWithBuffers&, std::uint32_t,
                                                   std::uint32_t);
template NativeBuffered toNativeBuffered<Header64>(const records::ScsiPassThroughWithBuffers&, std::uint32_t,
                                                   std::uint32_t);
template std::uint32_t fromNativeBuffered<Header32>(std::span<const std::uint8_t>, std::uint32_t,
                                                    records::ScsiPassThroughWithBuffers&);
template std::uint32_t fromNativeBuffered<Header64>(std::span<const std::uint8_t>, std::uint32_t,
                                                    records::ScsiPassThroughWithBuffers&);
template DirectRecord<Header32> toNativeDirect<Header32>(const records::ScsiPassThroughDirect&, const void*);
template DirectRecord<Header64> toNativeDirect<Header64>(const records::ScsiPassThroughDirect&, const void*);
template std::uint32_t fromNativeDirect<Header32>(const DirectRecord<Header32>&, std::uint32_t,
                                                  records::ScsiPassThroughDirect&);
template std::uint32_t fromNativeDirect<Header64>(const DirectRecord<Header64>&, std::uint32_t,
                                                  records::ScsiPassThroughDirect&);

}  // namespace quib::platform::pass_through
