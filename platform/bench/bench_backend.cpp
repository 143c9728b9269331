#include "platform/bench/bench_backend.h"

#include "platform/backends.h"
#include "platform/bench/bench_ports.h"
#include "platform/bench/bench_storage_port.h"
#include "platform/linux/linux_files.h"
#include "platform/linux/linux_module.h"
#include "platform/linux/linux_process.h"

namespace quib::platform {
namespace {

class BenchBackend final : public Backend {
  public:
    explicit BenchBackend(std::shared_ptr<bench::Bench> bench)
        : m_registry(bench),
          m_ui(bench),
          m_clock(bench),
          m_storage(bench),
          m_usb(bench),
          m_devices(bench),
          m_volumes(bench),
          m_dialog(bench),
          m_platform{m_files, m_module,  m_registry, m_ui,     m_clock,  m_storage,
                     m_usb,   m_devices, m_volumes,  m_dialog, m_process} {}
    Platform& platform() override { return m_platform; }
    int openHandles() const { return m_storage.openHandles(); }

  private:
    LinuxFileSystem m_files;
    LinuxModule m_module;
    BenchRegistry m_registry;
    BenchUserInterface m_ui;
    BenchClock m_clock;
    BenchStorage m_storage;
    BenchUsbTree m_usb;
    BenchDevices m_devices;
    BenchVolumes m_volumes;
    BenchDialog m_dialog;
    // The program on a bench is still a real process: interrupts are handled as on Linux.
    LinuxProcess m_process;
    Platform m_platform;
};

}  // namespace

int benchOpenHandles(const Backend& backend) {
    const auto* bench = dynamic_cast<const BenchBackend*>(&backend);
    return bench ? bench->openHandles() : -1;
}

std::unique_ptr<Backend> makeBenchBackend(std::shared_ptr<bench::Bench> bench) {
    return std::make_unique<BenchBackend>(std::move(bench));
}

std::unique_ptr<Backend> makeBenchBackend(const std::string& benchFolder) {
    // bench::BenchError is a std::runtime_error whose message names bench.json and the fault.
    return makeBenchBackend(bench::Bench::openFolder(benchFolder));
}

}  // namespace quib::platform
