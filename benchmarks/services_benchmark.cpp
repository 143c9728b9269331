// Speed of the service entry points on an in-memory bench: an NVMe data-in packet command of 4096 bytes and
// one of 64 MiB (carried by the direct request), and a SMART attribute read, with the system's share beside
// the bench's.
#include <benchmark/benchmark.h>

#include <vector>

#include "benchmarks/timed_bench.h"

namespace {

using namespace quib_benchmarks;

json nvmeBench() {
    json bridge = {
        {"id", "p"},
        {"serial", "SN-P"},
        {"family", "8500"},
        {"device_type", 7},
        {"max_transfer", 64 << 20},
        {"drive", {{"kind", "nvme"}, {"serial", "NVME-1"}, {"model", "Bench NVMe"}, {"sectors", 1 << 21}}}};
    return {
        {"system_disks", 1},
        {"controllers",
         json::array({{{"ports", {{"port_count", 4}, {"ports", {{{"port", 1}, {"bridge", bridge}}}}}}}})}};
}

// Identify controller, as a submission entry.
std::vector<std::uint8_t> identifyEntry() {
    std::vector<std::uint8_t> entry(64, 0);
    entry[0] = 0x06;
    entry[40] = 0x01;
    return entry;
}

void BM_NvmeDataInPacket(benchmark::State& state) {
    Setup setup(nvmeBench());
    if (QuibUSBLib_Function_vScanUSBPort(setup.list.get(), "0", 1) != 0) state.SkipWithError("scan failed");
    const auto entry = identifyEntry();
    std::vector<std::uint8_t> data(static_cast<std::size_t>(state.range(0)));
    g_benchNs = 0;
    std::int64_t totalNs = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        const int r = QuibUSBLib_NVMePacket_DataInPhaseCmd(0, 0, entry.data(), data.data(),
                                                           static_cast<std::uint32_t>(data.size()));
        totalNs += std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count();
        if (r != 0) state.SkipWithError("packet command failed");
    }
    reportShares(state, totalNs);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_NvmeDataInPacket)->Arg(4096)->Arg(64 << 20)->Unit(benchmark::kMicrosecond);

json sataBench() {
    json bridge = {{"id", "s"}, {"serial", "SN-S"}, {"family", "7120"}, {"drive", {{"kind", "sata"}}}};
    return {
        {"system_disks", 1},
        {"controllers",
         json::array({{{"ports", {{"port_count", 4}, {"ports", {{{"port", 1}, {"bridge", bridge}}}}}}}})}};
}

void BM_SmartAttributeRead(benchmark::State& state) {
    Setup setup(sataBench());
    if (QuibUSBLib_Function_vScanUSBPort(setup.list.get(), "0", 0) != 0) state.SkipWithError("scan failed");
    std::vector<std::uint8_t> table(512);
    g_benchNs = 0;
    std::int64_t totalNs = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        const int r = QuibUSBLib_GetSmartAttribute(0, table.data());
        totalNs += std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count();
        if (r != 0) state.SkipWithError("SMART READ DATA failed");
    }
    reportShares(state, totalNs);
}
BENCHMARK(BM_SmartAttributeRead)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
