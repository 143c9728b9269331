#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <fstream>

#include "tests/frontend/recording_backend.h"

namespace quib::frontend::testing {
namespace {

class RecordingBackend final : public platform::Backend {
  public:
    platform::Platform& platform() override { return m_platform; }
    RecordingUi ui;

  private:
    std::unique_ptr<platform::Backend> m_native = platform::makeNativeBackend();
    platform::Platform& n = m_native->platform();
    platform::Platform m_platform{n.files, n.module,  n.registry, ui,       n.clock,  n.storage,
                                  n.usb,   n.devices, n.volumes,  n.dialog, n.process};
};

}  // namespace

ScopedRecordingBackend::ScopedRecordingBackend() {
    auto backend = std::make_unique<RecordingBackend>();
    m_ui = &backend->ui;
    platform::install(std::move(backend));
}

ScopedRecordingBackend::~ScopedRecordingBackend() {
    platform::install(nullptr);
}

TempFolder::TempFolder() {
    static std::atomic<int> counter{0};
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    m_path = std::filesystem::path(::testing::TempDir()) /
             ("frontend_" + std::string(info ? info->name() : "test") + "_" + std::to_string(::getpid()) +
              "_" + std::to_string(counter++));
    std::filesystem::remove_all(m_path);
    std::filesystem::create_directories(m_path);
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

std::vector<std::string> TempFolder::entries() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(m_path))
        names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

void TempFolder::write(const std::string& name, const std::string& content) const {
    std::ofstream(m_path / name, std::ios::binary) << content;
}

}  // namespace quib::frontend::testing
