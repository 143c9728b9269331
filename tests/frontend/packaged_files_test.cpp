// Writing and removing the packaged files, and the firmware search, in a temporary tool folder.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "frontend/fwupg_dlg.h"
#include "frontend/packaged_file_names.h"
#include "tests/frontend/recording_backend.h"

namespace quib::frontend {
namespace {

const std::string kLibrary =
    "\x7F"
    "ELF library";
const std::string kImage(1000, '\xA5');
const std::string kSettings = "check_fw_version=1\r\n";
const std::string kList = "131112_91_00_00.bin\r\n";

std::span<const std::uint8_t> bytesOf(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

class PackagedFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        registerAll();
        dlg.pExchangeData = std::make_unique<ExchangeData>();
        dlg.m_szCurDir = folder.path().wstring();
    }
    void TearDown() override { platform::registerPackagedResources({}); }

    static void registerAll(int leaveOut = 0) {
        std::vector<platform::PackagedResource> resources;
        for (auto [id, text] :
             {std::pair{kResourceLibrary, &kLibrary}, std::pair{kResourceFirmwareImage, &kImage},
              std::pair{kResourceSettings, &kSettings}, std::pair{kResourceFirmwareList, &kList}})
            if (id != leaveOut) resources.push_back({"EXTFILES", id, bytesOf(*text)});
        platform::registerPackagedResources(std::move(resources));
    }
    std::string content(const std::string& name) const {
        std::ifstream in(folder.path() / name, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    testing::ScopedRecordingBackend backend;
    testing::TempFolder folder;
    CKRV610xFWUpgDlg dlg{L""};
};

// A Windows program finds these files among its own resources, which a test program lacks: the Windows
// checks run the built program for them.
#ifndef _WIN32
TEST_F(PackagedFiles, ExtractReplacesEarlierFilesByteForByteAndRemoveLeavesTheRest) {
    folder.write("fwupgrade.ini", "stale=1\r\n");
    folder.write("user.rom", "mine");
    ASSERT_TRUE(dlg.vExtractResourceFiles());
    EXPECT_EQ(dlg.m_strFWBinFile, L"131112_91_00_00.bin");
    EXPECT_EQ(content("libquibusb.so"), kLibrary);
    EXPECT_EQ(content("fwupgrade.ini"), kSettings);
    EXPECT_EQ(content("131112_91_00_00.bin"), kImage);

    ASSERT_TRUE(dlg.vRemoveExtractedFiles());
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"user.rom"});
}

TEST_F(PackagedFiles, MissingResourceStopsBeforeTheLaterFiles) {
    registerAll(kResourceSettings);
    EXPECT_FALSE(dlg.vExtractResourceFiles());
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"libquibusb.so"});
    EXPECT_TRUE(dlg.m_strFWBinFile.empty());

    // Without the firmware list the removal still deletes the library and the settings.
    registerAll();
    ASSERT_TRUE(dlg.vExtractResourceFiles());
    registerAll(kResourceFirmwareList);
    EXPECT_FALSE(dlg.vRemoveExtractedFiles());
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"131112_91_00_00.bin"});
}
#endif

TEST_F(PackagedFiles, SearchReturnsAMatchingBareNameOrNothing) {
    EXPECT_EQ(dlg.vSearchKRV610xFirmware(L"*.rom"), L"");
    folder.write("Config_fw.rom", "r");
    folder.write("notes.txt", "t");
    EXPECT_EQ(dlg.vSearchKRV610xFirmware(L"*.rom"), L"Config_fw.rom");
    EXPECT_EQ(dlg.vSearchKRV610xFirmware(L"*.bin"), L"");
}

}  // namespace
}  // namespace quib::frontend
