// Bitmaps: CreateCompatibleBitmap, single pixels, and the internal surface API aygshell uses.
#include "device/Trace.h"
#include "gdi32/handles.h"

namespace gdi {

HBITMAP CreateBitmapFromSurface(device::Surface surface) {
  if (surface.width <= 0 || surface.height <= 0) return nullptr;
  return static_cast<HBITMAP>(Insert(std::make_shared<BitmapObj>(std::move(surface))));
}

bool CopyBitmapSurface(HBITMAP bitmap, device::Surface* out) {
  auto bmp = Get<BitmapObj>(bitmap);
  if (!bmp) return false;
  *out = bmp->surface;
  return true;
}

}  // namespace gdi

using namespace gdi;

namespace {
// Larger bitmaps are refused rather than risking an unbounded allocation (a 4096 x 4096
// picture is 64 MB of 32-bit pixels; the phone's biggest surface is 320 x 320).
constexpr long long kMaxBitmapPixels = 4096LL * 4096LL;
}  // namespace

HBITMAP WINAPI CreateCompatibleBitmap(HDC hdc, int cx, int cy) {
  // Windows gives a 1x1 bitmap for a zero size and a device-format one otherwise. Known
  // difference: Windows makes a *monochrome* bitmap when hdc is a memory DC still holding its
  // default bitmap; every bitmap here is 32-bit (the program asks the window DC, as it should).
  if (!Get<DcObj>(hdc) || cx < 0 || cy < 0) return nullptr;
  if (static_cast<long long>(cx) * cy > kMaxBitmapPixels) return nullptr;
  if (cx == 0 || cy == 0) cx = cy = 1;
  // New bitmaps are black, as the contents of a new compatible bitmap on Windows are undefined
  // but in practice zeroed.
  HGDIOBJ h = Insert(std::make_shared<BitmapObj>(cx, cy, 0x00000000));
  TRACE_CALL("gdi32", "CreateCompatibleBitmap hdc=%p %dx%d -> %p", static_cast<void*>(hdc), cx, cy, h);
  return static_cast<HBITMAP>(h);
}

COLORREF WINAPI GetPixel(HDC hdc, int x, int y) {
  Locked l;
  if (!LockDc(hdc, &l) || !l.surface) return CLR_INVALID;
  int sx = x + l.origin.x, sy = y + l.origin.y;
  if (sx < l.clip.left || sx >= l.clip.right || sy < l.clip.top || sy >= l.clip.bottom) return CLR_INVALID;
  return ToColorRef(l.surface->at(sx, sy));
}

COLORREF WINAPI SetPixel(HDC hdc, int x, int y, COLORREF color) {
  Locked l;
  if (!LockDc(hdc, &l) || !l.surface) return static_cast<COLORREF>(-1);
  int sx = x + l.origin.x, sy = y + l.origin.y;
  if (sx < l.clip.left || sx >= l.clip.right || sy < l.clip.top || sy >= l.clip.bottom)
    return static_cast<COLORREF>(-1);
  l.surface->row(sy)[sx] = ToPixel(color);
  l.drew();
  return color & 0x00FFFFFF;
}
