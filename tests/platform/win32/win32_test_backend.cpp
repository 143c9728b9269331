#include "tests/platform/win32/win32_test_backend.h"

#include "platform/bench/bench_backend.h"
#include "platform/win32/win32_devices.h"
#include "platform/win32/win32_storage.h"
#include "platform/win32/win32_usb_tree.h"
#include "platform/win32/win32_volumes.h"

namespace win32_test {
namespace {

namespace qp = quib::platform;

class ProgramPathModule final : public qp::Module {
  public:
    ProgramPathModule(qp::Module& inner, std::string path) : m_inner(inner), m_path(std::move(path)) {}
    std::string executablePath() override { return m_path; }
    std::optional<std::span<const std::uint8_t>> findResource(std::string_view type, int id) override {
        return m_inner.findResource(type, id);
    }
    void* loadLibrary(const std::string& path) override { return m_inner.loadLibrary(path); }
    void* findSymbol(void* library, const char* name) override { return m_inner.findSymbol(library, name); }
    bool freeLibrary(void* library) override { return m_inner.freeLibrary(library); }

  private:
    qp::Module& m_inner;
    std::string m_path;
};

class TestBackend final : public qp::Backend {
  public:
    TestBackend(std::shared_ptr<bench::Bench> bench, bool win32Devices, std::string programPath)
        : m_bench(qp::makeBenchBackend(std::move(bench))),
          m_module(m_bench->platform().module, std::move(programPath)),
          m_platform{m_bench->platform().files,
                     m_module,
                     m_bench->platform().registry,
                     m_bench->platform().ui,
                     m_bench->platform().clock,
                     win32Devices ? static_cast<qp::Storage&>(m_storage) : m_bench->platform().storage,
                     win32Devices ? static_cast<qp::UsbTree&>(m_usb) : m_bench->platform().usb,
                     win32Devices ? static_cast<qp::Devices&>(m_devices) : m_bench->platform().devices,
                     win32Devices ? static_cast<qp::Volumes&>(m_volumes) : m_bench->platform().volumes,
                     m_bench->platform().dialog,
                     m_bench->platform().process} {}
    qp::Platform& platform() override { return m_platform; }

  private:
    std::unique_ptr<qp::Backend> m_bench;
    ProgramPathModule m_module;
    qp::Win32Storage m_storage;
    qp::Win32UsbTree m_usb;
    qp::Win32Devices m_devices;
    qp::Win32Volumes m_volumes;
    qp::Platform m_platform;
};

}  // namespace

std::unique_ptr<qp::Backend> makeTestBackend(std::shared_ptr<bench::Bench> bench, bool win32Devices,
                                             std::string programPath) {
    return std::make_unique<TestBackend>(std::move(bench), win32Devices, std::move(programPath));
}

}  // namespace win32_test
