// The library's scan and update, run once over the Win32 device ports (answered by a bench through the
// device call table, in Windows' layouts) and once over the bench backend directly, on identical
// benches: the bridges must see the same commands, command for command, and end up holding the same.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bench/bridge/image_files.h"
#include "common/log/debug_log.h"
#include "common/records/exchange_records.h"
#include "devcore/frame/library_objects.h"
#include "include/quibusb.h"
#include "platform/bench/bench_backend.h"
#include "tests/devcore/bench_fixture.h"
#include "tests/platform/win32/bench_device_calls.h"
#include "tests/platform/win32/win32_test_backend.h"

namespace win32_test {
namespace {

using devcore_test::json;
using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

const std::string kNewVersion = "131112910000";

// What a run left behind: every command and control request the bench saw, and the bridges' state.
struct RunResult {
    int scan = 0;
    int action = 0;
    std::vector<std::string> trace;    // one JSON line per command, every field
    std::vector<std::string> control;  // one JSON line per control request
    std::vector<std::string> bridges;  // status and banks of each bridge
    std::vector<std::string> serials;  // the device list after the run
    int tableHandlesOpen = 0;          // through the device call table
    int tableSetsOpen = 0;
    int tablePassThroughs = 0;
};

struct Scenario {
    const char* name;
    json description;
    // The library call after the scan, given the image's path, and what it returns on the bench.
    std::function<int(const std::string& imagePath)> action;
    int expected;
};

void PrintTo(const Scenario& scenario, std::ostream* out) {
    *out << scenario.name;
}

std::unique_ptr<ExchangeData> exchangeFor(const std::string& path, bool relinkAfter, bool dualImage) {
    auto e = std::make_unique<ExchangeData>();
    std::memset(e.get(), 0, sizeof(ExchangeData));
    quib::records::storeText(e->cFwPath, path);
    e->ucEnableReLinkAfterFWUpgrade = relinkAfter ? 1 : 0;
    e->ucEnableDualImage = dualImage ? 1 : 0;
    return e;
}

json bridge(const std::string& id, json extra = json::object()) {
    json b = {{"id", id}, {"serial", "SN-" + id}, {"uas", false}};
    for (auto& [key, value] : extra.items()) b[key] = value;
    return b;
}

std::string hex(const Bytes& bytes) {
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (auto b : bytes) out += {digits[b >> 4], digits[b & 15]};
    return out;
}

class Win32BoundaryTest : public ::testing::TestWithParam<Scenario> {
  protected:
    void TearDown() override {
        quib::devcore::testing::reset();
        quib::platform::install(nullptr);
    }

    RunResult run(const Scenario& scenario, bool throughWin32) {
        quib::devcore::testing::reset();
        const devcore_test::TempFolder work;
        const std::string image = (fs::path(work.path()) / "131112_91_00_00.bin").string();
        const Bytes imageBytes = bench::makeImage(kNewVersion, 60902);
        std::ofstream(image, std::ios::binary)
            .write(reinterpret_cast<const char*>(imageBytes.data()),
                   static_cast<std::streamsize>(imageBytes.size()));

        auto benchNow = bench::Bench::fromJson(scenario.description);
        std::unique_ptr<BenchDeviceCalls> table;
        std::unique_ptr<ScopedDeviceCalls> installed;
        if (throughWin32) {
            table = std::make_unique<BenchDeviceCalls>(benchNow);
            installed = std::make_unique<ScopedDeviceCalls>(*table);
        }
        quib::platform::install(
            makeTestBackend(benchNow, throughWin32, (fs::path(work.path()) / "KRV610xFWUpg.exe").string()));
        quib::log::setLevel(3);

        RunResult result;
        auto list = std::make_unique<USBDevListExp>();
        result.scan = QuibUSBLib_Function_vScanUSBPort(list.get(), "0", 0);
        result.action = scenario.action(image);
        for (const auto& r : benchNow->trace()) result.trace.push_back(bench::traceToJson(r).dump());
        for (const auto& r : benchNow->controlTrace())
            result.control.push_back(bench::controlTraceToJson(r).dump());
        for (const auto& status : benchNow->bridgeStatus()) {
            std::string line =
                status.id + " onBus=" + std::to_string(status.onBus) +
                " ejected=" + std::to_string(status.ejected) + " disk=" + std::to_string(status.diskNumber) +
                " restarts=" + std::to_string(status.restarts) + " version=" + status.runningVersion;
            benchNow->withChip(status.id, [&](bench::BridgeChip& chip) {
                line += " bank0=" + hex(chip.firmwareBank(0)) + " bank1=" + hex(chip.firmwareBank(1));
            });
            result.bridges.push_back(line);
        }
        if (const auto* devices = quib::devcore::libraryObjects().devList())
            for (int i = 0; i < devices->nDevCount; ++i)
                result.serials.push_back(devices->Devs[static_cast<std::size_t>(i)].strSerialNumber);
        if (table) {
            result.tableHandlesOpen = table->openHandles();
            result.tableSetsOpen = table->openSets();
            result.tablePassThroughs = table->controlCalls[IOCTL_SCSI_PASS_THROUGH] +
                                       table->controlCalls[IOCTL_SCSI_PASS_THROUGH_DIRECT];
        }
        quib::platform::install(nullptr);
        quib::devcore::testing::reset();
        return result;
    }
};

TEST_P(Win32BoundaryTest, BridgesSeeTheSameCommandsThroughTheWin32PortsAsOnTheBench) {
    const Scenario& scenario = GetParam();
    const RunResult onBench = run(scenario, false);
    const RunResult throughWin32 = run(scenario, true);

    // The scenario did what it is about, and the Win32 run went through the table.
    EXPECT_EQ(onBench.scan, 0);
    EXPECT_EQ(onBench.action, scenario.expected);
    EXPECT_FALSE(onBench.serials.empty());
    EXPECT_FALSE(onBench.trace.empty());
    EXPECT_EQ(static_cast<std::size_t>(throughWin32.tablePassThroughs), throughWin32.trace.size());
    if (scenario.expected == QUIB_FAIL) {
        // The failure came with sense data.
        EXPECT_TRUE(std::any_of(onBench.trace.begin(), onBench.trace.end(), [](const std::string& line) {
            return line.find("\"scsi_status\":2") != std::string::npos;
        }));
    }

    EXPECT_EQ(throughWin32.scan, onBench.scan);
    EXPECT_EQ(throughWin32.action, onBench.action);
    ASSERT_EQ(throughWin32.trace.size(), onBench.trace.size());
    for (std::size_t i = 0; i < onBench.trace.size(); ++i)
        EXPECT_EQ(throughWin32.trace[i], onBench.trace[i]) << "command " << i;
    EXPECT_EQ(throughWin32.control, onBench.control);
    EXPECT_EQ(throughWin32.bridges, onBench.bridges);
    EXPECT_EQ(throughWin32.serials, onBench.serials);
    // Every handle and information set the ports took was given back.
    EXPECT_EQ(throughWin32.tableHandlesOpen, 0);
    EXPECT_EQ(throughWin32.tableSetsOpen, 0);
}

json hubWith(json ports) {
    return {{"port", 1}, {"hub", {{"port_count", 4}, {"ports", std::move(ports)}}}};
}

const Scenario kScenarios[] = {
    {"DualImageUpdateWithRestart", devcore_test::benchOfBridges({bridge("b", {{"restart_delay_ms", 3000}})}),
     [](const std::string& image) {
         return QuibUSBLib_Function_vUpdateFirmware(0, exchangeFor(image, true, true).get(), 0x1234);
     },
     QUIB_SUCCESS},
    {"UpdateOfABridgeBehindAHub",
     devcore_test::benchOf(json::array({devcore_test::controller(
         json::array({hubWith(json::array({devcore_test::bridgePort(1, "h1", "SN-H1"),
                                           devcore_test::bridgePort(3, "h3", "SN-H3")})),
                      devcore_test::bridgePort(2, "r2", "SN-R2")}),
         4)})),
     [](const std::string& image) {
         return QuibUSBLib_Function_vUpdateFirmware(1, exchangeFor(image, false, false).get(), 0);
     },
     QUIB_SUCCESS},
    {"SafeRemoval", devcore_test::benchOfBridges({bridge("a"), bridge("b")}),
     [](const std::string&) { return QuibUSBLib_Function_SafeRemoveUSB(1); }, QUIB_SUCCESS},
    {"SafeRemovalVetoed",
     [] {
         json d = devcore_test::benchOfBridges({bridge("a")});
         d["faults"] = json::array({{{"kind", "eject_veto"}, {"bridge", "a"}, {"times", 3}}});
         return d;
     }(),
     [](const std::string&) { return QuibUSBLib_Function_SafeRemoveUSB(0); }, QUIB_SAFE_REMOVE_FAIL},
    // The bridge answers a command with CHECK CONDITION: its sense data come back through the record.
    {"UpdateMeetingACheckCondition",
     [] {
         json d = devcore_test::benchOfBridges({bridge("c")});
         d["faults"] = json::array(
             {{{"kind", "command"}, {"bridge", "c"}, {"opcode", 0xE3}, {"as", "check_condition"}}});
         return d;
     }(),
     [](const std::string& image) {
         return QuibUSBLib_Function_vUpdateFirmware(0, exchangeFor(image, false, false).get(), 0);
     },
     QUIB_FAIL},
};

INSTANTIATE_TEST_SUITE_P(Runs, Win32BoundaryTest, ::testing::ValuesIn(kScenarios),
                         [](const ::testing::TestParamInfo<Scenario>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
}  // namespace win32_test
