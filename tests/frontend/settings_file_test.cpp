#include "frontend/settings_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "common/log/debug_log.h"
#include "common/records/exchange_records.h"
#include "frontend/fwupg_dlg.h"
#include "tests/frontend/recording_backend.h"

namespace quib::frontend {
namespace {

using records::readText;

struct Read {
    ExchangeData x{};
    SettingsCopies copies;
    SettingsReadOutcome outcome;
};

std::unique_ptr<Read> read(std::string_view text) {
    auto r = std::make_unique<Read>();
    r->outcome = readSettingsText(text, r->x, r->copies);
    return r;
}

TEST(SettingsText, ShippedFileFillsItsFieldsAndNothingElse) {
    std::ifstream in(QUIB_SHIPPED_SETTINGS, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    auto r = read(text.str());
    EXPECT_TRUE(r->outcome.understood());
    EXPECT_EQ(r->x.ucCheckFwVersion, 1);
    EXPECT_EQ(r->x.ucEnableReLinkAfterFWUpgrade, 1);  // spelled "EnableRelinkAfterFWUpg" in the file
    EXPECT_EQ(readText(r->x.cFwVersion), "12042391F000");
    EXPECT_EQ(readText(r->x.cBoundingOption1), "Support UASP");
    EXPECT_EQ(readText(r->x.cBoundingOption2), "3");
    EXPECT_EQ(readText(r->x.cRegEditSubkey), "SOFTWARE\\\\TORVANE\\\\FWUpdate");
    EXPECT_EQ(r->copies.reg_edit_value, L"150708B10103");
    EXPECT_EQ(r->x.ucUpdatePD, 0);
    EXPECT_EQ(readText(r->x.cFwPath), "");
}

TEST(SettingsText, SpacesCommentsCaseAndFlagBits) {
    auto r =
        read("  CHECK_VID   =   300   / comment\r\nvid = 05/9F\r\ncheck_pid=-1\r\ncheck_MSignature=abc\r\n");
    EXPECT_TRUE(r->outcome.understood());
    EXPECT_EQ(r->x.ucCheckVid, 44);
    EXPECT_EQ(r->x.ucCheckPid, 255);
    EXPECT_EQ(r->x.ucCheckMSignature, 0);
    EXPECT_EQ(readText(r->x.cVid), "05");
    EXPECT_EQ(r->copies.vid, L"05");
}

TEST(SettingsText, UnknownKeysReportedWhileReadingGoesOn) {
    auto r = read("check_vid=1\r\n[chk_item]\r\n\r\ncheck_vid\r\n[other]\r\nnot_a_key=5\r\ncheck_pid=1\r\n");
    EXPECT_EQ(r->outcome.unknownKeys, (std::vector<std::wstring>{L"check_vid", L"[other]", L"not_a_key"}));
    EXPECT_EQ(r->x.ucCheckVid, 1);
    EXPECT_EQ(r->x.ucCheckPid, 1);
}

TEST(SettingsText, NoKeysLeavesTheRecordZero) {
    auto r = read("\r\n[chk_value]\r\n[REGEDIT]\r\n");
    const ExchangeData zero{};
    EXPECT_TRUE(r->outcome.understood());
    EXPECT_EQ(std::memcmp(&r->x, &zero, sizeof zero), 0);
}

TEST(SettingsText, OverlongTextCutToTheFieldAtACharacterBoundary) {
    auto r = read("fw_version=" + std::string(200, 'A') + "\r\nMSignature=2\r\nproduct_string=" +
                  std::string(125, 'x') + "\xC3\xA9\r\nvid=" + std::string(126, 'v') + "\r\n");
    EXPECT_EQ(r->outcome.cutKeys, (std::vector<std::wstring>{L"fw_version", L"product_string"}));
    EXPECT_EQ(readText(r->x.cFwVersion), std::string(126, 'A'));
    EXPECT_EQ(r->copies.fw_version, std::wstring(126, L'A'));
    EXPECT_EQ(readText(r->x.cMSignature), "2");
    // 127 bytes of UTF-8: the two-byte character does not fit and is left out whole.
    EXPECT_EQ(readText(r->x.cProductString), std::string(125, 'x'));
    EXPECT_EQ(r->copies.product_string, std::wstring(125, L'x'));
    EXPECT_EQ(readText(r->x.cVid).size(), 126u);
}

class SettingsFileLoad : public ::testing::Test {
  protected:
    void SetUp() override {
        log::setLevel(2);
        dlg.pExchangeData = std::make_unique<ExchangeData>();
    }
    void TearDown() override { log::setLevel(0); }

    bool load(const std::string& content) {
        folder.write("fwupgrade.ini", content);
        return dlg.vLoadINIFile((folder.path() / "fwupgrade.ini").wstring());
    }
    std::string log() {
        std::string all;
        for (const auto& line : backend.ui().debugLines) all += line;
        return all;
    }

    testing::ScopedRecordingBackend backend;
    testing::TempFolder folder;
    CKRV610xFWUpgDlg dlg{L""};
};

TEST_F(SettingsFileLoad, UnknownKeyShowsOneNoticeAndOtherKeysHold) {
    EXPECT_FALSE(load("check_vid=1\r\nbogus=1\r\nmanufacture_string=" + std::string(130, 'm') + "\r\n"));
    ASSERT_EQ(backend.ui().boxes.size(), 1u);
    const auto& box = backend.ui().boxes[0];
    EXPECT_EQ(box.caption, "KRV610xFWUpg");
    EXPECT_EQ(box.style, platform::kMbOk | platform::kMbIconExclamation);
    EXPECT_NE(box.text.find("bogus"), std::string::npos);
    EXPECT_EQ(dlg.pExchangeData->ucCheckVid, 1);
    EXPECT_EQ(readText(dlg.pExchangeData->cManufactureString).size(), 126u);
    EXPECT_NE(log().find("\r\nWRN::CKRV610xFWUpgDlg::vLoadINIFile:"), std::string::npos);
    EXPECT_NE(log().find("manufacture_string"), std::string::npos);
}

TEST_F(SettingsFileLoad, MissingFileIsQuietlyIgnored) {
    EXPECT_FALSE(dlg.vLoadINIFile((folder.path() / "absent.ini").wstring()));
    EXPECT_TRUE(backend.ui().boxes.empty());
    EXPECT_TRUE(backend.ui().debugLines.empty());
}

}  // namespace
}  // namespace quib::frontend
