#include "frontend/command_switches.h"

#include <gtest/gtest.h>

namespace quib::frontend {
namespace {

using Error = RunSwitches::Error;

struct Taken {
    RunSwitches sw;
    std::wstring leftOver;
};

Taken take(std::wstring line) {
    RunSwitches sw = takeRunSwitches(line);
    return {sw, line};
}

TEST(SwitchRecognition, CaseSensitiveAnywhereAndEveryOccurrenceRemoved) {
    std::wstring line = L"/s /S x/Sy";
    EXPECT_TRUE(takeSwitch(line, L"/S"));
    EXPECT_EQ(line, L"/s  xy");
    EXPECT_FALSE(takeSwitch(line, L"/S"));
    EXPECT_TRUE(take(L"/O x /O").sw.outputVersion);
    EXPECT_EQ(take(L"/O x /O").leftOver, L" x ");
}

TEST(DebugSwitch, OneCharacterTakenBeforeStatusSwitchIsLookedFor) {
    auto t = take(L"/DBG:3 /D");
    EXPECT_EQ(t.sw.debugLevel, 3);
    EXPECT_TRUE(t.sw.showUsbStatus);

    t = take(L"/DBG:12");
    EXPECT_EQ(t.sw.debugLevel, 1);
    EXPECT_EQ(t.leftOver, L"2");
    EXPECT_FALSE(t.sw.showUsbStatus);

    EXPECT_FALSE(take(L"/DBG:x").sw.debugLevel.has_value());
    EXPECT_FALSE(take(L"/DBG:").sw.debugLevel.has_value());
}

TEST(VersionCheck, FifteenCharacterSpanSwallowsFollowingText) {
    auto t = take(L"/C:1204 /U:fw.bin");
    EXPECT_EQ(t.sw.checkVersion, L"1204 /U:fw.b");
    EXPECT_FALSE(t.sw.firmwareFileGiven);
    EXPECT_EQ(t.leftOver, L"in");
    EXPECT_EQ(take(L"x /C:12").sw.checkVersion, L"12");  // cut at the end of the line
}

TEST(VersionCheck, SkipsStatusAndDriveSwitchesAndCheckWinsOverEnable) {
    auto t = take(L"/E:131112910000 /C:12042391F000 /P:3 /D");
    EXPECT_EQ(t.sw.checkVersion, L"12042391F000");
    EXPECT_FALSE(t.sw.checkEnablesHub);
    EXPECT_FALSE(t.sw.physicalDrive.has_value());
    EXPECT_FALSE(t.sw.showUsbStatus);
    EXPECT_TRUE(take(L"/E:131112910000").sw.checkEnablesHub);
}

TEST(VersionCheck, EmptyVersionStopsTheReading) {
    auto t = take(L"/PD:x.cyacd /E:");
    EXPECT_EQ(t.sw.error, Error::MissingVersion);
    EXPECT_FALSE(t.sw.updatePD);
}

TEST(PhysicalDrive, UnsignedNumberOfTwoCharacters) {
    EXPECT_EQ(take(L"/P:7").sw.physicalDrive, 7UL);
    EXPECT_EQ(take(L"/P:a").sw.physicalDrive, 0UL);
    auto t = take(L"/P:300");
    EXPECT_EQ(t.sw.physicalDrive, 30UL);
    EXPECT_EQ(t.leftOver, L"0");

    t = take(L"/P:-1 /PD:a.cyacd");  // wraps far above 255
    EXPECT_EQ(t.sw.error, Error::InvalidDrive);
    EXPECT_FALSE(t.sw.updatePD);

    EXPECT_FALSE(take(L"/D /P:3").sw.physicalDrive.has_value());
    EXPECT_FALSE(take(L"/PD:pd.cyacd").sw.physicalDrive.has_value());
}

TEST(ImageSwitches, SpansEndAtTheirExtension) {
    auto t = take(L"/PD:CCG4 v2.cyacd /MCU:mcu.hex /N:AB12 /U:fw.bin");
    EXPECT_EQ(t.sw.pdFile, L"CCG4 v2.cyacd");
    EXPECT_EQ(t.sw.mcuFile, L"mcu.hex");
    EXPECT_EQ(t.sw.serialNumber, L"AB12");
    EXPECT_EQ(t.sw.firmwareFile, L"fw.bin");
    EXPECT_EQ(t.sw.error, Error::None);
}

TEST(ImageSwitches, MissingExtensionOrNameIsRefused) {
    // "/PD:" at the very start: a length computed from a missing ".cyacd" would be positive.
    // A RichTek image ends in ".bin" when no ".cyacd" is given; the span stops before another switch.
    auto rt = take(L"/PD:rt 1715.bin /U:fw.bin");
    EXPECT_EQ(rt.sw.pdFile, L"rt 1715.bin");
    EXPECT_EQ(rt.sw.error, Error::None);
    EXPECT_EQ(take(L"/PD:abc /U:fw.bin").sw.error, Error::MissingPDFile);
    EXPECT_EQ(take(L"/PD:x.cyacd /U:fw.bin").sw.pdFile, L"x.cyacd");
    EXPECT_EQ(take(L"/PD:abc").sw.error, Error::MissingPDFile);
    EXPECT_EQ(take(L"a.cyacd /PD:abc").sw.error, Error::MissingPDFile);
    EXPECT_EQ(take(L"/MCU: mcu").sw.error, Error::MissingMCUFile);
    EXPECT_EQ(take(L"/N: AB12").sw.error, Error::MissingSerialNumber);
}

TEST(FirmwareFile, EndsAtBinThenRomThenLineEnd) {
    auto t = take(L"/U:Config_fw.rom /O");
    EXPECT_EQ(t.sw.firmwareFile, L"Config_fw.rom");
    EXPECT_TRUE(t.sw.outputVersion);
    EXPECT_EQ(take(L"/U:a.rom b.bin").sw.firmwareFile, L"a.rom b.bin");
    EXPECT_EQ(take(L"/U:  plain name ").sw.firmwareFile, L"plain name");
    EXPECT_FALSE(take(L"/u:x.bin").sw.firmwareFileGiven);
}

}  // namespace
}  // namespace quib::frontend
