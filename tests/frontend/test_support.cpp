#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "tests/common/temp_path.h"
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
    m_path = quib::testing::freshTempPath("frontend");
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
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

void TempFolder::write(const std::string& name, const std::string& content) const {
    std::ofstream(m_path / name, std::ios::binary) << content;
}

}  // namespace quib::frontend::testing
