// Helpers of the gdi32 pixel tests (after Wine's dlls/gdi32/tests/dib.c): read a DC's bitmap,
// hash it, and write it out as a PNG when it is not what was expected.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstdio>
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

// FNV-1a over the pixels (and the size).
inline uint64_t Hash(const device::Surface& s) {
  uint64_t h = 1469598103934665603ull;
  auto mix = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) {
      h ^= (v >> (8 * i)) & 0xFF;
      h *= 1099511628211ull;
    }
  };
  mix(static_cast<uint32_t>(s.width));
  mix(static_cast<uint32_t>(s.height));
  for (uint32_t p : s.pixels) mix(p);
  return h;
}

// Writes the picture beside the test's binary for a person to look at; returns the path.
inline std::string Dump(const device::Surface& s, const std::string& name) {
  const char* dir = std::getenv("MELODEX_BINARY_DIR");
  std::string path = std::string(dir ? dir : ".") + "/" + name + ".png";
  device::WritePng(s, path);
  return path;
}

// Checks a hash; on a mismatch writes the picture and reports where.
inline ::testing::AssertionResult MatchesHash(const device::Surface& s, uint64_t expected, const std::string& name) {
  uint64_t got = Hash(s);
  if (got == expected) return ::testing::AssertionSuccess();
  std::string path = Dump(s, name);
  char buf[64];
  std::snprintf(buf, sizeof buf, "0x%016llx", static_cast<unsigned long long>(got));
  return ::testing::AssertionFailure() << name << ": hash " << buf << ", picture written to " << path;
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
};

}  // namespace testpix
