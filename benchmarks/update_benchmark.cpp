// Speed of the scan, of one bridge's whole update and of the PD controller updates, on in-memory benches with
// the virtual clock (no wait is real). The bench's own work is timed apart: every call into a device port is
// measured, and the counters report the system's share ("system_us") beside the bench's ("bench_us"), per
// iteration.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>

#include "bench/bench.h"
#include "bench/bridge/firmware_image.h"
#include "bench/pd/pd_images.h"
#include "benchmarks/timed_bench.h"
#include "common/log/debug_log.h"
#include "common/records/exchange_records.h"
#include "devcore/frame/library_objects.h"
#include "include/quibusb.h"
#include "platform/bench/bench_backend.h"

namespace {

using namespace quib_benchmarks;
json benchOf(int bridges) {
    json ports = json::array();
    for (int i = 0; i < bridges; ++i) {
        std::string id = "b", serial = "SN";
        id.append(std::to_string(i));
        serial.append(std::to_string(i));
        ports.push_back(
            {{"port", i + 1},
             {"bridge", {{"id", id}, {"serial", serial}, {"uas", false}, {"restart_number", "same"}}}});
    }
    return {{"system_disks", 1},
            {"controllers", json::array({{{"ports", {{"port_count", 16}, {"ports", ports}}}}})}};
}

void BM_Scan(benchmark::State& state) {
    Setup setup(benchOf(static_cast<int>(state.range(0))));
    g_benchNs = 0;
    std::int64_t totalNs = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        const int r = QuibUSBLib_Function_vScanUSBPort(setup.list.get(), "0", 0);
        totalNs += std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count();
        if (r != 0 || setup.list->nDevCount != state.range(0)) state.SkipWithError("scan failed");
    }
    reportShares(state, totalNs);
}
BENCHMARK(BM_Scan)->Arg(1)->Arg(16)->Unit(benchmark::kMillisecond);

void BM_Update(benchmark::State& state) {
    const int bridges = static_cast<int>(state.range(0));
    Setup setup(benchOf(bridges));
    const std::string image = (setup.folder / "131112_91_00_00.bin").string();
    const auto bytes = bench::makeImage("131112910000", 60902);
    std::ofstream(image, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    auto exchange = std::make_unique<ExchangeData>();
    std::memset(exchange.get(), 0, sizeof(ExchangeData));
    quib::records::storeText(exchange->cFwPath, image);
    exchange->ucEnableReLinkAfterFWUpgrade = 1;  // as shipped: restart and version poll
    if (QuibUSBLib_Function_vScanUSBPort(setup.list.get(), "0", 0) != 0) state.SkipWithError("scan failed");
    g_benchNs = 0;
    std::int64_t totalNs = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        for (int i = 0; i < bridges; ++i)
            if (QuibUSBLib_Function_vUpdateFirmware(static_cast<std::uint8_t>(i), exchange.get(), 0) != 0)
                state.SkipWithError("update failed");
        totalNs += std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count();
    }
    reportShares(state, totalNs);
}
BENCHMARK(BM_Update)->Arg(1)->Arg(16)->Unit(benchmark::kMillisecond);

// One PD update through the entry points: version read, programming, read-back, the bench's power cycle,
// the relink wait and the version comparison. Argument: the controller kind (1 RichTek, 5 a full CCG4 image).
void BM_PdUpdate(benchmark::State& state) {
    const int kind = static_cast<int>(state.range(0));
    json description = benchOf(1);
    auto& bridge = description["controllers"][0]["ports"]["ports"][0]["bridge"];
    bridge["pd"] = {{"kind", kind}};
    if (kind == 5) bridge["pd"]["device_mode"] = 2;
    Setup setup(description);

    std::vector<std::uint8_t> bytes;
    std::string name;
    if (kind == 1) {
        bytes = bench::richTekImage("0a0b");
        name = "pd.bin";
    } else {
        // Every row from the mode's first one to the last row of the flash.
        const std::string text = bench::cyacdText({.pdKind = 5, .deviceMode = 2, .rows = 0x400 - 0x14});
        bytes.assign(text.begin(), text.end());
        name = "pd.cyacd";
    }
    const std::string path = (setup.folder / name).string();
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    auto exchange = std::make_unique<ExchangeData>();
    std::memset(exchange.get(), 0, sizeof(ExchangeData));
    quib::records::storeText(exchange->cPDFwPath, path);
    exchange->ucUpdatePD = 1;
    if (QuibUSBLib_Function_vScanUSBPort(setup.list.get(), "0", 0) != 0) state.SkipWithError("scan failed");
    g_benchNs = 0;
    std::int64_t totalNs = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        if (QuibUSBLib_Function_vInitialPD(QUIB_LIBRARY_PD) != 0 ||
            QuibUSBLib_Function_vShowPDVersion(0, exchange.get()) != 0 ||
            QuibUSBLib_Function_vUpdatePDFirmware(0, exchange.get()) != 0)
            state.SkipWithError("PD update failed");
        totalNs += std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count();
    }
    QuibUSBLib_Function_vClosePD();
    reportShares(state, totalNs);
}
BENCHMARK(BM_PdUpdate)->Arg(1)->Arg(5)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
