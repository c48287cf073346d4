// Helpers of the gdi32 pixel tests: read a DC's bitmap, and write it out as a PNG when it is not
// what was expected.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "device/Surface.h"
#include "gdi32/handles.h"

namespace testpix {

// The pixels of the bitmap selected into a memory DC.
inline device::Surface Pixels(HDC hdc) {
  device::Surface s;
  gdi::CopyBitmapSurface(static_cast<HBITMAP>(GetCurrentObject(hdc, OBJ_BITMAP)), &s);
  return s;
}

// Writes the picture beside the test's binary for a person to look at; returns the path.
inline std::string Dump(const device::Surface& s, const std::string& name) {
  const char* dir = std::getenv("MELODEX_BINARY_DIR");
  std::string path = std::string(dir ? dir : ".") + "/" + name + ".png";
  device::WritePng(s, path);
  return path;
}

// A memory DC holding a new w x h bitmap filled with one colour; deleted with Release.
struct Canvas {
  HDC dc = nullptr;
  HBITMAP bmp = nullptr;
  HGDIOBJ old = nullptr;
  Canvas(int w, int h, COLORREF fill = RGB(255, 255, 255)) {
    dc = CreateCompatibleDC(nullptr);
    bmp = CreateCompatibleBitmap(dc, w, h);
    old = SelectObject(dc, bmp);
    RECT r{0, 0, w, h};
    HBRUSH b = CreateSolidBrush(fill);
    FillRect(dc, &r, b);
    DeleteObject(b);
  }
  ~Canvas() {
    SelectObject(dc, old);
    DeleteObject(bmp);
    DeleteDC(dc);
  }
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;
  uint32_t at(int x, int y) const { return gdi::ToPixel(GetPixel(dc, x, y)); }
  // How many pixels have the value v.
  long count(uint32_t v) const {
    const device::Surface s = Pixels(dc);
    return std::count(s.pixels.begin(), s.pixels.end(), v);
  }
};

}  // namespace testpix
