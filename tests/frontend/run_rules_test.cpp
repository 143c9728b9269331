#include "frontend/run_rules.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "frontend/fwupg_app.h"
#include "frontend/packaged_file_names.h"

namespace quib::frontend {
namespace {

TEST(VersionList, SplitTrimmedAndHeldToSixteenEntries) {
    auto entries = splitVersionList(L"12042391F000; 13111291B000 ;AB");
    EXPECT_EQ(entries[1], L"13111291B000");
    EXPECT_EQ(entries[2], L"AB");
    EXPECT_EQ(entries[3], L"");
    EXPECT_EQ(entries[15], L"");

    std::wstring list;
    for (int i = 0; i < 18; ++i) list += std::to_wstring(i) + L";";
    EXPECT_EQ(splitVersionList(list)[15], L"15");
}

TEST(DeviceCount, HeldWithinTheList) {
    auto list = std::make_unique<USBDevListExp>();
    list->nDevCount = -5;
    EXPECT_EQ(deviceCount(*list), 0);
    list->nDevCount = 1000;
    EXPECT_EQ(deviceCount(*list), 32);
}

TEST(PackagedImageName, UpToAndIncludingTheFirstBin) {
    EXPECT_EQ(packagedImageName("131112_91_00_00.bin\r\n"), L"131112_91_00_00.bin");
    EXPECT_EQ(packagedImageName("image.rom\r\n"), L"");
    EXPECT_EQ(packagedImageName("../outside.bin\r\n"), L"");
}

TEST(CommandLineCapture, ArgumentsJoinedBySpacesThenTabsAndLineFeedsDropped) {
    const char* argv[] = {"/opt/tool/KRV610xFWUpg", "/S", "/U:my\tfile.bin", "/N:12\n34"};
    const std::wstring raw = CKRV610xFWUpgApp::rawCommandLine(4, argv);
    EXPECT_EQ(raw, L"/S /U:my\tfile.bin /N:12\n34");
    EXPECT_EQ(CKRV610xFWUpgApp::captureCommandLine(raw), L"/S /U:myfile.bin /N:1234");
    EXPECT_EQ(CKRV610xFWUpgApp::captureCommandLine(L" a\r b "), L" a\r b ");
}

}  // namespace
}  // namespace quib::frontend
