// The 0xEC tunnel byte for byte, and detection and version reading on every controller kind.
#include "devcore/transport/device_path.h"
#include "tests/pdupdate/pd_test_support.h"

namespace devcore_test {
namespace {

using quib::pdupdate::kMaxPdTransfer;

class PdTunnelTest : public PdTest {
  protected:
    // Sends one tunnel command on the bench bridge's disk and returns its trace record.
    int send(std::uint8_t* buf, std::uint8_t readWrite, std::uint8_t sub, std::uint16_t p1, std::uint16_t p2,
             std::uint32_t len) {
        quib::devcore::ScopedDevice disk(openDisk(entry(0).m_ucPhysicalAddress));
        return CPowerDelivery::SCSI7120_PDVendorCmd(buf, disk.get(), readWrite, sub, p1, p2, len);
    }
    bench::TraceRecord last() { return tunnel().back(); }
    static Bytes cdb(std::initializer_list<std::uint8_t> bytes) { return Bytes(bytes); }
};

TEST_F(PdTunnelTest, WritesCarryTheirFieldsAsTheControllerExpects) {
    scanPd({{"kind", 1}, {"version", "0100"}});
    std::uint8_t zeros[2] = {};
    ASSERT_EQ(send(zeros, 1, 0x04, 0, 0, 2), 0);
    ASSERT_EQ(send(zeros, 1, 0x00, 0, 0x3FFF, 2), 0);

    // A RichTek word travels in the CDB; nothing is transferred.
    std::uint8_t word[4] = {0x11, 0x22, 0x33, 0x44};
    ASSERT_EQ(send(word, 1, 0x01, 0x0ABC, 0x5555, 4), 0);
    auto r = last();
    EXPECT_EQ(r.cdb, cdb({0xEC, 0x01, 0x0A, 0xBC, 0x11, 0x22, 0x33, 0x44}));
    EXPECT_EQ(r.cdbLength, 8);
    EXPECT_EQ(r.dataIn, 0);
    EXPECT_EQ(r.transferLength, 0u);
    EXPECT_EQ(r.timeoutSeconds, 60u);
    EXPECT_EQ(r.inputSize, 80u);
    EXPECT_EQ(r.outputSize, 65616u);
    EXPECT_EQ(r.header.senseInfoLength, 24);
    EXPECT_EQ(r.header.senseInfoOffset, 48u);
    EXPECT_EQ(r.header.dataBufferOffset, 80u);
    EXPECT_EQ(pdFlash()[0xABC * 4 + 2], 0x33);
}

TEST_F(PdTunnelTest, McuChunkAndCcg3RowAddressing) {
    scanPd({{"kind", 4}, {"mcu", true}});
    std::uint8_t zeros[2] = {};
    ASSERT_EQ(send(zeros, 1, 0x04, 0, 0, 2), 0);
    ASSERT_EQ(send(zeros, 1, 0x32, 0, 0, 2), 0);
    ASSERT_EQ(send(zeros, 1, 0x33, 0, 0, 2), 0);
    std::uint8_t chunk[12];
    for (std::uint8_t i = 0; i < 12; ++i) chunk[i] = static_cast<std::uint8_t>(0xA0 + i);
    ASSERT_EQ(send(chunk, 1, 0x34, 0x0800, 0x0018, 12), 0);
    auto r = last();
    EXPECT_EQ(r.cdb, cdb({0xEC, 0x34, 0x08, 0x00, 0x00, 0x18, 0x0C, 0x00}));
    EXPECT_EQ(r.transferLength, 12u);
    EXPECT_EQ(r.inputSize, 92u);
    EXPECT_EQ(mcuFlash()[0x18 + 11], 0xAB);

    // Row 0x0123 of a CCG3: the caller swaps the bytes so that CDB 2..3 read 23 01.
    ASSERT_EQ(send(zeros, 1, 0x2D, 0, 0, 2), 0);
    Bytes row(128, 0x5C);
    ASSERT_EQ(send(row.data(), 1, 0x2B, 0x2301, 0, 128), 0);
    r = last();
    EXPECT_EQ(r.cdb, cdb({0xEC, 0x2B, 0x23, 0x01, 0, 0, 0, 0}));
    EXPECT_EQ(r.transferLength, 128u);
    EXPECT_EQ(pdRow(0x123), row);
}

TEST_F(PdTunnelTest, ReadsAndTheirSizes) {
    scanPd({{"kind", 1}, {"version", "1234"}});
    std::uint8_t zeros[2] = {};
    ASSERT_EQ(send(zeros, 1, 0x04, 0, 0, 2), 0);

    std::uint8_t chunk[32];
    ASSERT_EQ(send(chunk, 0, 0x06, 0x1000, 0x3FE0, 32), 0);
    auto r = last();
    EXPECT_EQ(r.cdb, cdb({0xEC, 0x06, 0x10, 0x00, 0x3F, 0xE0, 0x00, 0x20}));
    EXPECT_EQ(r.dataIn, 1);
    EXPECT_EQ(r.timeoutSeconds, 3u);
    EXPECT_EQ(r.inputSize, 65616u);
    EXPECT_EQ(r.outputSize, 112u);
    EXPECT_TRUE(std::equal(chunk, chunk + 32, pdFlash().begin() + 0x3FE0));

    // The version read moves 2 bytes whatever the buffer; the rest stays zero.
    std::uint8_t version[16];
    std::memset(version, 0xEE, sizeof version);
    ASSERT_EQ(send(version, 0, 0x03, 0, 0, 16), 0);
    EXPECT_EQ(last().transferLength, 2u);
    EXPECT_EQ(version[0], 0x34);
    EXPECT_EQ(version[1], 0x12);
    EXPECT_TRUE(std::all_of(version + 2, version + 16, [](std::uint8_t b) { return b == 0; }));
}

TEST_F(PdTunnelTest, BadArgumentsAndFailedReads) {
    scanPd({{"kind", 5}});
    const std::size_t before = tunnel().size();
    Bytes big(kMaxPdTransfer + 1, 0x77);
    EXPECT_EQ(send(big.data(), 1, 0x2B, 0, 0x100, kMaxPdTransfer + 1), -10);
    EXPECT_EQ(
        CPowerDelivery::SCSI7120_PDVendorCmd(big.data(), quib::platform::kInvalidHandle, 1, 0x04, 0, 0, 2),
        -10);
    EXPECT_EQ(tunnel().size(), before);
    EXPECT_TRUE(std::all_of(big.begin(), big.end(), [](std::uint8_t b) { return b == 0x77; }));

    // 256 bytes (a CCG4 row) is a legal length.
    std::uint8_t zeros[2] = {};
    ASSERT_EQ(send(zeros, 1, 0x04, 0, 0, 2), 0);
    ASSERT_EQ(send(zeros, 1, 0x2D, 0, 0, 2), 0);
    EXPECT_EQ(send(big.data(), 1, 0x2B, 0x0001, 0x100, kMaxPdTransfer), 0);
    EXPECT_EQ(last().transferLength, 256u);

    // A read the controller refuses (a CCG4 has no row read) leaves the buffer zeroed.
    Bytes buffer(128, 0x99);
    EXPECT_EQ(send(buffer.data(), 0, 0x2A, 0x0100, 0, 128), -1);
    EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](std::uint8_t b) { return b == 0; }));
    EXPECT_TRUE(logged("(status = Fail)"));
}

// ---- detection and versions ------------------------------------------------------------------------------

TEST_F(PdTunnelTest, ControlReplyGivesKindsAndTheDeviceModeQuery) {
    scanPd({{"kind", 4}, {"device_mode", 2}, {"mcu", true}, {"version", "A1B2C3D4E5F60718"}});
    auto e = pdExchange(writeText("fw.cyacd", bench::cyacdText({.pdKind = 4, .deviceMode = 2})));
    ASSERT_EQ(QuibUSBLib_Function_vShowPDVersion(0, e.get()), 0);
    CPowerDelivery* pd = quib::pdupdate::existingPowerDelivery();
    ASSERT_NE(pd, nullptr);
    EXPECT_EQ(pd->m_nPDChipVendor, 4);
    EXPECT_EQ(pd->m_nMCUChipVendor, 20);
    EXPECT_EQ(pd->ucCCGDeviceMode, 2);
    EXPECT_EQ(pd->ucPDImageKind, 2);
    const auto t = tunnel();
    ASSERT_EQ(t.size(), 4u);
    EXPECT_EQ(t[0].cdb[1], 0x04);
    EXPECT_EQ(t[1].cdb[1], 0x07);
    EXPECT_EQ(t[2].cdb[1], 0x29);
    EXPECT_EQ(t[3].cdb[1], 0x2C);  // device mode 2 reads the second image's version
    EXPECT_STREQ(e->cPDFwVersion, "A1B2C3D4E5F60718");
    EXPECT_EQ(pd->strPDFileVersion, "0102030405060708");
}

TEST_F(PdTunnelTest, VersionTextsByKind) {
    struct Case {
        json pd;
        bool withMcu;
        const char* expected;
    };
    const Case cases[] = {
        {{{"kind", 1}, {"version", "1234"}}, false, "1234"},
        {{{"kind", 1}, {"version", "1234"}, {"mcu", true}}, true, "1234/FFFF"},
        {{{"kind", 2}, {"version", "0011223344556677"}}, false, "0011223344556677"},
        {{{"kind", 5}, {"version", "8899AABBCCDDEEFF"}}, false, "8899AABBCCDDEEFF"},
        {{{"kind", 7}}, false, "NULL"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pd.dump());
        scanPd(c.pd);
        quib::pdupdate::closePowerDelivery();
        const std::string pdFile = writeText(c.pd["kind"] == 1 ? "p.bin" : "p.cyacd", "x");
        auto e = pdExchange(pdFile, c.withMcu ? writeText("m.hex", ":00000001FF\r\n") : "");
        EXPECT_EQ(QuibUSBLib_Function_vShowPDVersion(0, e.get()), 0);
        EXPECT_STREQ(e->cPDFwVersion, c.expected);
    }
}

TEST_F(PdTunnelTest, McuOnlyWithoutMicrocontrollerAndUnknownModeAndNoMarker) {
    scanPd({{"kind", 4}, {"device_mode", 1}});
    auto e = pdExchange("", writeText("m.hex", ":00000001FF\r\n"));
    ASSERT_EQ(QuibUSBLib_Function_vShowPDVersion(0, e.get()), 0);
    EXPECT_STREQ(e->cPDFwVersion, "NULL");

    // A mode the library does not know sends no version query and reads zeros.
    CPowerDelivery& pd = quib::pdupdate::powerDelivery();
    pd.ucCCGDeviceMode = 3;
    pd.bUpdateMCU = false;
    pd.bUpdatePD = true;
    const std::size_t before = tunnel().size();
    EXPECT_EQ(pd.nGetPDFWVersion(0), 0);
    EXPECT_EQ(pd.strPDDeviceVersion, "0000000000000000");
    EXPECT_EQ(tunnel().size(), before);

    scanPd({{"kind", 2}, {"marker", false}});
    e = pdExchange(writeText("p.cyacd", "x"));
    EXPECT_EQ(QuibUSBLib_Function_vShowPDVersion(0, e.get()), -3);
    EXPECT_EQ(quib::pdupdate::existingPowerDelivery()->m_nPDChipVendor, 2);  // stored all the same
    EXPECT_TRUE(logged("PD_GET_PD_CONTROL  , strPhysicalAddress:[\\\\.\\PhysicalDrive"));
}

TEST_F(PdTunnelTest, FileVersionsAndClassification) {
    scanPd({{"kind", 1}});
    CPowerDelivery& pd = quib::pdupdate::powerDelivery();
    pd.bUpdatePD = true;
    Bytes image = bench::richTekImage("0cab");
    EXPECT_EQ(pd.strGetPDFWVersionFromFile(writeFile("rt.bin", image)), "0cab");
    EXPECT_EQ(pd.ucPDImageKind, 1);

    // The size is judged first: a message and "NULL".
    image.pop_back();
    EXPECT_EQ(pd.strGetPDFWVersionFromFile(writeFile("short.bin", image)), "NULL");
    EXPECT_EQ(boxTexts().back(), "The PD FW file size is uncompatibie!!!");
    // The microcontroller's file, classified in the same call, is not a RichTek image to be judged by size.
    pd.bUpdateMCU = true;
    const std::size_t boxes = boxTexts().size();
    EXPECT_EQ(pd.strGetPDFWVersionFromFile(writeText("m.hex", ":00000001FF\r\n")), "\x14NULL");
    EXPECT_EQ(pd.ucMCUImageKind, 20);
    EXPECT_EQ(boxTexts().size(), boxes);

    // ".cyacd" is looked for before ".bin", and never at the very start.
    quib::pdupdate::closePowerDelivery();
    CPowerDelivery& fresh = quib::pdupdate::powerDelivery();
    fresh.bUpdatePD = true;
    const std::string text = bench::cyacdText({.pdKind = 5, .deviceMode = 1, .version = "0A0B0C0D0E0F1011"});
    EXPECT_EQ(fresh.strGetPDFWVersionFromFile(writeText("fw.cyacd.bin", text)), "0A0B0C0D0E0F1011");
    EXPECT_EQ(fresh.ucPDImageKind, 2);
    quib::pdupdate::closePowerDelivery();
    CPowerDelivery& none = quib::pdupdate::powerDelivery();
    none.bUpdatePD = true;
    EXPECT_EQ(none.strGetPDFWVersionFromFile(".bin"), "\x14NULL");
    EXPECT_EQ(none.ucPDImageKind, 0);
}

}  // namespace
}  // namespace devcore_test
