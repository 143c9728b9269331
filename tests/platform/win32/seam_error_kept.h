// What the bench's stand-in for Windows shares between its files.
#pragma once

#include <string>

#include "platform/backends.h"
#include "platform/platform.h"
#include "platform/win32/win32_device_headers.h"

namespace win32_test {

// Runs a bench port; the seam's last error it sets is handed over in `error` and the seam's own value
// is put back, so only what the code under test does reaches the seam.
class SeamErrorKept {
  public:
    SeamErrorKept() : m_saved(quib::platform::lastError()) {}
    ~SeamErrorKept() { quib::platform::setLastError(m_saved); }
    DWORD portError() const { return quib::platform::lastError(); }

  private:
    std::uint32_t m_saved;
};

inline std::string narrow(LPCWSTR text) {
    return quib::platform::wideToUtf8(text ? std::wstring_view(text) : std::wstring_view());
}

}  // namespace win32_test
