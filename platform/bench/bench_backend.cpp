#include "platform/bench/bench_backend.h"

#include "platform/backends.h"
#include "platform/bench/bench_files.h"
#include "platform/bench/bench_ports.h"
#include "platform/bench/bench_storage_port.h"
#include "platform/host_ports.h"

namespace quib::platform {
namespace {

class BenchBackend final : public Backend {
  public:
    explicit BenchBackend(std::shared_ptr<bench::Bench> bench)
        : m_host(makeHostPorts()),
          m_files(bench, *m_host.files),
          m_registry(bench),
          m_ui(bench),
          m_clock(bench),
          m_storage(bench),
          m_usb(bench),
          m_devices(bench),
          m_volumes(bench),
          m_dialog(bench, *m_host.dialog, m_host.windowAlwaysWaits),
          m_process(bench, *m_host.process, m_files),
          m_platform{
              m_files,
              *m_host.module,
              bench->description().hostRegistry ? *m_host.registry : static_cast<Registry&>(m_registry),
              m_ui,
              m_clock,
              m_storage,
              m_usb,
              m_devices,
              m_volumes,
              m_dialog,
              m_process} {}
    Platform& platform() override { return m_platform; }
    int openHandles() const { return m_storage.openHandles(); }

  private:
    // The program on a bench is still a real process on its host: files, modules, interrupts and the
    // window's drawing are the host's own.
    HostPorts m_host;
    BenchFiles m_files;  // the host's, but for paths on a bridge volume
    BenchRegistry m_registry;
    BenchUserInterface m_ui;
    BenchClock m_clock;
    BenchStorage m_storage;
    BenchUsbTree m_usb;
    BenchDevices m_devices;
    BenchVolumes m_volumes;
    BenchDialog m_dialog;
    BenchProcess m_process;
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
