// Reads the kernel's device tree as sysfs presents it, under a root folder ("/sys" on a running system, a
// recorded copy in tests). Paths are relative to the root; links are followed within the root.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quib::platform {

class SysfsReader {
  public:
    explicit SysfsReader(std::string root = "/sys");

    const std::string& root() const { return m_root; }
    // The full path of a path under the root.
    std::string full(const std::string& relative) const;

    // An attribute's text without its trailing line break; nothing when missing or unreadable.
    std::optional<std::string> text(const std::string& relative) const;
    // An attribute's raw bytes (binary attributes such as a USB device's "descriptors").
    std::optional<std::vector<std::uint8_t>> bytes(const std::string& relative) const;
    // An attribute holding a number in `base` (hexadecimal attributes carry no "0x" or do; both read);
    // nothing when missing or when the text is not wholly a number.
    std::optional<std::uint64_t> number(const std::string& relative, int base = 10) const;
    // Entry names of a folder, sorted; empty when it is missing.
    std::vector<std::string> entries(const std::string& relative) const;
    bool exists(const std::string& relative) const;
    // The path, relative to the root, that a path resolves to once its links are followed; nothing when
    // it does not resolve inside the root.
    std::optional<std::string> resolve(const std::string& relative) const;
    // The last component of a link's target (a driver's or a class's name).
    std::optional<std::string> linkName(const std::string& relative) const;
    // Writes an attribute (a control file such as "delete"); false with errno set on failure.
    bool write(const std::string& relative, const std::string& value) const;

  private:
    std::string m_root;
};

// The parent folder of a relative path ("" for a top-level name).
std::string parentOf(const std::string& relative);
// The last component of a path.
std::string baseName(const std::string& relative);

}  // namespace quib::platform
