// Every way a PD/MCU update fails: its code from the update and from the entry point, its message, and
// what the controller holds afterwards (nothing at all when the image is refused).
#include "tests/pdupdate/pd_test_support.h"

namespace devcore_test {
namespace {

class PdFailureTest : public PdTest {};

TEST_F(PdFailureTest, TunnelFailuresDuringProgramming) {
    writeFiles();

    EXPECT_EQ(run({{"kind", 1}}, "rt.bin", "", fault(0x00)), -1);
    EXPECT_EQ(memberCode(), -1);
    EXPECT_EQ(lastBox(), "Config PD[0] Flash Failed!!");
    EXPECT_EQ(programmingWrites(), 0u);
    EXPECT_EQ(countOf(tunnel(), 0x00), 3u);

    // A word that fails three times ends programming at that word.
    EXPECT_EQ(run({{"kind", 1}}, "rt.bin", "", fault(0x01, 6)), -1);
    EXPECT_EQ(countOf(tunnel(), 0x01), 5u + 3u);
    EXPECT_TRUE(logged("PD_WRITE_DATA Fail , strPhysicalAddress:[\\\\.\\PhysicalDrive"));
    EXPECT_EQ(powerCycles(), 0u);

    // One failure is retried and the update still succeeds.
    EXPECT_EQ(run({{"kind", 1}}, "rt.bin", "", fault(0x01, 100, 1)), 0);
    EXPECT_EQ(countOf(tunnel(), 0x01), 4097u);
    EXPECT_EQ(pdFlash(), bench::richTekImage("abcd"));

    EXPECT_EQ(run({{"kind", 4}, {"mcu", true}}, "", "mcu.hex", fault(0x32)), -1);
    EXPECT_EQ(lastBox(), "MCU[0] Enter Bootload mode Failed=[-1]!!");

    // Nothing asked for: refused before the user is asked to power-cycle anything.
    EXPECT_EQ(run({{"kind", 5}}, "", ""), -10);
    EXPECT_TRUE(boxTexts().empty());
}

TEST_F(PdFailureTest, ReadBackDifferencesEndWithMinusSix) {
    writeFiles();

    EXPECT_EQ(run({{"kind", 2}}, "c2.cyacd", "", fault(0x24, 2, 1, "readback_corrupt")), -1);
    EXPECT_EQ(memberCode(), -6);
    EXPECT_TRUE(logged("FW content compare Fail , LineCnt[2], RowCnt[ 25]"));
    EXPECT_EQ(powerCycles(), 0u);  // failed before the prompt

    EXPECT_EQ(run({{"kind", 1}}, "rt.bin", "", fault(0x06, 9, 1, "readback_corrupt")), -1);
    EXPECT_EQ(memberCode(), -6);
    EXPECT_TRUE(logged("FW content compare Fail , dwFlashFWLeng[ 16384]"));

    EXPECT_EQ(run({{"kind", 4}, {"mcu", true}}, "c4.cyacd", "mcu.hex", fault(0x35, 1, 1, "readback_corrupt")),
              -1);
    EXPECT_EQ(memberCode(), -6);
    EXPECT_TRUE(logged("MCU FW content compare Fail"));
    EXPECT_EQ(countOf(tunnel(), 0x2B), 0u);  // the PD controller is not touched after the MCU failed

    // The RichTek read-back itself failing is a version-stage failure.
    EXPECT_EQ(run({{"kind", 1}}, "rt.bin", "", fault(0x06)), -1);
    EXPECT_EQ(memberCode(), -2);
}

TEST_F(PdFailureTest, RelinkAndVersionFailures) {
    writeFiles();

    json never = json::array({{{"kind", "never_returns"}, {"bridge", "b0"}}});
    EXPECT_EQ(run({{"kind", 4}}, "c4.cyacd", "", never), -1);
    EXPECT_EQ(memberCode(), -9);

    EXPECT_EQ(run({{"kind", 4}}, "c4.cyacd", "", fault(0x21, 2)), -1);
    EXPECT_EQ(memberCode(), -1);
    EXPECT_EQ(lastBox(), "PD[0] Get FW Version Failed in compare loop, ");

    // A verified microcontroller does not make a relink that never happened a success.
    EXPECT_EQ(run({{"kind", 4}, {"mcu", true}, {"user_power_cycles", false}}, "", "mcu.hex"), -1);
    EXPECT_EQ(memberCode(), -9);
    EXPECT_EQ(quib::pdupdate::existingPowerDelivery()->ucMCUResult[0], 0);

    // The bridge is known again only where it was plugged in: a serial number elsewhere is another device.
    scanPd({{"kind", 1}});
    entry(0).iLocation += 1;
    auto moved = pdExchange(pathInWorkFolder("rt.bin"));
    EXPECT_EQ(showThenUpdate(*moved), -1);
    EXPECT_EQ(memberCode(), -9);
}

TEST_F(PdFailureTest, AVersionRowNotWrittenFailsTheCompareInEveryKindAndMode) {
    // The file's version row is no data row: it is skipped, the rows after it are still written (and read
    // back where the kind can), and after the power cycle the controller still runs its old version.
    struct Case {
        int kind, mode;
    };
    for (const Case c : {Case{2, 1}, Case{4, 1}, Case{4, 2}, Case{5, 1}, Case{5, 2}}) {
        SCOPED_TRACE("kind " + std::to_string(c.kind) + " mode " + std::to_string(c.mode));
        json pd = {{"kind", c.kind}};
        if (c.kind != 2) pd["device_mode"] = c.mode;
        scanPd(pd);
        quib::pdupdate::closePowerDelivery();
        const bench::CyacdSpec spec{.pdKind = c.kind, .deviceMode = c.mode, .version = "1122334455667788"};
        const std::uint16_t first = bench::cypressFirstRow(c.kind, c.mode);
        const std::uint16_t versionRow = bench::cypressVersionPlace(c.kind, c.mode).row;
        const std::size_t skipped = versionRow - first;
        const Bytes factory = pdRow(versionRow);
        auto e = pdExchange(writeText("fw.cyacd", withArrayId(bench::cyacdText(spec), skipped, "01")));
        EXPECT_EQ(showThenUpdate(*e), -1);
        EXPECT_EQ(memberCode(), -2);
        EXPECT_EQ(powerCycles(), 1u);
        EXPECT_EQ(runningVersion(), "1100000000000001");
        EXPECT_EQ(pdRow(versionRow), factory);
        EXPECT_EQ(pdRow(first + 3), bench::cyacdRowData(spec, 3));
        const auto t = tunnel(m_afterShow);
        EXPECT_EQ(countOf(t, c.kind == 2 ? 0x23 : 0x2B), 3u);
        EXPECT_EQ(countOf(t, c.kind == 2 ? 0x24 : 0x2A), c.kind == 5 ? 0u : 3u);
        EXPECT_TRUE(
            logged("m_CypressFWBuf[" + std::to_string(skipped + 1) + "].ucArrayID is not data, ucArrayID=1"));
        EXPECT_EQ(lastBox(), "PD[0] FW Version Compare Failed, File[1122334455667788], PD[1100000000000001]");
        EXPECT_EQ(entry(0).nWorkingValue1, 0);
    }
}

TEST_F(PdFailureTest, RefusedImagesSendNothingButQueries) {
    writeFiles();
    writeText("mode2.cyacd", bench::cyacdText({.pdKind = 4, .deviceMode = 2}));
    writeText("short.cyacd", "1D0311AD0000\r\n:000200008000\r\n");
    // A CCG2 header over rows 0xFE..0x101, laid out as for the larger flash of a CCG3.
    writeText("high.cyacd", bench::cyacdText({.pdKind = 4,
                                              .deviceMode = 1,
                                              .firstRow = 0xFE,
                                              .rows = 4,
                                              .version = "",
                                              .header = "140411A40000"}));
    // Row 0x400 after images a CCG3 and a CCG4 would otherwise take.
    writeText("high3.cyacd", bench::cyacdText({.pdKind = 4, .deviceMode = 1}) +
                                 bench::cyacdRowLine(0, 0x400, Bytes(128, 0x42)) + "\r\n");
    writeText("high4.cyacd", bench::cyacdText({.pdKind = 5, .deviceMode = 2}) +
                                 bench::cyacdRowLine(0, 0x400, Bytes(256, 0x42)) + "\r\n");
    writeText("nodata.cyacd", bench::cyacdText({.pdKind = 2, .arrayId = 0x01}));
    // A CCG4 header on 128-byte rows: its version place lies beyond the first row's line.
    writeText("odd.cyacd", bench::cyacdText({.pdKind = 4, .deviceMode = 1, .header = "1F0111AF0000"}));
    Bytes big = bench::richTekImage("abcd");
    big.push_back(0);
    writeFile("big.bin", big);
    writeText("nosilicon.cyacd", bench::cyacdText({.pdKind = 4, .deviceMode = 1, .header = "000000000000"}));
    writeText("noend.hex", ":020000040800F2\r\n:0400000001020304F2\r\n");
    writeText("nolinear.hex", ":0400000001020304F2\r\n:00000001FF\r\n");
    writeText("overlap.hex",
              ":020000040800F2\r\n:0400000001020304F2\r\n:0400020001020304F0\r\n:00000001FF\r\n");
    std::filesystem::create_directory(pathInWorkFolder("folder.cyacd"));
    writeText("huge.cyacd", "1D0311AD0000\r\n");
    std::filesystem::resize_file(pathInWorkFolder("huge.cyacd"), 65ull << 20);  // sparse: no real disk use
    writeText("empty.hex", "");

    struct Case {
        json pd;
        std::string pdFile, mcuFile;
        int code;
        const char* log;
    };
    const json mcu = {{"kind", 4}, {"mcu", true}};
    const json ccg4 = {{"kind", 5}, {"device_mode", 2}};
    const Case cases[] = {
        {{{"kind", 4}, {"device_mode", 1}}, "mode2.cyacd", "", -3, "CCG Device Mode[1] ,ucRowNum[0x30]"},
        {{{"kind", 4}}, "rt.bin", "", -3, "PD File is not suitable PD Chip!!!"},
        {{{"kind", 0}}, "c4.cyacd", "", -3, "The PD device is Unknow or Failed detection"},
        {{{"kind", 4}}, "short.cyacd", "", -10, "short.cyacd: line 2: row line too short"},
        {{{"kind", 2}}, "high.cyacd", "", -10, "row [0x100] lies beyond the last row a CCG2 takes (0xff)"},
        {{{"kind", 4}}, "high3.cyacd", "", -10, "row [0x400] lies beyond the last row a CCG3 takes (0x3ff)"},
        {ccg4, "high4.cyacd", "", -10, "row [0x400] lies beyond the last row a CCG4 takes (0x3ff)"},
        {{{"kind", 2}}, "nodata.cyacd", "", -10, "nodata.cyacd: no data row (array id 0x00 or 0x40)"},
        {{{"kind", 4}}, "odd.cyacd", "", -10, "odd.cyacd: the file carries no version the controller"},
        {{{"kind", 4}}, "nosilicon.cyacd", "", -10, "nosilicon.cyacd: the file carries no version"},
        {{{"kind", 1}}, "big.bin", "", -10, "must hold 16384 bytes, this one holds 16385"},
        {{{"kind", 7}}, "c4.cyacd", "", -1, "m_nPDChipVendor is KNOWN[7]"},
        {{{"kind", 4}, {"marker", false}}, "c4.cyacd", "", -3, "PD_GET_PD_CONTROL  ,"},
        {{{"kind", 4}}, "missing.cyacd", "", -5, "vCheck PD FW path failed"},
        {{{"kind", 4}}, "folder.cyacd", "", -5, "vCheck PD FW path failed"},
        {mcu, "", "noend.hex", -10, "noend.hex: line 2: no end-of-file record"},
        {mcu, "", "nolinear.hex", -10, "line 1: the first record is not an extended linear address"},
        {mcu, "", "overlap.hex", -10, "line 3: data at 0x8000002 overlaps an earlier record's"},
        {mcu, "", "missing.hex", -10, "The PD FW file is not exist"},
        {{{"kind", 4}}, "huge.cyacd", "", -10, "is larger than any image"},
        {mcu, "", "empty.hex", -10, "empty.hex: line 0: no end-of-file record"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pdFile + c.mcuFile);
        EXPECT_EQ(run(c.pd, c.pdFile, c.mcuFile), c.code);
        EXPECT_TRUE(logged(c.log));
        EXPECT_TRUE(onlyQueriesSent());
        EXPECT_EQ(powerCycles(), 0u);
    }
}

TEST_F(PdFailureTest, UnknownDeviceModeSuitsNoImage) {
    scanPd({{"kind", 5}, {"device_mode", 2}});
    auto e = pdExchange(writeText("c5.cyacd", bench::cyacdText({.pdKind = 5, .deviceMode = 2})));
    ASSERT_EQ(QuibUSBLib_Function_vInitialPD(QUIB_LIBRARY_PD), 0);
    ASSERT_EQ(QuibUSBLib_Function_vShowPDVersion(0, e.get()), 0);
    quib::pdupdate::existingPowerDelivery()->ucCCGDeviceMode = 3;  // as a controller in another mode reports
    EXPECT_EQ(QuibUSBLib_Function_vUpdatePDFirmware(0, e.get()), -3);
    EXPECT_TRUE(logged("CCG Device Mode[3] ,ucRowNum[0x14]"));
    EXPECT_EQ(programmingWrites(), 0u);
}

TEST_F(PdFailureTest, DeviceIndexBeyondTheResultsIsRefused) {
    scanPd({{"kind", 1}});
    auto e = pdExchange(writeFile("rt.bin", bench::richTekImage("abcd")));
    EXPECT_EQ(QuibUSBLib_Function_vShowPDVersion(4, e.get()), -10);
    EXPECT_EQ(QuibUSBLib_Function_vUpdatePDFirmware(4, e.get()), -10);
    EXPECT_TRUE(tunnel().empty());
    // An index inside 0..3 with no device behind it cannot open a drive.
    EXPECT_EQ(QuibUSBLib_Function_vShowPDVersion(1, e.get()), -1);
    EXPECT_TRUE(logged("CreateFile Fail , strPhysicalAddress:[]"));
}

}  // namespace
}  // namespace devcore_test
