// Speed of the Linux ports over the sysfs tree recorded in the end-to-end guest: every query reads sysfs
// afresh, so a walk of the USB tree and a disk lookup cost what their sysfs reads cost.
#include <benchmark/benchmark.h>

#include "platform/linux/linux_devices.h"

namespace {

using namespace quib::platform;

// What discovery asks of the ports while it walks the tree: controllers, root hubs, every port, the hub
// behind port 1 and every port of it, with driver keys and descriptions of what is connected.
void BM_LinuxUsbTreeWalk(benchmark::State& state) {
    LinuxDevices d({QUIB_GUEST_SYSFS, "/nonexistent-dev"});
    for (auto _ : state) {
        std::size_t connected = 0;
        for (const auto& controller : d.interfaces(kGuidUsbHostController)) {
            const DeviceHandle hc = d.open(controller.devicePath, kAccessRead | kAccessWrite);
            benchmark::DoNotOptimize(d.descriptionByDriverKey(*d.hcdDriverKeyName(hc)));
            std::vector<std::string> hubs = {"\\\\.\\" + *d.rootHubName(hc)};
            while (!hubs.empty()) {
                const DeviceHandle hub = d.open(hubs.back(), kAccessRead | kAccessWrite);
                hubs.pop_back();
                const auto ports = d.hubPortCount(hub);
                for (std::uint32_t port = 1; ports && port <= *ports; ++port) {
                    const auto info = d.connectionInfo(hub, port);
                    if (!info || info->status != ConnectionStatus::DeviceConnected) continue;
                    ++connected;
                    if (info->deviceIsHub)
                        hubs.push_back("\\\\?\\" + *d.connectionName(hub, port));
                    else
                        benchmark::DoNotOptimize(
                            d.descriptionByDriverKey(*d.connectionDriverKeyName(hub, port)));
                }
                d.close(hub);
            }
            d.close(hc);
        }
        if (connected != 3) state.SkipWithError("the recorded tree has a hub and two bridges");
    }
}
BENCHMARK(BM_LinuxUsbTreeWalk)->Unit(benchmark::kMillisecond);

// What discovery asks of one disk: its interface, its number and its storage descriptor.
void BM_LinuxDiskLookup(benchmark::State& state) {
    LinuxDevices d({QUIB_GUEST_SYSFS, "/nonexistent-dev"});
    for (auto _ : state) {
        for (const auto& disk : d.interfaces(kGuidDiskInterface)) {
            const DeviceHandle h = d.open(disk.devicePath, kAccessNone);
            benchmark::DoNotOptimize(d.deviceNumber(h));
            benchmark::DoNotOptimize(d.storageDescriptor(h));
            d.close(h);
        }
    }
}
BENCHMARK(BM_LinuxDiskLookup)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
