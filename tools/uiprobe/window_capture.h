// A picture of a window as it stands on screen, frame included.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <vector>

namespace quib::uiprobe {

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;  // top row first, 0x00RRGGBB

    std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

// Copies the window's surface (its window DC); asks the window to draw itself (PrintWindow) only when
// that copy fails. Nothing when the window is gone or has no size.
std::optional<Picture> captureWindow(HWND window);

// 0x00RRGGBB of a COLORREF (0x00BBGGRR).
constexpr std::uint32_t pixelOf(COLORREF colour) {
    return ((colour & 0xFF) << 16) | (colour & 0xFF00) | ((colour >> 16) & 0xFF);
}

}  // namespace quib::uiprobe
