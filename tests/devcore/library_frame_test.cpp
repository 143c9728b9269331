// The library frame: utility helpers, working folder and what unloading removes.

#include <filesystem>
#include <fstream>

#include "common/log/debug_log.h"
#include "devcore/frame/working_folder.h"
#include "include/quibusb.h"
#include "tests/common/folder_snapshot.h"
#include "tests/devcore/bench_fixture.h"

namespace devcore_test {
namespace {

namespace fs = std::filesystem;

class LibraryFrameTest : public BenchTest {
  protected:
    void SetUp() override {
        json description = benchOf(json::array({controller(json::array(
            {bridgePort(1, "b0", "SN-0", {{"volume_letter", "E"}}), bridgePort(2, "b1", "SN-1")}))}));
        description["message_box_answers"] = json::array({7});
        description["processor_architecture"] = 12;
        useBench(description);
        quib::log::setLevel(1);
    }
    CUSBUtility& utility() { return objects().pUtility; }
};

TEST(CharToHex, DigitsAndLettersLeftToRight) {
    EXPECT_EQ(CUSBUtility::vCharToHex("1a"), 0x1Au);
    EXPECT_EQ(CUSBUtility::vCharToHex("FF"), 0xFFu);
    EXPECT_EQ(CUSBUtility::vCharToHex("0C3f"), 0x0C3Fu);
    EXPECT_EQ(CUSBUtility::vCharToHex(""), 0u);
    // Other characters are not refused; they count as 0.
    EXPECT_EQ(CUSBUtility::vCharToHex("1G"), 0x10u);
}

TEST(WideText, ConvertsToTheNarrowCodePage) {
    EXPECT_EQ(CUSBUtility::WideStrToMultiStr(L"Gr\u00fc\u00dfe"),
              "Gr\xC3\xBC\xC3\x9F"
              "e");
}

TEST_F(LibraryFrameTest, MessageBoxKindsChooseTitleAndIcon) {
    EXPECT_EQ(utility().vMessageBox("first", quib::platform::kMbYesNo, CUSBUtility::kQuestion),
              quib::platform::kIdNo);
    utility().vMessageBox("second", 0, CUSBUtility::kError);
    utility().vMessageBox("third", 0, CUSBUtility::kTimeOut);
    utility().vMessageBox("fourth", 0, CUSBUtility::kWarning);
    utility().vMessageBox("fifth", 0, CUSBUtility::kInformation);
    utility().vMessageBox("sixth", 0, 9);
    const auto boxes = benchRef().messageBoxes();
    ASSERT_EQ(boxes.size(), 6u);
    EXPECT_EQ(boxes[0].caption, "Question");
    EXPECT_EQ(boxes[0].style, quib::platform::kMbIconQuestion | quib::platform::kMbYesNo);
    EXPECT_EQ(boxes[1].caption, "Error");
    EXPECT_EQ(boxes[1].style, quib::platform::kMbIconError);
    EXPECT_EQ(boxes[2].caption, "TimeOut");
    EXPECT_EQ(boxes[2].style, quib::platform::kMbIconError);
    EXPECT_EQ(boxes[3].caption, "Warning");
    EXPECT_EQ(boxes[3].style, quib::platform::kMbIconExclamation);
    EXPECT_EQ(boxes[4].caption, "Information");
    EXPECT_EQ(boxes[4].style, quib::platform::kMbIconInformation);
    EXPECT_EQ(boxes[5].caption, "");
    EXPECT_EQ(boxes[5].style, 0u);
}

TEST_F(LibraryFrameTest, NextFreeDriveLetterStartsAtE) {
    // C is the system volume and E lies on a bridge.
    EXPECT_EQ(utility().ucGetNextFreeDriveLetter(), 'F');
}

TEST_F(LibraryFrameTest, NoFreeDriveLetterGives127) {
    json description = benchOf(json::array());
    description["volumes"] = json::array();
    for (char c = 'E'; c <= 'Z'; ++c)
        description["volumes"].push_back(
            {{"letter", std::string(1, c)}, {"type", c % 2 ? "remote" : "ramdisk"}});
    useBench(description);
    EXPECT_EQ(utility().ucGetNextFreeDriveLetter(), 127);
}

TEST_F(LibraryFrameTest, DiskCountFromTheRegistry) {
    EXPECT_EQ(utility().GetDiskRegisterCount("System\\CurrentControlSet\\Services\\Disk\\Enum", "Count"), 3);
    EXPECT_EQ(utility().GetDiskRegisterCount("System\\CurrentControlSet\\Services\\Nothing", "Count"), 0);
    EXPECT_TRUE(debugContains(
        "RegOpenKeyEx RootKey Fail , strKeyPath[System\\CurrentControlSet\\Services\\Nothing]"));
    EXPECT_EQ(utility().GetDiskRegisterCount("System\\CurrentControlSet\\Services\\Disk\\Enum", "Missing"),
              0);
}

TEST_F(LibraryFrameTest, ProcessorTypeComesFromTheSystem) {
    EXPECT_EQ(utility().wGetProcessorType(), 12);
}

TEST_F(LibraryFrameTest, WorkingFolderIsTheProgramsFolder) {
    EXPECT_EQ(utility().m_strWorkingFolder, workFolder());
    EXPECT_GT(utility().m_llPerformanceFrequency, 0);
}

TEST_F(LibraryFrameTest, FileHelpers) {
    const std::string path = inWorkFolder("data.bin");
    const std::vector<std::uint8_t> bytes = {1, 2, 3, 250};
    EXPECT_FALSE(utility().vCheckFilePathExists(path));
    EXPECT_TRUE(debugContains("vCheckFilePathExists: Not Read/Write , strFilePath : " + path));
    ASSERT_TRUE(utility().vWriteFile(path, bytes));
    EXPECT_TRUE(utility().vCheckFilePathExists(path));
    std::vector<std::uint8_t> readBack;
    ASSERT_TRUE(utility().vReadFile(path, readBack));
    EXPECT_EQ(readBack, bytes);
    EXPECT_FALSE(utility().vReadFile(inWorkFolder("missing.bin"), readBack));
    EXPECT_EQ(readBack, bytes);
}

TEST_F(LibraryFrameTest, UnloadRemovesTheTemporaryFolderWithReadOnlyFilesAndSubFolders) {
    objects();  // loaded
    const fs::path temp = fs::path(workFolder()) / "KRVFW_Temp";
    fs::create_directories(temp / "nested" / "deeper");
    std::ofstream(temp / "TempBinData.bin") << "stream";
    std::ofstream(temp / "nested" / "Config_x.rom") << "rom";
    std::ofstream(temp / "nested" / "deeper" / "locked.bin") << "locked";
    fs::permissions(temp / "nested" / "deeper" / "locked.bin", fs::perms::owner_read,
                    fs::perm_options::replace);
    std::ofstream(fs::path(workFolder()) / "keep.txt") << "not ours";

    quib::devcore::testing::reset();
    EXPECT_FALSE(fs::exists(temp));
    EXPECT_TRUE(fs::exists(fs::path(workFolder()) / "keep.txt"));
}

// Links in place of the working folder, or inside it, are removed themselves: what they point to is not
// the library's and stays as it was, read-only attributes included.
TEST_F(LibraryFrameTest, UnloadNeverFollowsALink) {
    objects();
    const fs::path work(workFolder());
    const fs::path victim = work / "victim";
    fs::create_directories(victim / "sub");
    std::ofstream(victim / "data.bin") << "precious";
    std::ofstream(victim / "sub" / "locked.bin") << "locked";
    fs::permissions(victim / "sub" / "locked.bin", fs::perms::owner_read, fs::perm_options::replace);
    const auto before = quib::testing::folderSnapshot(victim);
    const fs::path temp = work / "KRVFW_Temp";

    std::error_code linkError;
    fs::create_directory_symlink(victim, temp, linkError);
    if (linkError) GTEST_SKIP() << "no links here: " << linkError.message();
    quib::devcore::testing::reset();
    EXPECT_FALSE(fs::exists(fs::symlink_status(temp)));
    EXPECT_EQ(quib::testing::folderSnapshot(victim), before);

    objects();
    fs::create_directory(temp);
    fs::create_directory_symlink(victim, temp / "nested");
    fs::create_symlink(victim / "sub" / "locked.bin", temp / "TempBinData.bin");
    quib::devcore::testing::reset();
    EXPECT_FALSE(fs::exists(fs::symlink_status(temp)));
    EXPECT_EQ(quib::testing::folderSnapshot(victim), before);
}

TEST_F(LibraryFrameTest, DeviceListExistsFromTheFirstScanToCloseDev) {
    EXPECT_EQ(objects().devList(), nullptr);
    USBDevListExp list;
    ASSERT_EQ(QuibUSBLib_Function_vScanUSBPort(&list, "0", 0), 0);
    ASSERT_NE(objects().devList(), nullptr);
    EXPECT_EQ(objects().m_KRV610xDev.pDevList(), objects().devList());
    EXPECT_EQ(dev().pDevList(), objects().devList());
    EXPECT_EQ(QuibUSBLib_CloseDev(), 0);
    EXPECT_EQ(objects().devList(), nullptr);
    EXPECT_EQ(dev().pDevList(), nullptr);
    EXPECT_EQ(QuibUSBLib_CloseDev(), 0);
}

}  // namespace
}  // namespace devcore_test
