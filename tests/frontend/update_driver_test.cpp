// The update driver in process, with the library's entry points replaced: how the per-device results
// become the outcome, the boxes and status lines of each, the registry stamp, and a failure of the
// driver itself. The window, message boxes and registry are a bench's, so everything shown is recorded.
#include <gtest/gtest.h>

#include <map>
#include <stdexcept>

#include "bench/bench.h"
#include "common/log/debug_log.h"
#include "frontend/fwupg_dlg.h"
#include "platform/backends.h"
#include "platform/bench/bench_backend.h"
#include "tests/frontend/recording_backend.h"

namespace quib::frontend {
namespace {

using Json = nlohmann::json;

// What the replaced update entry point answers, device by device, and whom it was asked for.
std::vector<int> g_results;
std::vector<int> g_updated;

std::int32_t fakeUpdate(std::uint8_t index, ExchangeData*, std::uint16_t) {
    g_updated.push_back(index);
    const int result = g_results.at(index);
    if (result == 1) throw std::runtime_error("out of memory");
    return result;
}

class UpdateDriver : public ::testing::Test {
  protected:
    void SetUp() override {
        log::setLevel(2);
        previous = platform::install(nullptr);
        fresh();
    }
    void TearDown() override { platform::install(std::move(previous)); }

    // A new bench and a dialog as the start of a run leaves it, with the stamp switched on.
    void fresh() {
        bench = bench::Bench::fromJson({{"controllers", Json::array()}});
        platform::install(platform::makeBenchBackend(bench));
        g_updated.clear();
        dlg = std::make_unique<CKRV610xFWUpgDlg>(L"");
        dlg->pExchangeData = std::make_unique<ExchangeData>();
        dlg->m_pDevList = std::make_unique<USBDevListExp>();
        dlg->m_szCurDir = folder.path().wstring();
        dlg->m_strFWBinFile = L"131112_91_00_00.bin";
        dlg->m_DllUpdateFirmware = fakeUpdate;
        dlg->pExchangeData->ucRegEditEnable = 1;
        dlg->m_Settings.reg_edit_subkey = L"SOFTWARE\\TORVANE\\FWUpdate";
        dlg->m_Settings.reg_edit_keyname = L"VersionNumber";
        dlg->m_Settings.reg_edit_type = L"REG_SZ";
        dlg->m_Settings.reg_edit_value = L"131112910000";
    }

    // Devices on disks 1, 2, ... answering `results` (1: the call throws).
    int update(const std::vector<int>& results, std::uint8_t chosenDrive = 255) {
        g_results = results;
        dlg->m_pDevList->nDevCount = static_cast<std::int32_t>(results.size());
        for (std::size_t i = 0; i < results.size(); ++i)
            dlg->m_pDevList->Devs[i].m_ucPhysicalAddress = static_cast<std::uint8_t>(i + 1);
        dlg->m_ucPhysicalDrive = chosenDrive;
        dlg->OnBnClickedStartButton();
        return dlg->nExitCode();
    }
    std::vector<std::string> statusLines() {
        std::vector<std::string> lines;
        for (const auto& c : bench->dialogCalls())
            if (c.op == "status") lines.push_back(c.text);
        return lines;
    }
    std::vector<std::string> boxes() {
        std::vector<std::string> texts;
        for (const auto& b : bench->messageBoxes()) texts.push_back(b.caption + ": " + b.text);
        return texts;
    }
    bool stamped() { return bench->readRegistry("SOFTWARE\\TORVANE\\FWUpdate", "VersionNumber").has_value(); }

    std::shared_ptr<bench::Bench> bench;
    std::unique_ptr<platform::Backend> previous;
    testing::TempFolder folder;
    std::unique_ptr<CKRV610xFWUpgDlg> dlg;
};

// Every device is updated; the first failure other than "not for this image" is the outcome, and the
// registry stamp says the new version is in place only when the update succeeded. No box in this mode.
TEST_F(UpdateDriver, AllDevicesOutcomeStatusAndStamp) {
    struct Case {
        std::vector<int> results;
        int outcome;
    };
    for (const Case& c : {Case{{0, 0}, 0}, Case{{0, -1}, -1}, Case{{-3, -3}, -3}, Case{{-3, -2}, -2},
                          Case{{-3, 0, -3}, 0}, Case{{0, -3, -7, -1}, -7}, Case{{}, -3}}) {
        fresh();
        EXPECT_EQ(update(c.results), c.outcome);
        EXPECT_EQ(g_updated.size(), c.results.size());
        EXPECT_EQ(statusLines().back(), c.outcome < 0 ? "Fail! " + std::to_string(c.outcome)
                                                      : "Success! Please Relink the USB Device!");
        EXPECT_EQ(stamped(), c.outcome >= 0) << c.outcome;
        EXPECT_TRUE(boxes().empty());
    }
}

// One chosen drive: only its bridge is updated, and a failure shows the box of its code. A drive that
// no bridge is on is no device found.
TEST_F(UpdateDriver, ChosenDriveBoxesByCode) {
    const std::map<int, std::string> texts = {{0, ""},
                                              {-1, "Error: Can not update Firmware !"},
                                              {-2, "Error: The FW mismatch."},
                                              {-3, "Error: Configuration mismatch."},
                                              {-7, "Error: Reload fail."},
                                              {-10, "Error: Invalid parameter"},
                                              {-8, "Error: vUpdateFirmware fail, ErrorCode -8"}};
    for (const auto& [code, text] : texts) {
        fresh();
        EXPECT_EQ(update({-1, code}, 2), code);
        EXPECT_EQ(g_updated, std::vector<int>{1});
        EXPECT_EQ(boxes(), text.empty() ? std::vector<std::string>{} : std::vector<std::string>{text});
    }
    fresh();
    EXPECT_EQ(update({0, 0}, 7), -4);
    EXPECT_TRUE(g_updated.empty());
    EXPECT_EQ(boxes(), std::vector<std::string>{"KRV610xFWUpg: Please insert KRV610x device."});
    EXPECT_EQ(statusLines().back(), "Fail! -4");
    EXPECT_FALSE(stamped());
}

// A failure of the driver itself in dialog mode is logged and the window stays for the user to close,
// who then leaves the run with a failure; the process is not ended behind the user's back.
TEST_F(UpdateDriver, FailureOfTheDriverLeavesTheWindowToTheUser) {
    EXPECT_EQ(update({1}), -1);
    bool logged = false;
    for (const auto& line : bench->debugLines())
        logged = logged || line.find("DBG: OnBnClickedStartButton Fail Error=") != std::string::npos;
    EXPECT_TRUE(logged);
    const auto calls = bench->dialogCalls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back().op, "show");
    EXPECT_FALSE(stamped());
}

}  // namespace
}  // namespace quib::frontend
