// Time on Windows.
#pragma once

#include "platform/platform.h"

namespace quib::platform {

class Win32Clock final : public Clock {
  public:
    std::uint64_t tickMs() override;
    std::int64_t unixSeconds() override;
    std::int64_t performanceFrequency() override;
    std::int64_t performanceCounter() override;
    void sleepMs(std::uint32_t ms) override;
};

}  // namespace quib::platform
