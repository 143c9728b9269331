// Whole PD and MCU updates on each controller kind and device mode, judged by what the bench's flash holds
// and runs afterwards and by the commands it received.
#include "tests/pdupdate/pd_test_support.h"

namespace devcore_test {
namespace {

class PdUpdateTest : public PdTest {};

TEST_F(PdUpdateTest, RichTekWordsThenPowerCycleThenReadBack) {
    // The bridge returns from its power cycle under another disk number: it is found again.
    scanPd({{"kind", 1}, {"version", "0100"}}, {{"restart_number", "next"}});
    const int before = entry(0).m_ucPhysicalAddress;
    const Bytes image = bench::richTekImage("2a05");
    auto e = pdExchange(writeFile("rt.bin", image));
    ASSERT_EQ(showThenUpdate(*e), 0);

    EXPECT_EQ(pdFlash(), image);
    EXPECT_EQ(runningVersion(), "2A05");
    EXPECT_EQ(powerCycles(), 1u);
    const auto t = tunnel(m_afterShow);
    EXPECT_EQ(countOf(t, 0x00), 1u);
    EXPECT_EQ(countOf(t, 0x01), 4096u);
    EXPECT_EQ(countOf(t, 0x06), 512u);
    // Every word precedes the power cycle, every read follows it.
    const auto lastWrite = std::find_if(t.rbegin(), t.rend(), [](auto& r) { return r.cdb[1] == 0x01; });
    const auto firstRead = std::find_if(t.begin(), t.end(), [](auto& r) { return r.cdb[1] == 0x06; });
    EXPECT_LT(std::distance(t.begin(), lastWrite.base()), std::distance(t.begin(), firstRead) + 1);
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"Please power cycling Your [0 ]device!!!"});
    EXPECT_EQ(entry(0).nWorkingValue1, 1);
    EXPECT_TRUE(logged("FW Update[0] is PASS"));
    EXPECT_NE(entry(0).m_ucPhysicalAddress, before);
    EXPECT_EQ(entry(0).strSerialNumber, "SN-b0");
    EXPECT_EQ(benchRef().bridgeStatus("b0").diskNumber, entry(0).m_ucPhysicalAddress);
}

TEST_F(PdUpdateTest, EachCypressKindAndModeProgramsItsRows) {
    // Files with LF line ends carry their version in the same row and place as CRLF files.
    struct Case {
        int kind, mode;
        bool lf;
        std::size_t rowReads;
    };
    for (const Case c : {Case{2, 1, false, 4}, Case{2, 1, true, 4}, Case{4, 1, false, 4}, Case{4, 2, true, 4},
                         Case{5, 1, true, 0}, Case{5, 2, false, 0}}) {
        SCOPED_TRACE("kind " + std::to_string(c.kind) + " mode " + std::to_string(c.mode) +
                     (c.lf ? " LF" : ""));
        json pd = {{"kind", c.kind}};
        if (c.kind != 2) pd["device_mode"] = c.mode;
        scanPd(pd);
        quib::pdupdate::closePowerDelivery();
        const bench::CyacdSpec spec{
            .pdKind = c.kind, .deviceMode = c.mode, .rows = 4, .version = "1122334455667788"};
        const std::string text = bench::cyacdText(spec);
        auto e = pdExchange(writeText("fw.cyacd", c.lf ? withLfLineEnds(text) : text));
        ASSERT_EQ(showThenUpdate(*e), 0);

        const std::uint16_t first = bench::cypressFirstRow(c.kind, c.mode);
        for (std::size_t i = 0; i < spec.rows; ++i) EXPECT_EQ(pdRow(first + i), bench::cyacdRowData(spec, i));
        EXPECT_EQ(runningVersion(), "1122334455667788");
        const auto t = tunnel(m_afterShow);
        const std::uint8_t write = c.kind == 2 ? 0x23 : 0x2B;
        const std::uint8_t read = c.kind == 2 ? 0x24 : 0x2A;
        EXPECT_EQ(countOf(t, write), spec.rows);
        EXPECT_EQ(countOf(t, read), c.rowReads);
        EXPECT_EQ(countOf(t, c.kind == 2 ? 0x22 : 0x2D), 1u);
        // The first row's command names it as the kind's addressing says.
        const auto w = std::find_if(t.begin(), t.end(), [&](auto& r) { return r.cdb[1] == write; });
        ASSERT_NE(w, t.end());
        if (c.kind == 2) {
            EXPECT_EQ(w->cdb[2], first);
            EXPECT_EQ(w->cdb[3], 0);
        } else {
            EXPECT_EQ(w->cdb[2], first & 0xFF);
            EXPECT_EQ(w->cdb[3], first >> 8);
            EXPECT_EQ(w->cdb[4], c.kind == 5 ? 0x01 : 0x00);
            EXPECT_EQ(w->transferLength, c.kind == 5 ? 256u : 128u);
        }
    }
}

TEST_F(PdUpdateTest, Ccg3MetadataRowIsNotCompared) {
    // Mode 2 keeps its own data in row 0x3FE: an image that reaches it still verifies.
    scanPd({{"kind", 4}, {"device_mode", 2}});
    const bench::CyacdSpec spec{.pdKind = 4, .deviceMode = 2};
    // One more row, 0x3FE, after the image rows.
    const Bytes data(128, 0x42);
    auto e = pdExchange(
        writeText("fw.cyacd", bench::cyacdText(spec) + bench::cyacdRowLine(0, 0x3FE, data) + "\r\n"));
    ASSERT_EQ(showThenUpdate(*e), 0);
    EXPECT_NE(pdRow(0x3FE), data);  // the controller rewrote it
    EXPECT_EQ(countOf(tunnel(m_afterShow), 0x2A), 5u);
}

TEST_F(PdUpdateTest, McuAloneInTwelveByteChunksAtItsUpperAddress) {
    scanPd({{"kind", 1}, {"mcu", true}});
    const bench::McuHexSpec spec{.bytes = 30};
    auto e = pdExchange("", writeText("mcu.hex", bench::mcuHexText(spec)));
    ASSERT_EQ(showThenUpdate(*e), 0);

    const Bytes flash = mcuFlash();
    const Bytes expected = bench::mcuImageBytes(spec);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), flash.begin()));
    const auto t = tunnel(m_afterShow);
    std::vector<std::pair<unsigned, unsigned>> writes, reads;
    for (const auto& r : t) {
        const unsigned offset = static_cast<unsigned>(r.cdb[4] << 8 | r.cdb[5]);
        if (r.cdb[1] == 0x34 || r.cdb[1] == 0x35) {
            EXPECT_EQ(r.cdb[2], 0x08);
            EXPECT_EQ(r.cdb[3], 0x00);
            EXPECT_EQ(r.cdb[6], r.transferLength);
        }
        if (r.cdb[1] == 0x34) writes.emplace_back(offset, r.transferLength);
        if (r.cdb[1] == 0x35) reads.emplace_back(offset, r.transferLength);
    }
    using P = std::vector<std::pair<unsigned, unsigned>>;
    EXPECT_EQ(writes, (P{{0, 12}, {12, 12}, {24, 6}}));
    EXPECT_EQ(reads, (P{{0, 12}, {12, 12}, {24, 12}, {24, 6}}));
    EXPECT_EQ(countOf(t, 0x32), 1u);
    EXPECT_EQ(countOf(t, 0x01), 0u);  // the PD controller is left alone
    EXPECT_EQ(quib::pdupdate::existingPowerDelivery()->ucMCUResult[0], 1);
}

TEST_F(PdUpdateTest, PdAndMcuTogetherMcuFirstAndVersionsCompared) {
    scanPd({{"kind", 5}, {"device_mode", 1}, {"mcu", true}});
    const bench::CyacdSpec pdSpec{.pdKind = 5, .deviceMode = 1, .version = "0F1E2D3C4B5A6978"};
    const bench::McuHexSpec mcuSpec{.bytes = 100};
    auto e = pdExchange(writeText("fw.cyacd", bench::cyacdText(pdSpec)),
                        writeText("mcu.hex", bench::mcuHexText(mcuSpec)));
    ASSERT_EQ(showThenUpdate(*e), 0);
    EXPECT_STREQ(e->cPDFwVersion, "1100000000000001/FFFF");
    EXPECT_EQ(runningVersion(), "0F1E2D3C4B5A6978");
    const Bytes mcu = bench::mcuImageBytes(mcuSpec);
    EXPECT_TRUE(std::equal(mcu.begin(), mcu.end(), mcuFlash().begin()));

    const auto t = tunnel(m_afterShow);
    const auto lastMcu = std::find_if(t.rbegin(), t.rend(), [](auto& r) { return r.cdb[1] == 0x35; });
    const auto firstRow = std::find_if(t.begin(), t.end(), [](auto& r) { return r.cdb[1] == 0x2B; });
    ASSERT_NE(firstRow, t.end());
    EXPECT_LT(std::distance(t.begin(), lastMcu.base()) - 1, std::distance(t.begin(), firstRow));
    // The bootloader is entered once for the whole run.
    EXPECT_EQ(countOf(t, 0x32), 1u);
    CPowerDelivery* pd = quib::pdupdate::existingPowerDelivery();
    EXPECT_EQ(pd->ucPDResult[0], 1);
    EXPECT_EQ(pd->ucMCUResult[0], 1);
}

}  // namespace
}  // namespace devcore_test
