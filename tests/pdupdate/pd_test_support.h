// What the PD/MCU tests share: a scanned bench with one PD bridge, image files written by the bench's
// writers, the exchange record of a PD/MCU run, whole runs through the entry points, and the tunnel
// commands the bridge received.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "bench/pd/pd_images.h"
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

    // Runs the update through the entry points on a fresh bench; the export's code.
    int run(json pd, const std::string& pdFile, const std::string& mcuFile = "", json faults = json::array(),
            json bridgeExtra = json::object()) {
        scanPd(std::move(pd), std::move(bridgeExtra), {{"faults", std::move(faults)}});
        onScanned();
        auto e = pdExchange(pdFile.empty() ? "" : pathInWorkFolder(pdFile),
                            mcuFile.empty() ? "" : pathInWorkFolder(mcuFile));
        return showThenUpdate(*e);
    }
    virtual void onScanned() {}
    // The images most runs use, in a work folder made before the bench.
    void writeFiles() {
        m_work = std::make_unique<TempFolder>();
        writeText("c4.cyacd", bench::cyacdText({.pdKind = 4, .deviceMode = 1}));
        writeText("c2.cyacd", bench::cyacdText({.pdKind = 2}));
        writeFile("rt.bin", bench::richTekImage("abcd"));
        writeText("mcu.hex", bench::mcuHexText({.bytes = 50}));
    }
    // A tunnel command fault: the nth command of the sub-command fails `times` times (0: always).
    static json fault(int sub, int nth = 1, int times = 0, const char* kind = "command") {
        json f = {{"kind", kind}, {"subcommand", sub}, {"nth", nth}, {"times", times}};
        if (std::string(kind) == "command") f["opcode"] = 0xEC;
        if (std::string(kind) == "readback_corrupt") f.erase("times");
        return json::array({f});
    }
    // The update member's code, from its final log line; 0 when it passed.
    int memberCode() {
        for (const auto& line : debugLines()) {
            const auto at = line.find("is failed...code [");
            if (at != std::string::npos) return std::stoi(line.substr(at + 18));
        }
        return 0;
    }
    std::string lastBox() {
        const auto boxes = boxTexts();
        return boxes.empty() ? std::string{} : boxes.back();
    }
    // Since the scan nothing reached the bridge but the detection and version queries, and nobody was
    // asked to power-cycle.
    bool onlyQueriesSent() {
        static constexpr std::uint8_t kQueries[] = {0x04, 0x07, 0x29, 0x03, 0x21, 0x2C};
        const auto trace = bridgeTrace();
        for (std::size_t i = m_mark; i < trace.size(); ++i) {
            const auto& cdb = trace[i].cdb;
            if (cdb.size() < 2 || cdb[0] != 0xEC ||
                std::find(std::begin(kQueries), std::end(kQueries), cdb[1]) == std::end(kQueries))
                return false;
        }
        const auto boxes = boxTexts();
        return std::none_of(boxes.begin(), boxes.end(),
                            [](const std::string& box) { return box.starts_with(bench::kPowerCyclePrompt); });
    }

    // A .cyacd text with the array id of its rowIndex-th row line (from 0) replaced.
    static std::string withArrayId(std::string text, std::size_t rowIndex, const char* id) {
        std::size_t at = 0;
        for (std::size_t n = 0; n <= rowIndex; ++n) at = text.find('\n', at) + 1;
        text.replace(at + 1, 2, id);
        return text;
    }
    static std::string withLfLineEnds(std::string text) {
        std::erase(text, '\r');
        return text;
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
