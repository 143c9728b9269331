// An in-memory bench installed as the platform, with every call into a device port timed: the counters
// report the system's share ("system_us") beside the bench's ("bench_us"), per iteration.
#pragma once

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>

#include "bench/bench.h"
#include "common/log/debug_log.h"
#include "devcore/frame/library_objects.h"
#include "include/quibusb.h"
#include "platform/bench/bench_backend.h"

namespace quib_benchmarks {

using nlohmann::json;
using Clock = std::chrono::steady_clock;

inline std::int64_t g_benchNs = 0;

// Times every call of a device port.
struct Timed {
    Clock::time_point start = Clock::now();
    ~Timed() {
        g_benchNs += std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count();
    }
};

class TimedStorage final : public quib::platform::Storage {
  public:
    explicit TimedStorage(quib::platform::Storage& inner) : m(inner) {}
    quib::platform::DeviceHandle open(const std::string& p, std::uint32_t a) override {
        Timed t;
        return m.open(p, a);
    }
    void close(quib::platform::DeviceHandle h) override {
        Timed t;
        m.close(h);
    }
    quib::platform::ScsiResult scsiPassThrough(quib::platform::DeviceHandle h,
                                               quib::records::ScsiPassThroughWithBuffers& r, std::uint32_t in,
                                               std::uint32_t out) override {
        Timed t;
        return m.scsiPassThrough(h, r, in, out);
    }
    quib::platform::ScsiResult scsiPassThroughDirect(quib::platform::DeviceHandle h,
                                                     quib::records::ScsiPassThroughDirect& r,
                                                     std::span<std::uint8_t> d) override {
        Timed t;
        return m.scsiPassThroughDirect(h, r, d);
    }
    std::optional<quib::platform::StorageDeviceNumber> deviceNumber(quib::platform::DeviceHandle h) override {
        Timed t;
        return m.deviceNumber(h);
    }
    std::optional<quib::platform::StorageDescriptor> storageDescriptor(
        quib::platform::DeviceHandle h) override {
        Timed t;
        return m.storageDescriptor(h);
    }
    std::optional<quib::platform::DriveGeometry> driveGeometry(quib::platform::DeviceHandle h) override {
        Timed t;
        return m.driveGeometry(h);
    }
    quib::platform::ScsiResult ataPassThroughDirect(quib::platform::DeviceHandle h,
                                                    quib::platform::AtaRequest& request,
                                                    std::span<std::uint8_t> data) override {
        Timed t;
        return m.ataPassThroughDirect(h, request, data);
    }

  private:
    quib::platform::Storage& m;
};

class TimedUsb final : public quib::platform::UsbTree {
  public:
    explicit TimedUsb(quib::platform::UsbTree& inner) : m(inner) {}
    std::optional<std::string> hcdDriverKeyName(quib::platform::DeviceHandle c) override {
        Timed t;
        return m.hcdDriverKeyName(c);
    }
    std::optional<std::string> rootHubName(quib::platform::DeviceHandle c) override {
        Timed t;
        return m.rootHubName(c);
    }
    std::optional<std::uint32_t> hubPortCount(quib::platform::DeviceHandle h) override {
        Timed t;
        return m.hubPortCount(h);
    }
    std::optional<quib::platform::NodeConnectionInfo> connectionInfo(quib::platform::DeviceHandle h,
                                                                     std::uint32_t p) override {
        Timed t;
        return m.connectionInfo(h, p);
    }
    std::optional<std::string> connectionName(quib::platform::DeviceHandle h, std::uint32_t p) override {
        Timed t;
        return m.connectionName(h, p);
    }
    std::optional<std::string> connectionDriverKeyName(quib::platform::DeviceHandle h,
                                                       std::uint32_t p) override {
        Timed t;
        return m.connectionDriverKeyName(h, p);
    }
    std::optional<std::vector<std::uint8_t>> descriptorFromConnection(
        quib::platform::DeviceHandle h, std::uint32_t p, const quib::platform::SetupPacket& r) override {
        Timed t;
        return m.descriptorFromConnection(h, p, r);
    }

  private:
    quib::platform::UsbTree& m;
};

class TimedDevices final : public quib::platform::Devices {
  public:
    explicit TimedDevices(quib::platform::Devices& inner) : m(inner) {}
    std::vector<quib::platform::DeviceInterface> interfaces(const std::string& g) override {
        Timed t;
        return m.interfaces(g);
    }
    std::vector<quib::platform::DeviceNode> allDevices() override {
        Timed t;
        return m.allDevices();
    }
    std::optional<std::string> descriptionByDriverKey(const std::string& k) override {
        Timed t;
        return m.descriptionByDriverKey(k);
    }
    std::optional<std::string> hardwareIdByDriverKey(const std::string& k) override {
        Timed t;
        return m.hardwareIdByDriverKey(k);
    }
    bool requestEject(const std::string& i) override {
        Timed t;
        return m.requestEject(i);
    }

  private:
    quib::platform::Devices& m;
};

class TimedClock final : public quib::platform::Clock {
  public:
    explicit TimedClock(quib::platform::Clock& inner) : m(inner) {}
    std::uint64_t tickMs() override {
        Timed t;
        return m.tickMs();
    }
    std::int64_t unixSeconds() override { return m.unixSeconds(); }
    std::int64_t performanceFrequency() override { return m.performanceFrequency(); }
    std::int64_t performanceCounter() override { return m.performanceCounter(); }
    void sleepMs(std::uint32_t ms) override {
        Timed t;
        m.sleepMs(ms);
    }

  private:
    quib::platform::Clock& m;
};

// The program file in a temporary folder: the library's working files go there.
class FolderModule final : public quib::platform::Module {
  public:
    FolderModule(quib::platform::Module& inner, std::string path) : m(inner), m_path(std::move(path)) {}
    std::string executablePath() override { return m_path; }
    std::optional<std::span<const std::uint8_t>> findResource(std::string_view t, int id) override {
        return m.findResource(t, id);
    }
    void* loadLibrary(const std::string& p) override { return m.loadLibrary(p); }
    void* findSymbol(void* l, const char* n) override { return m.findSymbol(l, n); }
    bool freeLibrary(void* l) override { return m.freeLibrary(l); }

  private:
    quib::platform::Module& m;
    std::string m_path;
};

class TimedBackend final : public quib::platform::Backend {
  public:
    TimedBackend(std::shared_ptr<bench::Bench> bench, const std::string& programPath)
        : m_inner(quib::platform::makeBenchBackend(std::move(bench))),
          n(m_inner->platform()),
          m_module(n.module, programPath),
          m_storage(n.storage),
          m_usb(n.usb),
          m_devices(n.devices),
          m_clock(n.clock),
          m_platform{n.files, m_module,  n.registry, n.ui,     m_clock,  m_storage,
                     m_usb,   m_devices, n.volumes,  n.dialog, n.process} {}
    quib::platform::Platform& platform() override { return m_platform; }

  private:
    std::unique_ptr<quib::platform::Backend> m_inner;
    quib::platform::Platform& n;
    FolderModule m_module;
    TimedStorage m_storage;
    TimedUsb m_usb;
    TimedDevices m_devices;
    TimedClock m_clock;
    quib::platform::Platform m_platform;
};

struct Setup {
    std::filesystem::path folder;
    std::shared_ptr<bench::Bench> bench;
    std::unique_ptr<USBDevListExp> list = std::make_unique<USBDevListExp>();

    explicit Setup(const json& description) {
        folder = std::filesystem::temp_directory_path() / ("quib-benchmark-" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder);
        bench = bench::Bench::fromJson(description);
        quib::devcore::testing::reset();
        quib::platform::install(std::make_unique<TimedBackend>(bench, (folder / "KRV610xFWUpg").string()));
        quib::log::setLevel(0);
    }
    ~Setup() {
        quib::devcore::testing::reset();
        quib::platform::install(nullptr);
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
};

inline void reportShares(benchmark::State& state, std::int64_t totalNs) {
    const double iterations = static_cast<double>(state.iterations());
    state.counters["bench_us"] = static_cast<double>(g_benchNs) / 1000.0 / iterations;
    state.counters["system_us"] = static_cast<double>(totalNs - g_benchNs) / 1000.0 / iterations;
}

}  // namespace quib_benchmarks
