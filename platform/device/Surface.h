// A 32-bit pixel surface: the phone's screen, a window's frame, a GDI bitmap.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace device {

// Pixels are 0x00RRGGBB, rows top to bottom, no padding.
struct Surface {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;

  Surface() = default;
  Surface(int w, int h, uint32_t fill = 0x00FFFFFF)
      : width(w), height(h), pixels(static_cast<size_t>(w) * static_cast<size_t>(h), fill) {}
  uint32_t* row(int y) { return pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(width); }
  const uint32_t* row(int y) const {
    return pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(width);
  }
  uint32_t at(int x, int y) const { return row(y)[x]; }
};

// Writes the surface as an 8-bit RGB PNG (libpng); false with errno-style failure on I/O error.
bool WritePng(const Surface& surface, const std::string& path);

}  // namespace device
