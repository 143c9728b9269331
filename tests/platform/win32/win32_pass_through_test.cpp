// The pass-through record between the system's layout (32-bit Windows' header) and Windows' own, for
// both bitnesses whatever this build is: every field both ways, where the areas behind the header land,
// and that nothing past what Windows returned is copied back.
#include "platform/win32/win32_pass_through.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace win32_test {
namespace {

namespace pt = quib::platform::pass_through;
using quib::records::ScsiPassThroughDirect;
using quib::records::ScsiPassThroughWithBuffers;

// Where Windows of each bitness keeps things in the buffered record (SCSI_PASS_THROUGH, a ULONG filler,
// 32 sense bytes, the data), as its headers lay them out.
template <class Header>
struct Expected;
template <>
struct Expected<pt::Header32> {
    static constexpr std::uint16_t kLength = 44;
    static constexpr std::uint32_t kFillerAt = 44, kSenseAt = 48, kDataAt = 80;
};
template <>
struct Expected<pt::Header64> {
    static constexpr std::uint16_t kLength = 56;
    static constexpr std::uint32_t kFillerAt = 56, kSenseAt = 60, kDataAt = 92;
};

// A system record with a distinct value in every field and area.
std::unique_ptr<ScsiPassThroughWithBuffers> distinctRecord() {
    auto r = std::make_unique<ScsiPassThroughWithBuffers>();
    std::memset(r.get(), 0, sizeof *r);
    r->spt.Length = 44;
    r->spt.ScsiStatus = 0x11;
    r->spt.PathId = 0x22;
    r->spt.TargetId = 0x33;
    r->spt.Lun = 0x44;
    r->spt.CdbLength = 12;
    r->spt.SenseInfoLength = 24;
    r->spt.DataIn = 1;
    r->spt.DataTransferLength = 0x1234;
    r->spt.TimeOutValue = 0x77;
    r->spt.DataBufferOffset = 80;
    r->spt.SenseInfoOffset = 48;
    for (int i = 0; i < 16; ++i) r->spt.Cdb[i] = static_cast<std::uint8_t>(0xC0 + i);
    r->Filler = 0xF1F2F3F4;
    for (int i = 0; i < 32; ++i) r->ucSenseBuf[i] = static_cast<std::uint8_t>(0x50 + i);
    for (std::size_t i = 0; i < sizeof r->ucDataBuf; ++i)
        r->ucDataBuf[i] = static_cast<std::uint8_t>(i * 7 + 1);
    return r;
}

template <class Header>
class PassThroughConversion : public ::testing::Test {};
using Bitnesses = ::testing::Types<pt::Header32, pt::Header64>;
class BitnessNames {
  public:
    template <class T>
    static std::string GetName(int) {
        return std::is_same_v<T, pt::Header64> ? "x64" : "x86";
    }
};
TYPED_TEST_SUITE(PassThroughConversion, Bitnesses, BitnessNames);

TYPED_TEST(PassThroughConversion, BufferedRequestTakesWindowsLayoutFieldByField) {
    using Header = TypeParam;
    using E = Expected<Header>;
    const auto record = distinctRecord();
    const std::uint32_t inputSize = 80 + 0x200, outputSize = 80 + 0x1234;
    const pt::NativeBuffered native = pt::toNativeBuffered<Header>(*record, inputSize, outputSize);

    EXPECT_EQ(native.inputSize, E::kDataAt + 0x200);
    EXPECT_EQ(native.outputSize, E::kDataAt + 0x1234);
    ASSERT_GE(native.bytes.size(), native.outputSize);
    Header h;
    std::memcpy(&h, native.bytes.data(), sizeof h);
    EXPECT_EQ(h.Length, E::kLength);
    EXPECT_EQ(h.ScsiStatus, 0x11);
    EXPECT_EQ(h.PathId, 0x22);
    EXPECT_EQ(h.TargetId, 0x33);
    EXPECT_EQ(h.Lun, 0x44);
    EXPECT_EQ(h.CdbLength, 12);
    EXPECT_EQ(h.SenseInfoLength, 24);
    EXPECT_EQ(h.DataIn, 1);
    EXPECT_EQ(h.DataTransferLength, 0x1234u);
    EXPECT_EQ(h.TimeOutValue, 0x77u);
    EXPECT_EQ(h.DataBuffer, E::kDataAt);
    EXPECT_EQ(h.SenseInfoOffset, E::kSenseAt);
    EXPECT_EQ(0, std::memcmp(h.Cdb, record->spt.Cdb, 16));

    std::uint32_t filler = 0;
    std::memcpy(&filler, native.bytes.data() + E::kFillerAt, 4);
    EXPECT_EQ(filler, 0xF1F2F3F4u);
    EXPECT_EQ(0, std::memcmp(native.bytes.data() + E::kSenseAt, record->ucSenseBuf, 32));
    EXPECT_EQ(0, std::memcmp(native.bytes.data() + E::kDataAt, record->ucDataBuf, 0x200));
    // What the input did not carry is not handed over.
    for (std::uint32_t i = native.inputSize; i < native.outputSize; ++i)
        ASSERT_EQ(native.bytes[i], 0) << "byte " << i;
}

TYPED_TEST(PassThroughConversion, BufferedAnswerComesBackFieldByFieldAndNoFurtherThanReturned) {
    using Header = TypeParam;
    using E = Expected<Header>;
    const std::uint32_t dataBytes = 0x40;
    std::vector<std::uint8_t> native(E::kDataAt + 0x100, 0xEE);  // 0xEE: never returned
    Header h{};
    h.Length = E::kLength;
    h.ScsiStatus = 0x02;
    h.PathId = 5;
    h.TargetId = 6;
    h.Lun = 7;
    h.CdbLength = 10;
    h.SenseInfoLength = 18;
    h.DataIn = 1;
    h.DataTransferLength = dataBytes;
    h.TimeOutValue = 9;
    h.DataBuffer = E::kDataAt;
    h.SenseInfoOffset = E::kSenseAt;
    for (int i = 0; i < 16; ++i) h.Cdb[i] = static_cast<std::uint8_t>(0xA0 + i);
    std::memcpy(native.data(), &h, sizeof h);
    const std::uint32_t filler = 0x0BADF00D;
    std::memcpy(native.data() + E::kFillerAt, &filler, 4);
    for (int i = 0; i < 32; ++i) native[E::kSenseAt + i] = static_cast<std::uint8_t>(0x70 + i);
    for (std::uint32_t i = 0; i < dataBytes; ++i)
        native[E::kDataAt + i] = static_cast<std::uint8_t>(0x10 + i);

    auto record = distinctRecord();
    const std::uint32_t returned = E::kDataAt + dataBytes;
    EXPECT_EQ(pt::fromNativeBuffered<Header>(native, returned, *record), 80 + dataBytes);

    EXPECT_EQ(record->spt.Length, 44);
    EXPECT_EQ(record->spt.ScsiStatus, 0x02);
    EXPECT_EQ(record->spt.PathId, 5);
    EXPECT_EQ(record->spt.TargetId, 6);
    EXPECT_EQ(record->spt.Lun, 7);
    EXPECT_EQ(record->spt.CdbLength, 10);
    EXPECT_EQ(record->spt.SenseInfoLength, 18);
    EXPECT_EQ(record->spt.DataIn, 1);
    EXPECT_EQ(record->spt.DataTransferLength, dataBytes);
    EXPECT_EQ(record->spt.TimeOutValue, 9u);
    EXPECT_EQ(record->spt.DataBufferOffset, 80u);
    EXPECT_EQ(record->spt.SenseInfoOffset, 48u);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(record->spt.Cdb[i], 0xA0 + i);
    EXPECT_EQ(record->Filler, filler);
    for (int i = 0; i < 32; ++i) EXPECT_EQ(record->ucSenseBuf[i], 0x70 + i);
    for (std::uint32_t i = 0; i < dataBytes; ++i) ASSERT_EQ(record->ucDataBuf[i], 0x10 + i);
    // Behind what Windows returned the caller's bytes stay.
    const auto untouched = distinctRecord();
    for (std::uint32_t i = dataBytes; i < 0x100; ++i)
        ASSERT_EQ(record->ucDataBuf[i], untouched->ucDataBuf[i]);
}

TYPED_TEST(PassThroughConversion, AnswerShorterThanTheHeaderBringsNothingBack) {
    using Header = TypeParam;
    std::vector<std::uint8_t> native(Expected<Header>::kDataAt, 0xEE);
    auto record = distinctRecord();
    EXPECT_EQ(pt::fromNativeBuffered<Header>(native, sizeof(Header) - 1, *record), 0u);
    EXPECT_EQ(0, std::memcmp(record.get(), distinctRecord().get(), sizeof *record));
}

TYPED_TEST(PassThroughConversion, BufferedRoundTripGivesTheRecordBack) {
    using Header = TypeParam;
    const auto record = distinctRecord();
    const pt::NativeBuffered native = pt::toNativeBuffered<Header>(*record, sizeof *record, sizeof *record);
    auto back = std::make_unique<ScsiPassThroughWithBuffers>();
    std::memset(back.get(), 0, sizeof *back);
    EXPECT_EQ(pt::fromNativeBuffered<Header>(native.bytes, native.outputSize, *back), sizeof *record);
    EXPECT_EQ(0, std::memcmp(back.get(), record.get(), sizeof *record));
}

TYPED_TEST(PassThroughConversion, OffsetsIntoTheHeaderAreLeftForWindowsToRefuse) {
    using Header = TypeParam;
    auto record = distinctRecord();
    record->spt.SenseInfoOffset = 10;
    record->spt.DataBufferOffset = 0;
    record->spt.Length = 40;
    const pt::NativeBuffered native = pt::toNativeBuffered<Header>(*record, 30, 30);
    Header h;
    std::memcpy(&h, native.bytes.data(), sizeof h);
    EXPECT_EQ(h.SenseInfoOffset, 10u);
    EXPECT_EQ(h.DataBuffer, 0u);
    EXPECT_EQ(h.Length, 40);
    EXPECT_EQ(native.inputSize, 30u);
    EXPECT_EQ(native.outputSize, 30u);
}

TYPED_TEST(PassThroughConversion, DirectRequestCarriesTheDataAddressAndComesBackWithoutIt) {
    using Header = TypeParam;
    using E = Expected<Header>;
    ScsiPassThroughDirect record{};
    record.spt.Length = 44;
    record.spt.ScsiStatus = 0x01;
    record.spt.PathId = 1;
    record.spt.TargetId = 2;
    record.spt.Lun = 3;
    record.spt.CdbLength = 16;
    record.spt.SenseInfoLength = 32;
    record.spt.DataIn = 0;
    record.spt.DataTransferLength = 4096;
    record.spt.TimeOutValue = 60;
    record.spt.DataBufferOffset = 0xDEAD;  // the direct form ignores it; the caller's value is kept
    record.spt.SenseInfoOffset = 48;
    for (int i = 0; i < 16; ++i) record.spt.Cdb[i] = static_cast<std::uint8_t>(i + 1);
    record.Filler = 0x12345678;
    for (int i = 0; i < 32; ++i) record.ucSenseBuf[i] = static_cast<std::uint8_t>(0x90 + i);
    const std::uint32_t address = 0x10203040;  // what a 32-bit pointer could hold

    const auto native =
        pt::toNativeDirect<Header>(record, reinterpret_cast<const void*>(std::uintptr_t{address}));
    EXPECT_EQ(native.spt.Length, E::kLength);
    EXPECT_EQ(native.spt.ScsiStatus, 0x01);
    EXPECT_EQ(native.spt.PathId, 1);
    EXPECT_EQ(native.spt.TargetId, 2);
    EXPECT_EQ(native.spt.Lun, 3);
    EXPECT_EQ(native.spt.CdbLength, 16);
    EXPECT_EQ(native.spt.SenseInfoLength, 32);
    EXPECT_EQ(native.spt.DataIn, 0);
    EXPECT_EQ(native.spt.DataTransferLength, 4096u);
    EXPECT_EQ(native.spt.TimeOutValue, 60u);
    EXPECT_EQ(native.spt.DataBuffer, address);
    EXPECT_EQ(native.spt.SenseInfoOffset, E::kSenseAt);
    EXPECT_EQ(0, std::memcmp(native.spt.Cdb, record.spt.Cdb, 16));
    EXPECT_EQ(native.Filler, 0x12345678u);
    EXPECT_EQ(0, std::memcmp(native.ucSenseBuf, record.ucSenseBuf, 32));
    EXPECT_EQ(offsetof(pt::DirectRecord<Header>, ucSenseBuf), E::kSenseAt);

    auto answered = native;
    answered.spt.ScsiStatus = 0x02;
    answered.spt.SenseInfoLength = 18;
    answered.spt.DataTransferLength = 512;
    for (int i = 0; i < 32; ++i) answered.ucSenseBuf[i] = static_cast<std::uint8_t>(0x30 + i);
    ScsiPassThroughDirect back = record;
    EXPECT_EQ(pt::fromNativeDirect<Header>(answered, sizeof answered, back), sizeof back);
    EXPECT_EQ(back.spt.Length, 44);
    EXPECT_EQ(back.spt.ScsiStatus, 0x02);
    EXPECT_EQ(back.spt.SenseInfoLength, 18);
    EXPECT_EQ(back.spt.DataTransferLength, 512u);
    EXPECT_EQ(back.spt.SenseInfoOffset, 48u);
    EXPECT_EQ(back.spt.DataBufferOffset, 0xDEADu);
    EXPECT_EQ(back.spt.PathId, 1);
    EXPECT_EQ(back.spt.TargetId, 2);
    EXPECT_EQ(back.spt.Lun, 3);
    EXPECT_EQ(back.spt.CdbLength, 16);
    EXPECT_EQ(back.spt.TimeOutValue, 60u);
    EXPECT_EQ(0, std::memcmp(back.spt.Cdb, record.spt.Cdb, 16));
    EXPECT_EQ(back.Filler, 0x12345678u);
    for (int i = 0; i < 32; ++i) EXPECT_EQ(back.ucSenseBuf[i], 0x30 + i);
}

TYPED_TEST(PassThroughConversion, DirectAnswerCutInsideTheSenseAreaKeepsTheRest) {
    using Header = TypeParam;
    using E = Expected<Header>;
    ScsiPassThroughDirect record{};
    record.spt.Length = 44;
    record.spt.SenseInfoOffset = 48;
    for (int i = 0; i < 32; ++i) record.ucSenseBuf[i] = 0x11;
    auto native = pt::toNativeDirect<Header>(record, nullptr);
    for (int i = 0; i < 32; ++i) native.ucSenseBuf[i] = 0x99;
    ScsiPassThroughDirect back = record;
    EXPECT_EQ(pt::fromNativeDirect<Header>(native, E::kSenseAt + 8, back), 48u + 8u);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(back.ucSenseBuf[i], 0x99);
    for (int i = 8; i < 32; ++i) EXPECT_EQ(back.ucSenseBuf[i], 0x11);
}

}  // namespace
}  // namespace win32_test
