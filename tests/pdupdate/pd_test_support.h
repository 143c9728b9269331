// What the PD/MCU tests share: a scanned bench with one PD bridge, image files written by the bench's
// writers, the exchange record of a PD/MCU run, and the tunnel commands the bridge received.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "bench/pd_images.h"
#include "pdupdate/pd_object.h"
#include "tests/fwupdate/update_test_support.h"

namespace devcore_test {

class PdTest : public UpdateTest {
  protected:
    void SetUp() override {
        quib::pdupdate::closePowerDelivery();
        quib::log::setLevel(quib::log::kMessageLevel);
    }
    void TearDown() override {
        quib::pdupdate::closePowerDelivery();
        UpdateTest::TearDown();
    }

    // One bridge "b0" with the given PD description; scanned.
    void scanPd(json pd, json bridgeExtra = json::object(), json benchExtra = json::object()) {
        json b = bridge("b0", bridgeExtra);
        b["pd"] = std::move(pd);
        scanBridges({b}, 0, benchExtra);
    }

    std::string writeText(const std::string& name, const std::string& text) const {
        return writeFile(name, Bytes(text.begin(), text.end()));
    }

    std::unique_ptr<ExchangeData> pdExchange(const std::string& pdPath,
                                             const std::string& mcuPath = "") const {
        auto e = exchangeFor("");
        e->ucUpdatePD = pdPath.empty() ? 0 : 1;
        e->ucUpdateMCU = mcuPath.empty() ? 0 : 1;
        quib::records::storeText(e->cPDFwPath, pdPath);
        quib::records::storeText(e->cMCUFwPath, mcuPath);
        return e;
    }

    // The calling order a caller follows; the version read's code when it fails.
    int showThenUpdate(ExchangeData& exchange, std::uint8_t device = 0) {
        EXPECT_EQ(QuibUSBLib_Function_vInitialPD(QUIB_LIBRARY_PD), 0);
        if (const int shown = QuibUSBLib_Function_vShowPDVersion(device, &exchange)) return shown;
        m_afterShow = bridgeTrace().size();
        return QuibUSBLib_Function_vUpdatePDFirmware(device, &exchange);
    }

    // Tunnel commands since the scan (or since `from`).
    std::vector<bench::TraceRecord> tunnel(std::size_t from = SIZE_MAX) {
        std::vector<bench::TraceRecord> out;
        const auto trace = bridgeTrace();
        for (std::size_t i = from == SIZE_MAX ? m_mark : from; i < trace.size(); ++i)
            if (!trace[i].cdb.empty() && trace[i].cdb[0] == 0xEC) out.push_back(trace[i]);
        return out;
    }
    static std::size_t countOf(const std::vector<bench::TraceRecord>& records, std::uint8_t sub) {
        return static_cast<std::size_t>(std::count_if(records.begin(), records.end(), [&](const auto& r) {
            return r.cdb.size() > 1 && r.cdb[1] == sub;
        }));
    }
    // Writes (programming commands) anywhere in the run.
    std::size_t programmingWrites() {
        const auto records = tunnel();
        std::size_t n = 0;
        for (std::uint8_t sub : {0x01, 0x23, 0x2B, 0x34}) n += countOf(records, sub);
        return n;
    }

    template <class F>
    auto withPd(F&& f) {
        decltype(f(std::declval<bench::PdController&>())) out{};
        benchRef().withChip("b0", [&](bench::BridgeChip& chip) { out = f(*chip.pd()); });
        return out;
    }
    std::string runningVersion() {
        return withPd([](bench::PdController& pd) { return pd.runningVersionText(); });
    }
    Bytes pdFlash() {
        return withPd([](bench::PdController& pd) { return pd.flash(); });
    }
    Bytes pdRow(std::size_t r) {
        return withPd([&](bench::PdController& pd) { return pd.row(r); });
    }
    Bytes mcuFlash() {
        return withPd([](bench::PdController& pd) { return pd.mcuFlash(); });
    }
    std::uint32_t powerCycles() {
        return withPd([](bench::PdController& pd) { return pd.powerCycles(); });
    }
    std::vector<std::string> boxTexts() {
        std::vector<std::string> out;
        for (const auto& box : benchRef().messageBoxes()) out.push_back(box.text);
        return out;
    }
    bool logged(const std::string& text) { return debugContains(text); }

    std::size_t m_afterShow = 0;
};

}  // namespace devcore_test
