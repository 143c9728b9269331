#include "tools/uiprobe/window_capture.h"

#include <cstring>

namespace quib::uiprobe {
namespace {

// A 32-bit top-down DIB section the size of the window, selected into a memory DC.
class Canvas {
  public:
    Canvas(int width, int height) : m_dc(::CreateCompatibleDC(nullptr)) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        m_bitmap = ::CreateDIBSection(m_dc, &info, DIB_RGB_COLORS, &m_bits, nullptr, 0);
        if (m_bitmap) m_previous = ::SelectObject(m_dc, m_bitmap);
    }
    ~Canvas() {
        if (m_bitmap) {
            ::SelectObject(m_dc, m_previous);
            ::DeleteObject(m_bitmap);
        }
        ::DeleteDC(m_dc);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    bool ok() const { return m_bitmap != nullptr; }
    HDC dc() const { return m_dc; }
    const std::uint32_t* bits() const { return static_cast<const std::uint32_t*>(m_bits); }

  private:
    HDC m_dc;
    HBITMAP m_bitmap = nullptr;
    HGDIOBJ m_previous = nullptr;
    void* m_bits = nullptr;
};

}  // namespace

std::optional<Picture> captureWindow(HWND window) {
    RECT frame;
    if (!::IsWindow(window) || !::GetWindowRect(window, &frame)) return std::nullopt;
    Picture picture;
    picture.width = frame.right - frame.left;
    picture.height = frame.bottom - frame.top;
    if (picture.width <= 0 || picture.height <= 0) return std::nullopt;

    Canvas canvas(picture.width, picture.height);
    if (!canvas.ok()) return std::nullopt;
    // The window's own surface, frame included. PrintWindow only where that fails: under Wine it asks the
    // window to draw into a DC that a window of another process cannot reach, and leaves children out.
    HDC surface = ::GetWindowDC(window);
    const BOOL copied =
        surface && ::BitBlt(canvas.dc(), 0, 0, picture.width, picture.height, surface, 0, 0, SRCCOPY);
    if (surface) ::ReleaseDC(window, surface);
    if (!copied && !::PrintWindow(window, canvas.dc(), 0)) return std::nullopt;
    ::GdiFlush();
    picture.pixels.resize(static_cast<std::size_t>(picture.width) * picture.height);
    std::memcpy(picture.pixels.data(), canvas.bits(), picture.pixels.size() * sizeof(std::uint32_t));
    for (std::uint32_t& pixel : picture.pixels) pixel &= 0x00FFFFFF;
    return picture;
}

}  // namespace quib::uiprobe
