#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench/bridge/firmware_image.h"
#include "frontend/resources/packaged_files.h"
#include "platform/platform.h"
#include "tests/frontend/elf_sections.h"

namespace {

using namespace quib::frontend;

std::vector<std::uint8_t> fileBytes(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::uint8_t> resource(int id) {
    const auto found = quib::platform::findPackagedResource(kResourceType, id);
    if (!found) return {};
    return {found->begin(), found->end()};
}

class PackagedResources : public ::testing::Test {
  protected:
    void SetUp() override { registerPackagedFiles(); }
    void TearDown() override { quib::platform::registerPackagedResources({}); }
};

TEST_F(PackagedResources, LibraryIsTheBuiltLibraryByteForByte) {
    const auto library = resource(kResourceLibrary);
    ASSERT_FALSE(library.empty());
    EXPECT_EQ(library, fileBytes(QUIB_LIBRARY_FILE));
}

#ifdef QUIB_SHIPS_STRIPPED
TEST_F(PackagedResources, LibraryShipsStrippedWithItsDebugInformationBesideIt) {
    using quib::frontend::testing::elfSections;
    const auto library = resource(kResourceLibrary);
    const auto sections = elfSections(library);
    ASSERT_FALSE(sections.empty());
    EXPECT_EQ(sections.count(".debug_info"), 0u);
    EXPECT_EQ(sections.count(".symtab"), 0u);
    EXPECT_EQ(sections.count(".dynsym"), 1u);  // the entry points stay visible
    ASSERT_EQ(sections.count(".gnu_debuglink"), 1u);
    const auto& link = sections.at(".gnu_debuglink");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(link.data())), "libquibusb.so.debug");

    const auto debug = fileBytes(QUIB_LIBRARY_FILE ".debug");
    const auto debugSections = elfSections(debug);
    EXPECT_EQ(debugSections.count(".debug_info"), 1u);
    EXPECT_FALSE(debugSections.at(".debug_info").empty());
}

TEST_F(PackagedResources, ProgramShipsStrippedToo) {
    using quib::frontend::testing::elfSections;
    const auto sections = elfSections(fileBytes(QUIB_PROGRAM_FILE));
    ASSERT_FALSE(sections.empty());
    EXPECT_EQ(sections.count(".debug_info"), 0u);
    EXPECT_EQ(sections.count(".symtab"), 0u);
    ASSERT_EQ(sections.count(".gnu_debuglink"), 1u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(sections.at(".gnu_debuglink").data())),
              "KRV610xFWUpg.debug");
}
#endif

TEST_F(PackagedResources, FirmwareListNamesTheSampleImage) {
    const auto list = resource(kResourceFirmwareList);
    EXPECT_EQ(std::string(list.begin(), list.end()), "131112_91_00_00.bin\r\n");
}

TEST_F(PackagedResources, SampleImageIsOurOwnAndCarriesItsVersion) {
    const auto image = resource(kResourceFirmwareImage);
    EXPECT_EQ(image.size(), 60902u);
    EXPECT_EQ(bench::versionOfImage(image), "131112910000");
}

TEST_F(PackagedResources, SettingsFileIsTheShippedFileWithCrlfLinesAndNoTrailingBlankLine) {
    const auto settings = resource(kResourceSettings);
    ASSERT_EQ(settings, fileBytes(QUIB_SHIPPED_SETTINGS));
    const std::string text(settings.begin(), settings.end());
    ASSERT_GE(text.size(), 2u);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    EXPECT_NE(text.substr(text.size() - 4), "\r\n\r\n");

    std::vector<std::string> lines;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find("\r\n", at);
        ASSERT_NE(end, std::string::npos) << "every line ends in CR LF";
        lines.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    const std::vector<std::string> expected = {
        "[chk_item]",
        "check_fw_version=1",
        "check_MSignature=0",
        "check_product_string=0",
        "check_manufacture_string=0",
        "check_vid=0",
        "check_pid=0",
        "check_part_of_fw_version=0",
        "check_bounding_option=0",
        "check_MSignature_BiggerThen=0",
        "EnableRelinkToRomCode=0",
        "EnableRelinkAfterFWUpg=1",
        "check_MSignature_SmallerThen=0",
        "enableDualImage=0",
        "",
        "[chk_value]",
        "fw_version=12042391F000",
        "MSignature=2",
        "manufacture_string=Seagate",
        "product_string=Renesas PD Testing",
        "vid=059F",
        "pid=109A",
        "part_of_fw_version=AC4",
        "bounding_option1=Support UASP",
        "bounding_option2=3",
        "start_address_of_part_of_fw_version=8",
        "part_of_fw_version_length=3",
        "MSignature_BiggerThen=3",
        "MSignature_SmallerThen=1",
        "",
        "[regEdit]",
        "reg_edit_enable=0",
        "reg_edit_subkey=SOFTWARE\\\\TORVANE\\\\FWUpdate",
        "reg_edit_keyname=VersionNumber",
        "reg_edit_type=REG_SZ",
        "reg_edit_value=150708B10103",
    };
    EXPECT_EQ(lines, expected);
}

}  // namespace
