// Test helpers: an in-process backend whose user interface records message boxes and debug lines (files
// and the module loader stay native), and a temporary folder.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/backends.h"

namespace quib::frontend::testing {

struct RecordingUi final : platform::UserInterface {
    struct Box {
        std::string text, caption;
        std::uint32_t style;
    };
    int messageBox(const std::string& text, const std::string& caption, std::uint32_t style) override {
        boxes.push_back({text, caption, style});
        return platform::kIdOk;
    }
    void debugOutput(std::string_view text) override { debugLines.emplace_back(text); }
    std::vector<Box> boxes;
    std::vector<std::string> debugLines;
};

// Installed for the lifetime of the object.
class ScopedRecordingBackend {
  public:
    ScopedRecordingBackend();
    ~ScopedRecordingBackend();
    RecordingUi& ui() { return *m_ui; }

  private:
    RecordingUi* m_ui;
};

// A fresh folder under the test temporary folder, removed at the end.
class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    const std::filesystem::path& path() const { return m_path; }
    std::vector<std::string> entries() const;  // sorted bare names
    void write(const std::string& name, const std::string& content) const;

  private:
    std::filesystem::path m_path;
};

}  // namespace quib::frontend::testing
