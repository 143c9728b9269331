// The pass-through request converted to SG_IO and back, with a recording stub in place of the one ioctl.
#include "platform/linux/linux_sg_io.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

namespace {

using namespace quib;
using namespace quib::platform;

// What the stub saw, and what it answers.
struct Stub {
    sg_io_hdr_t seen{};
    std::vector<std::uint8_t> cdb, dataOut;
    int calls = 0;
    // The answer.
    int result = 0, error = 0;
    std::uint8_t status = 0;
    std::vector<std::uint8_t> dataIn, sense;
    int resid = 0;
    std::uint16_t host = 0, driver = 0;
};
Stub* g_stub = nullptr;

int recordingSgIo(int, sg_io_hdr_t& h) {
    Stub& s = *g_stub;
    ++s.calls;
    s.seen = h;
    s.cdb.assign(h.cmdp, h.cmdp + h.cmd_len);
    if (h.dxfer_direction == SG_DXFER_TO_DEV)
        s.dataOut.assign(static_cast<std::uint8_t*>(h.dxferp),
                         static_cast<std::uint8_t*>(h.dxferp) + h.dxfer_len);
    if (s.result != 0) {
        errno = s.error;
        return -1;
    }
    if (h.dxfer_direction == SG_DXFER_FROM_DEV && !s.dataIn.empty())
        std::memcpy(h.dxferp, s.dataIn.data(), std::min<std::size_t>(s.dataIn.size(), h.dxfer_len));
    h.status = s.status;
    h.resid = s.resid;
    h.host_status = s.host;
    h.driver_status = s.driver;
    const std::size_t senseLength = std::min<std::size_t>(s.sense.size(), h.mx_sb_len);
    if (senseLength) std::memcpy(h.sbp, s.sense.data(), senseLength);
    h.sb_len_wr = static_cast<unsigned char>(senseLength);
    return 0;
}

class SgIoTest : public ::testing::Test {
  protected:
    void SetUp() override {
        g_stub = &stub;
        previous = sgio::setSgIoCall(&recordingSgIo);
    }
    void TearDown() override {
        sgio::setSgIoCall(previous);
        g_stub = nullptr;
    }
    // A buffered request as the library builds one.
    std::unique_ptr<records::ScsiPassThroughWithBuffers> request(std::initializer_list<std::uint8_t> cdb,
                                                                 std::uint8_t dataIn, std::uint32_t length,
                                                                 std::uint32_t timeOut = 3) {
        auto r = std::make_unique<records::ScsiPassThroughWithBuffers>();
        std::memset(r.get(), 0, sizeof *r);
        r->spt.Length = 44;
        r->spt.CdbLength = static_cast<std::uint8_t>(cdb.size());
        std::copy(cdb.begin(), cdb.end(), r->spt.Cdb);
        r->spt.SenseInfoLength = 24;
        r->spt.SenseInfoOffset = 48;
        r->spt.DataBufferOffset = 80;
        r->spt.DataIn = dataIn;
        r->spt.DataTransferLength = length;
        r->spt.TimeOutValue = timeOut;
        return r;
    }

    Stub stub;
    sgio::SgIoCall previous = nullptr;
};

TEST_F(SgIoTest, ReadConvertsEveryFieldBothWays) {
    auto r = request({0xE4, 0x07, 0, 0x07, 0xF0, 0}, 1, 7);
    std::memset(r->ucDataBuf, 0xEE, 16);
    stub.dataIn = {1, 2, 3, 4, 5, 6, 7};
    stub.resid = 2;
    const ScsiResult result = sgio::passThrough(3, *r, 65616, 87);
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(stub.seen.interface_id, 'S');
    EXPECT_EQ(stub.seen.dxfer_direction, SG_DXFER_FROM_DEV);
    EXPECT_EQ(stub.cdb, (std::vector<std::uint8_t>{0xE4, 0x07, 0, 0x07, 0xF0, 0}));
    EXPECT_EQ(stub.seen.dxfer_len, 7u);
    EXPECT_EQ(stub.seen.timeout, 3000u);
    EXPECT_EQ(stub.seen.mx_sb_len, 24);
    EXPECT_EQ(r->spt.ScsiStatus, 0);
    EXPECT_EQ(r->spt.DataTransferLength, 5u);  // resid subtracted
    EXPECT_EQ(r->spt.SenseInfoLength, 0);      // no sense after a good status
    EXPECT_EQ(r->ucDataBuf[0], 1);
    EXPECT_EQ(r->ucDataBuf[4], 5);
    EXPECT_EQ(r->ucDataBuf[5], 0xEE);      // beyond what moved: the caller's byte stays
    EXPECT_EQ(result.bytesReturned, 85u);  // data offset plus what moved
    EXPECT_EQ(lastError(), kErrorSuccess);
}

TEST_F(SgIoTest, WriteSendsItsDataAndOnlyTheOutputSizeComesBack) {
    auto r = request({0xEC, 0x23, 0x24, 0, 0, 0, 0, 0}, 0, 128, 60);
    for (int i = 0; i < 128; ++i) r->ucDataBuf[i] = static_cast<std::uint8_t>(i);
    stub.status = 2;  // CHECK CONDITION with sense
    stub.sense = std::vector<std::uint8_t>(18, 0);
    stub.sense[0] = 0x70;
    stub.sense[2] = 0x05;
    stub.sense[12] = 0x24;
    const ScsiResult result = sgio::passThrough(3, *r, 208, 65616);
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(stub.seen.dxfer_direction, SG_DXFER_TO_DEV);
    EXPECT_EQ(stub.seen.timeout, 60000u);
    ASSERT_EQ(stub.dataOut.size(), 128u);
    EXPECT_EQ(stub.dataOut[127], 127);
    EXPECT_EQ(r->spt.ScsiStatus, 2);
    EXPECT_EQ(r->spt.SenseInfoLength, 18);
    EXPECT_EQ(r->ucSenseBuf[12], 0x24);
    EXPECT_EQ(result.bytesReturned, 80u);

    // No data: no direction, no buffer.
    auto none = request({0xE8, 0, 0, 0, 0, 0}, 0, 0, 60);
    ASSERT_TRUE(sgio::passThrough(3, *none, 80, 65616).ok);
    EXPECT_EQ(stub.seen.dxfer_direction, SG_DXFER_NONE);
    EXPECT_EQ(stub.seen.dxferp, nullptr);
}

TEST_F(SgIoTest, RequestsTheSystemRefusesNeverReachTheKernel) {
    auto zeroTimeOut = request({0x12, 0, 0, 0, 38, 0}, 1, 38, 0);
    auto senseBeyondOutput = request({0x12, 0, 0, 0, 38, 0}, 1, 38);
    auto shortOutput = request({0x12, 0, 0, 0, 38, 0}, 1, 38);
    auto badDirection = request({0x12, 0, 0, 0, 38, 0}, 3, 38);
    EXPECT_FALSE(sgio::passThrough(3, *zeroTimeOut, 65616, 118).ok);
    EXPECT_FALSE(sgio::passThrough(3, *senseBeyondOutput, 65616, 60).ok);
    EXPECT_FALSE(sgio::passThrough(3, *shortOutput, 65616, 100).ok);
    EXPECT_FALSE(sgio::passThrough(3, *badDirection, 65616, 118).ok);
    EXPECT_EQ(lastError(), kErrorInvalidParameter);
    EXPECT_EQ(stub.calls, 0);
}

TEST_F(SgIoTest, KernelAndTransportFailuresInTheSystemsNumbering) {
    auto r = request({0x12, 0, 0, 0, 38, 0}, 1, 38);
    stub.result = -1;
    stub.error = ENODEV;
    EXPECT_FALSE(sgio::passThrough(3, *r, 65616, 118).ok);
    EXPECT_EQ(lastError(), kErrorDeviceNotConnected);
    stub.error = EACCES;
    EXPECT_FALSE(sgio::passThrough(3, *r, 65616, 118).ok);
    EXPECT_EQ(lastError(), kErrorAccessDenied);

    stub.result = 0;
    stub.host = 0x01;  // the device vanished during the command
    EXPECT_FALSE(sgio::passThrough(3, *r, 65616, 118).ok);
    EXPECT_EQ(lastError(), kErrorDeviceNotConnected);
    stub.host = 0x07;  // another host error
    EXPECT_FALSE(sgio::passThrough(3, *r, 65616, 118).ok);
    EXPECT_EQ(lastError(), kErrorIoDevice);
    stub.host = 0;
    stub.driver = 0x08;  // sense data valid: the device's status is the answer
    stub.status = 2;
    EXPECT_TRUE(sgio::passThrough(3, *r, 65616, 118).ok);
    EXPECT_EQ(r->spt.ScsiStatus, 2);

    EXPECT_EQ(sgio::systemErrorOf(ENOENT), kErrorFileNotFound);
    EXPECT_EQ(sgio::systemErrorOf(EIO), kErrorIoDevice);
    EXPECT_EQ(sgio::systemErrorOf(EINVAL), kErrorInvalidParameter);
}

TEST_F(SgIoTest, DirectFormUsesTheCallersBuffer) {
    records::ScsiPassThroughDirect r{};
    r.spt.Length = 44;
    r.spt.CdbLength = 10;
    r.spt.Cdb[0] = 0xE3;
    r.spt.DataIn = 0;
    r.spt.DataTransferLength = 4096;
    r.spt.TimeOutValue = 60;
    r.spt.SenseInfoLength = 24;
    r.spt.SenseInfoOffset = 48;
    std::vector<std::uint8_t> data(4096, 0x5A);
    const ScsiResult result = sgio::passThroughDirect(3, r, data);
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(stub.seen.dxferp, data.data());
    EXPECT_EQ(stub.dataOut.size(), 4096u);
    EXPECT_EQ(result.bytesReturned, 80u);
    // A transfer longer than the buffer is refused.
    r.spt.DataTransferLength = 4097;
    EXPECT_FALSE(sgio::passThroughDirect(3, r, data).ok);
    EXPECT_EQ(stub.calls, 1);
}

}  // namespace
