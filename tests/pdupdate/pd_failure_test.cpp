// Every way a PD/MCU update fails: its code from the update and from the entry point, its message, and
// what the controller holds afterwards (nothing at all when the image is refused).
#include "tests/pdupdate/pd_test_support.h"

namespace devcore_test {
namespace {

class PdFailureTest : public PdTest {
  protected:
    // Runs the update through the entry points; returns the export's code and keeps the member's.
    int run(json pd, const std::string& pdPath, const std::string& mcuPath = "", json faults = json::array(),
            json bridgeExtra = json::object()) {
        scanPd(std::move(pd), std::move(bridgeExtra), {{"faults", std::move(faults)}});
        auto e = pdExchange(pdPath.empty() ? "" : pathInWorkFolder(pdPath),
                            mcuPath.empty() ? "" : pathInWorkFolder(mcuPath));
        return showThenUpdate(*e);
    }
    void writeFiles() {
        writeText("c4.cyacd", bench::cyacdText({.pdKind = 4, .deviceMode = 1}));
        writeText("c2.cyacd", bench::cyacdText({.pdKind = 2}));
        writeFile("rt.bin", bench::richTekImage("abcd"));
        writeText("mcu.hex", bench::mcuHexText({.bytes = 50}));
    }
    std::string lastBox() {
        const auto boxes = boxTexts();
        return boxes.empty() ? std::string{} : boxes.back();
    }
    static json fault(int sub, int nth = 1, int times = 0, const char* kind = "command") {
        json f = {{"kind", kind}, {"subcommand", sub}, {"nth", nth}, {"times", times}};
        if (std::string(kind) == "command") f["opcode"] = 0xEC;
        if (std::string(kind) == "readback_corrupt") f.erase("times");
        return json::array({f});
    }
    int memberCode() {
        // The update member's code is in its final log line.
        for (const auto& line : debugLines()) {
            const auto at = line.find("is failed...code [");
            if (at != std::string::npos) return std::stoi(line.substr(at + 18));
        }
        return 0;
    }
};

TEST_F(PdFailureTest, TunnelFailuresDuringProgramming) {
    m_work = std::make_unique<TempFolder>();
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
    m_work = std::make_unique<TempFolder>();
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
    m_work = std::make_unique<TempFolder>();
    writeFiles();

    EXPECT_EQ(run({{"kind", 1}, {"user_power_cycles", false}}, "rt.bin"), -1);
    EXPECT_EQ(memberCode(), -9);
    EXPECT_EQ(lastBox(), "PO[0] Wait relink failed, Timeout");

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

    // A header whose version offset lands elsewhere: the file's version differs from what the chip runs.
    writeText("odd.cyacd", bench::cyacdText({.pdKind = 4, .deviceMode = 1, .header = "1F0111AF0000"}));
    EXPECT_EQ(run({{"kind", 4}}, "odd.cyacd"), -1);
    EXPECT_EQ(memberCode(), -2);
    EXPECT_NE(lastBox().find("PD[0] FW Version Compare Failed, File["), std::string::npos);
    EXPECT_EQ(entry(0).nWorkingValue1, 0);
}

TEST_F(PdFailureTest, RefusedImagesWriteNothing) {
    m_work = std::make_unique<TempFolder>();
    writeFiles();
    writeText("mode2.cyacd", bench::cyacdText({.pdKind = 4, .deviceMode = 2}));
    writeText("short.cyacd", "1D0311AD0000\r\n:000200008000\r\n");
    // A CCG2 header over rows 0xFE..0x101, laid out as for the larger flash of a CCG3.
    std::string highRow = bench::cyacdText(
        {.pdKind = 4, .deviceMode = 1, .firstRow = 0xFE, .rows = 4, .version = "", .header = "140411A40000"});
    writeText("high.cyacd", highRow);
    Bytes big = bench::richTekImage("abcd");
    big.push_back(0);
    writeFile("big.bin", big);
    writeText("nosilicon.cyacd", bench::cyacdText({.pdKind = 4, .deviceMode = 1, .header = "000000000000"}));
    writeText("noend.hex", ":0400000001020304F2\r\n");
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
    const Case cases[] = {
        {{{"kind", 4}, {"device_mode", 1}}, "mode2.cyacd", "", -3, "CCG Device Mode[1] ,ucRowNum[0x30]"},
        {{{"kind", 4}}, "rt.bin", "", -3, "PD File is not suitable PD Chip!!!"},
        {{{"kind", 4}}, "short.cyacd", "", -10, "short.cyacd: line 2: row line too short"},
        {{{"kind", 2}}, "high.cyacd", "", -10, "lies beyond the rows a CCG2 can address"},
        {{{"kind", 1}}, "big.bin", "", -10, "must hold 16384 bytes, this one holds 16385"},
        {{{"kind", 7}}, "c4.cyacd", "", -1, "m_nPDChipVendor is KNOWN[7]"},
        {{{"kind", 4}, {"marker", false}}, "c4.cyacd", "", -3, "PD_GET_PD_CONTROL  ,"},
        {{{"kind", 4}}, "nosilicon.cyacd", "", -1, "(m_CypressFWHeader.dwSliconID=0)"},
        {{{"kind", 4}}, "missing.cyacd", "", -5, "vCheck PD FW path failed"},
        {{{"kind", 4}}, "folder.cyacd", "", -5, "vCheck PD FW path failed"},
        {{{"kind", 4}, {"mcu", true}}, "", "noend.hex", -10, "noend.hex: line 1: no end-of-file record"},
        {{{"kind", 4}, {"mcu", true}}, "", "missing.hex", -10, "The PD FW file is not exist"},
        {{{"kind", 4}}, "huge.cyacd", "", -10, "is larger than any image"},
        {{{"kind", 4}, {"mcu", true}}, "", "empty.hex", -10, "empty.hex: line 0: no end-of-file record"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pdFile + c.mcuFile);
        const int code = run(c.pd, c.pdFile, c.mcuFile);
        EXPECT_EQ(code, c.code);
        EXPECT_TRUE(logged(c.log));
        EXPECT_EQ(programmingWrites(), 0u);
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
