#include "platform/linux/linux_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "temp_folder.h"

namespace {

using quib::platform::lastError;
using quib::platform::LinuxFileSystem;

std::vector<std::uint8_t> bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

TEST(LinuxFilesTest, WriteReadAppendDelete) {
    TempFolder dir;
    LinuxFileSystem fs;
    const std::string file = dir / "a.bin";
    ASSERT_TRUE(fs.writeFile(file, bytes("first")));
    ASSERT_TRUE(fs.writeFile(file, bytes("ab")));  // truncates
    ASSERT_TRUE(fs.appendFile(file, bytes("cd")));
    EXPECT_EQ(fs.readFile(file), bytes("abcd"));
    EXPECT_TRUE(fs.exists(file));
    EXPECT_TRUE(fs.deleteFile(file));
    EXPECT_FALSE(fs.exists(file));
    EXPECT_FALSE(fs.readFile(file).has_value());
    EXPECT_EQ(lastError(), quib::platform::kErrorFileNotFound);
    EXPECT_FALSE(fs.deleteFile(file));
}

TEST(LinuxFilesTest, FindFilesMatchesPatternInSortedOrderAndSkipsFolders) {
    TempFolder dir;
    LinuxFileSystem fs;
    for (const char* name : {"b.bin", "a.bin", "c.rom", "Config_a.rom"}) fs.writeFile(dir / name, bytes("x"));
    fs.createDirectory(dir / "d.bin");
    EXPECT_EQ(fs.findFiles(dir.path(), "*.bin"), (std::vector<std::string>{"a.bin", "b.bin"}));
    EXPECT_EQ(fs.findFiles(dir.path(), "*.rom"), (std::vector<std::string>{"Config_a.rom", "c.rom"}));
    EXPECT_EQ(fs.findFiles(dir.path(), "a.bin"), (std::vector<std::string>{"a.bin"}));
    EXPECT_TRUE(fs.findFiles(dir.path(), "*.hex").empty());
    EXPECT_EQ(fs.findFolders(dir.path()), (std::vector<std::string>{"d.bin"}));
}

TEST(LinuxFilesTest, CopyRespectsReplaceFlag) {
    TempFolder dir;
    LinuxFileSystem fs;
    fs.writeFile(dir / "src", bytes("new"));
    fs.writeFile(dir / "dst", bytes("old"));
    EXPECT_FALSE(fs.copyFile(dir / "src", dir / "dst", false));
    EXPECT_EQ(lastError(), quib::platform::kErrorFileExists);
    EXPECT_EQ(fs.readFile(dir / "dst"), bytes("old"));
    EXPECT_TRUE(fs.copyFile(dir / "src", dir / "dst", true));
    EXPECT_EQ(fs.readFile(dir / "dst"), bytes("new"));
}

TEST(LinuxFilesTest, FoldersAndAttributes) {
    TempFolder dir;
    LinuxFileSystem fs;
    const std::string sub = dir / "KRVFW_Temp";
    EXPECT_TRUE(fs.createDirectory(sub));
    EXPECT_TRUE(fs.createDirectory(sub));  // existing folder is fine
    EXPECT_TRUE(fs.isDirectory(sub));
    fs.writeFile(sub + "/f", bytes("x"));
    EXPECT_FALSE(fs.removeDirectory(sub));  // not empty
    ::chmod((sub + "/f").c_str(), 0444);
    EXPECT_TRUE(fs.clearReadOnly(sub + "/f"));
    struct stat st {};
    ::stat((sub + "/f").c_str(), &st);
    EXPECT_TRUE(st.st_mode & S_IWUSR);
    fs.deleteFile(sub + "/f");
    EXPECT_TRUE(fs.removeDirectory(sub));
    EXPECT_FALSE(fs.exists(sub));
}

// Links are never followed where the system writes, empties or removes what it made, and only regular
// files are read (a FIFO would block, a device would never end).
TEST(LinuxFilesTest, LinksAndFilesThatAreNotRegular) {
    TempFolder dir;
    LinuxFileSystem fs;
    const std::string victim = dir / "victim";
    fs.createDirectory(victim);
    fs.writeFile(victim + "/data", bytes("precious"));
    ::chmod((victim + "/data").c_str(), 0444);
    std::filesystem::create_directory_symlink(victim, dir / "folder_link");
    std::filesystem::create_symlink(victim + "/data", dir / "file_link");

    EXPECT_TRUE(fs.isLink(dir / "folder_link"));
    EXPECT_FALSE(fs.isLink(victim));
    EXPECT_EQ(fs.findFolders(dir.path()), std::vector<std::string>{"victim"});
    EXPECT_EQ(fs.findFiles(dir.path(), "*link"), (std::vector<std::string>{"file_link", "folder_link"}));
    EXPECT_FALSE(fs.createDirectory(dir / "folder_link"));
    EXPECT_FALSE(fs.writeFile(dir / "file_link", bytes("overwritten")));
    EXPECT_TRUE(fs.clearReadOnly(dir / "file_link"));
    struct stat st {};
    ::stat((victim + "/data").c_str(), &st);
    EXPECT_FALSE(st.st_mode & S_IWUSR);
    EXPECT_TRUE(fs.deleteFile(dir / "folder_link"));
    EXPECT_TRUE(fs.deleteFile(dir / "file_link"));
    EXPECT_EQ(fs.readFile(victim + "/data"), bytes("precious"));

    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    EXPECT_FALSE(fs.readFile(dir / "fifo").has_value());
    EXPECT_FALSE(fs.fileSize(dir / "fifo").has_value());
    EXPECT_FALSE(fs.readFile("/dev/zero").has_value());
    EXPECT_FALSE(fs.readFile(victim).has_value());
}

TEST(LinuxFilesTest, PathRulesAndCurrentDirectory) {
    LinuxFileSystem fs;
    EXPECT_EQ(fs.separator(), '/');
    EXPECT_TRUE(fs.isFullPath("/tmp/x"));
    EXPECT_FALSE(fs.isFullPath("x/y"));
    EXPECT_FALSE(fs.isFullPath(""));
    TempFolder dir;
    const std::string before = fs.currentDirectory();
    ASSERT_TRUE(fs.setCurrentDirectory(dir.path()));
    EXPECT_EQ(std::filesystem::canonical(fs.currentDirectory()), std::filesystem::canonical(dir.path()));
    ASSERT_TRUE(fs.setCurrentDirectory(before));
    EXPECT_FALSE(fs.setCurrentDirectory(dir / "missing"));
}

// A drive path lies under the folder standing for its letter's root, never above it, and never in the
// current folder when no folder stands for the letter.
TEST(LinuxFilesTest, DrivePathsLieOnTheirVolumesRoot) {
    TempFolder volume, work;
    LinuxFileSystem f;
    const std::string previous = f.currentDirectory();
    ASSERT_TRUE(f.setCurrentDirectory(work.path()));
    const std::vector<std::uint8_t> data = {1, 2, 3};
    EXPECT_FALSE(f.writeFile("E:\\rwtestbin.txt", data));
    EXPECT_EQ(lastError(), quib::platform::kErrorPathNotFound);

    int asked = 0;
    f.setDriveRoots([&](char letter) -> std::shared_ptr<const std::string> {
        ++asked;
        if (letter != 'E') {
            quib::platform::setLastError(quib::platform::kErrorPathNotFound);
            return nullptr;
        }
        return std::make_shared<const std::string>(volume.path());
    });
    EXPECT_TRUE(f.createDirectory("e:\\tmp"));
    EXPECT_TRUE(f.writeFile("E:\\tmp\\a.txt", data));
    EXPECT_EQ(f.readFile(volume.path() + "/tmp/a.txt"), data);
    EXPECT_EQ(f.findFiles("E:\\tmp", "*.txt"), std::vector<std::string>{"a.txt"});
    EXPECT_TRUE(f.deleteFile("E:/tmp/a.txt"));
    EXPECT_TRUE(f.removeDirectory("E:\\tmp"));
    EXPECT_FALSE(f.writeFile("E:\\..\\escaped.txt", data));
    EXPECT_FALSE(f.createDirectory("F:\\tmp"));
    EXPECT_EQ(lastError(), quib::platform::kErrorPathNotFound);
    EXPECT_EQ(asked, 7);
    EXPECT_TRUE(std::filesystem::is_empty(work.path()));
    EXPECT_TRUE(std::filesystem::is_empty(volume.path()));
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(volume.path()).parent_path() / "escaped.txt"));
    EXPECT_EQ(LinuxFileSystem::drivePathOn("C:\\Windows\\.\\x", "/"), "/Windows/x");
    f.setCurrentDirectory(previous);
}

}  // namespace
