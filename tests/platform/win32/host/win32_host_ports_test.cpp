// The host side of the Windows backend, on the real Win32 calls (run under Wine in CI).
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <random>

#include "platform/backends.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_module.h"
#include "platform/win32/win32_process.h"
#include "platform/win32/win32_registry.h"

namespace {

using namespace quib::platform;

std::vector<std::uint8_t> bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

std::string uniqueName() {
    std::random_device rd;
    return std::to_string(rd());
}

// A fresh folder whose name is not ASCII and holds a space, as a technician's tool folder may.
class Win32HostTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_root = std::filesystem::path(::testing::TempDir()) / utf8ToWide("Prüfstand 2 " + uniqueName());
        std::filesystem::create_directories(m_root);
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(m_root, ec);
    }
    // UTF-8, as the system passes paths.
    std::string path(const std::string& name = {}) const {
        return wideToUtf8((name.empty() ? m_root : m_root / utf8ToWide(name)).wstring());
    }
    // A folder link that the system reports as a reparse point. Windows without the right to make links,
    // and Wine, which shows links as what they point to, cannot run what needs one.
    bool makeFolderLink(const std::string& link, const std::string& target) {
        const std::wstring wide = utf8ToWide(link);
        if (!::CreateSymbolicLinkW(
                wide.c_str(), utf8ToWide(target).c_str(),
                SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE))
            return false;
        const DWORD attributes = ::GetFileAttributesW(wide.c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
    }
    std::filesystem::path m_root;
    Win32FileSystem m_files;
};

TEST(Win32TextTest, Utf8AndUtf16RoundTripIncludingSurrogatePairs) {
    const std::string texts[] = {"C:\\Prüfstand 2\\x.bin", "\xF0\x9F\x98\x80 smile", "plain", ""};
    for (const std::string& text : texts) {
        const std::wstring wide = utf8ToWide(text);
        EXPECT_EQ(wideToUtf8(wide), text);
        EXPECT_EQ(::lstrlenW(wide.c_str()), static_cast<int>(wide.size()));
    }
    const std::wstring smile = utf8ToWide("\xF0\x9F\x98\x80");
    ASSERT_EQ(smile.size(), 2u);  // one character, two UTF-16 units
    EXPECT_EQ(smile[0], 0xD83D);
    EXPECT_EQ(smile[1], 0xDE00);
}

TEST_F(Win32HostTest, WriteReadAppendDeleteInAFolderNamedOutsideAscii) {
    const std::string file = path("a.bin");
    EXPECT_TRUE(m_files.isFullPath(file));
    ASSERT_TRUE(m_files.writeFile(file, bytes("first")));
    ASSERT_TRUE(m_files.writeFile(file, bytes("ab")));
    ASSERT_TRUE(m_files.appendFile(file, bytes("cd")));
    EXPECT_EQ(m_files.readFile(file), bytes("abcd"));
    EXPECT_EQ(m_files.fileSize(file), 4u);
    // What the program wrote is what any other Windows program reads under that name.
    EXPECT_TRUE(std::filesystem::exists(m_root / L"a.bin"));
    EXPECT_TRUE(m_files.deleteFile(file));
    EXPECT_FALSE(m_files.exists(file));
    EXPECT_FALSE(m_files.readFile(file).has_value());
    EXPECT_EQ(lastError(), kErrorFileNotFound);
}

TEST_F(Win32HostTest, FindFilesAndFoldersAndTheCurrentFolder) {
    for (const char* name : {"b.bin", "a.bin", "c.rom", "Config_ä.rom"})
        m_files.writeFile(path(name), bytes("x"));
    ASSERT_TRUE(m_files.createDirectory(path("d.bin")));
    EXPECT_TRUE(m_files.createDirectory(path("d.bin")));  // an existing folder is success
    auto bins = m_files.findFiles(path(), "*.bin");
    std::sort(bins.begin(), bins.end());
    EXPECT_EQ(bins, (std::vector<std::string>{"a.bin", "b.bin"}));
    auto roms = m_files.findFiles(path(), "*.rom");
    std::sort(roms.begin(), roms.end());
    EXPECT_EQ(roms, (std::vector<std::string>{"Config_ä.rom", "c.rom"}));
    EXPECT_TRUE(m_files.findFiles(path(), "*.hex").empty());
    EXPECT_EQ(lastError(), kErrorFileNotFound);
    EXPECT_EQ(m_files.findFolders(path()), (std::vector<std::string>{"d.bin"}));

    const std::string before = m_files.currentDirectory();
    ASSERT_TRUE(m_files.setCurrentDirectory(path()));
    EXPECT_EQ(std::filesystem::path(utf8ToWide(m_files.currentDirectory())), m_root);
    ASSERT_TRUE(m_files.setCurrentDirectory(before));
}

TEST_F(Win32HostTest, OnlyRegularFilesAreReadAndAFolderIsNone) {
    EXPECT_FALSE(m_files.readFile(path()).has_value());
    EXPECT_FALSE(m_files.fileSize(path()).has_value());
    // A pipe named like an image must not hold the run: refused at once.
    const std::wstring pipeName = L"\\\\.\\pipe\\quib-" + utf8ToWide(uniqueName());
    HANDLE pipe = ::CreateNamedPipeW(pipeName.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE | PIPE_NOWAIT, 1,
                                     0, 0, 0, nullptr);
    ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(m_files.readFile(wideToUtf8(pipeName)).has_value());
    ::CloseHandle(pipe);
}

TEST_F(Win32HostTest, CopyKeepsAnExistingFileUnlessAskedAndClearsReadOnly) {
    m_files.writeFile(path("src"), bytes("new"));
    m_files.writeFile(path("dst"), bytes("old"));
    EXPECT_FALSE(m_files.copyFile(path("src"), path("dst"), false));
    EXPECT_EQ(lastError(), kErrorFileExists);
    EXPECT_EQ(m_files.readFile(path("dst")), bytes("old"));
    EXPECT_TRUE(m_files.copyFile(path("src"), path("dst"), true));
    EXPECT_EQ(m_files.readFile(path("dst")), bytes("new"));

    const std::wstring wide = utf8ToWide(path("dst"));
    ASSERT_TRUE(::SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(m_files.isReadWrite(path("dst")));
    EXPECT_TRUE(m_files.clearReadOnly(path("dst")));
    EXPECT_EQ(::GetFileAttributesW(wide.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_TRUE(m_files.isReadWrite(path("dst")));
}

TEST_F(Win32HostTest, ALinkIsNeverWrittenThroughNorEmptiedThrough) {
    const std::string victim = path("victim");
    ASSERT_TRUE(m_files.createDirectory(victim));
    ASSERT_TRUE(m_files.writeFile(victim + "\\keep.txt", bytes("mine")));
    const std::string link = path("KRVFW_Temp");
    if (!makeFolderLink(link, victim)) GTEST_SKIP() << "folder links are not reparse points here";

    EXPECT_TRUE(m_files.isLink(link));
    EXPECT_FALSE(m_files.createDirectory(link));  // a link to a folder is no folder of ours
    EXPECT_EQ(m_files.findFiles(path(), "KRVFW_Temp"), (std::vector<std::string>{"KRVFW_Temp"}));
    EXPECT_TRUE(m_files.findFolders(path()) == (std::vector<std::string>{"victim"}));

    // The interrupt cleanup removes the link itself.
    Win32Process process;
    process.setInterruptCleanup({}, {link}, std::nullopt);
    runInterruptCleanupForTest();
    process.setInterruptCleanup({}, {}, std::nullopt);
    EXPECT_FALSE(m_files.exists(link));
    EXPECT_EQ(m_files.readFile(victim + "\\keep.txt"), bytes("mine"));
}

TEST_F(Win32HostTest, InterruptCleanupRemovesTheFilesAndEmptiesTheFolders) {
    const std::string folder = path("KRVFW_Temp");
    m_files.createDirectory(folder);
    m_files.writeFile(folder + "\\a.bin", bytes("x"));
    m_files.writeFile(folder + "\\b.bin", bytes("y"));
    m_files.writeFile(path("quibusb.dll"), bytes("z"));
    m_files.writeFile(path("user.bin"), bytes("stays"));
    Win32Process process;
    process.setInterruptCleanup({path("quibusb.dll")}, {folder}, std::nullopt);
    runInterruptCleanupForTest();
    process.setInterruptCleanup({}, {}, std::nullopt);
    EXPECT_FALSE(m_files.exists(folder));
    EXPECT_FALSE(m_files.exists(path("quibusb.dll")));
    EXPECT_EQ(m_files.readFile(path("user.bin")), bytes("stays"));
}

// A program started hidden: its exit code, or the system's reason it could not start.
TEST(Win32ProcessTest, RunHiddenGivesTheExitCodeOrTheReasonItCouldNotStart) {
    Win32Process process;
    EXPECT_EQ(process.runHidden("cmd.exe", " /c exit 3", 60000), 3u);
    EXPECT_FALSE(process.runHidden("no-such-program-here.exe", " /s script.sc", 60000));
    EXPECT_EQ(lastError(), static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));
}

TEST(Win32RegistryTest, ValuesRoundTripInTheMachineWideRegistry) {
    const std::string key = "SOFTWARE\\QuibUsbTest\\" + uniqueName();
    Win32Registry registry;
    EXPECT_FALSE(registry.keyExists(key));
    EXPECT_EQ(lastError(), 2u);
    EXPECT_FALSE(registry.readValue(key, "Version").has_value());
    ASSERT_TRUE(registry.createKey(key));
    EXPECT_TRUE(registry.keyExists(key));

    const std::wstring text = L"3.1.7.6 Prüfstand";
    std::vector<std::uint8_t> utf16(reinterpret_cast<const std::uint8_t*>(text.c_str()),
                                    reinterpret_cast<const std::uint8_t*>(text.c_str() + text.size() + 1));
    const RegistryValue values[] = {
        {RegistryType::String, utf16},
        {RegistryType::Dword, {0x78, 0x56, 0x34, 0x12}},
        {RegistryType::Binary, std::vector<std::uint8_t>(1000, 0xA5)},  // more than the first read asks
    };
    for (const RegistryValue& value : values) {
        ASSERT_TRUE(registry.writeValue(key, "Value", value));
        const auto read = registry.readValue(key, "Value");
        ASSERT_TRUE(read.has_value());
        EXPECT_EQ(read->type, value.type);
        EXPECT_EQ(read->data, value.data);
    }
    // Another program reads the same value through the system's own calls.
    DWORD dword = 0, size = sizeof dword;
    registry.writeValue(key, "Dword", values[1]);
    EXPECT_EQ(::RegGetValueW(HKEY_LOCAL_MACHINE, utf8ToWide(key).c_str(), L"Dword", RRF_RT_REG_DWORD, nullptr,
                             &dword, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(dword, 0x12345678u);
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, utf8ToWide("SOFTWARE\\QuibUsbTest").c_str());
}

TEST(Win32ModuleTest, ProgramPathLibrariesAndSymbols) {
    Win32Module module;
    const std::string self = module.executablePath();
    EXPECT_TRUE(Win32FileSystem().isFullPath(self)) << self;
    EXPECT_TRUE(self.ends_with(".exe")) << self;
    EXPECT_FALSE(module.findResource("EXTFILES", 136).has_value());  // this test program carries none

    void* kernel = module.loadLibrary("kernel32.dll");
    ASSERT_NE(kernel, nullptr);
    EXPECT_NE(module.findSymbol(kernel, "GetTickCount64"), nullptr);
    EXPECT_EQ(module.findSymbol(kernel, "QuibUSBLib_NoSuchEntry"), nullptr);
    EXPECT_EQ(lastError(), static_cast<std::uint32_t>(ERROR_PROC_NOT_FOUND));
    EXPECT_TRUE(module.freeLibrary(kernel));
    EXPECT_EQ(module.loadLibrary(self + ".missing.dll"), nullptr);
    EXPECT_EQ(lastError(), static_cast<std::uint32_t>(ERROR_MOD_NOT_FOUND));
}

}  // namespace
