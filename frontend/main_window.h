// The program's window as the run drives it: shown only in dialog mode; in silent mode nothing is drawn.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace quib::frontend {

inline constexpr std::uint32_t kStatusRed = platform::rgb(255, 0, 0);
inline constexpr std::uint32_t kBarGreen = platform::rgb(0, 150, 75);
inline constexpr std::uint32_t kBarRed = platform::rgb(255, 50, 50);

class MainWindow {
  public:
    void setVisible(bool bVisible) { m_bVisible = bVisible; }
    bool visible() const { return m_bVisible; }

    void caption(std::wstring_view text);
    void status(std::wstring_view text);
    void statusColour(std::uint32_t colour);
    void progressRange(int low, int high, int step);
    void progress(int position);
    void barColour(std::uint32_t colour);
    // The closing lines, before the window waits.
    void summary(const std::vector<std::wstring>& lines);
    // Until OK (platform::kIdOk) or the close button (platform::kIdCancel); OK when not visible.
    int showUntilClosed();

  private:
    bool m_bVisible = true;
};

}  // namespace quib::frontend
