// BitBlt: rectangle copies between DCs (and the source-less raster operations), clipped at every
// edge: the destination's visible area and clip region, and the source's visible area. Pixels
// whose source lies outside the source bitmap are left untouched, as Windows leaves them.
#include <cstring>

#include "device/Trace.h"
#include "gdi32/handles.h"

using namespace gdi;

namespace {

bool NeedsSource(DWORD rop) {
  // A ternary raster operation uses the source when its result differs with S (Win32 ROP3
  // encoding: bits 16-23 are the truth table over P, S, D).
  DWORD t = (rop >> 16) & 0xFF;
  return ((t >> 2) & 0x33) != (t & 0x33);
}

uint32_t Apply(DWORD rop, uint32_t s, uint32_t d, uint32_t p) {
  switch (rop) {
    case SRCCOPY: return s;
    case NOTSRCCOPY: return ~s & 0x00FFFFFF;
    case SRCPAINT: return s | d;
    case SRCAND: return s & d;
    case SRCINVERT: return s ^ d;
    case PATCOPY: return p;
    case DSTINVERT: return ~d & 0x00FFFFFF;
    case BLACKNESS: return 0;
    case WHITENESS: return 0x00FFFFFF;
    default: return s;
  }
}

}  // namespace

BOOL WINAPI BitBlt(HDC hdc, int x, int y, int cx, int cy, HDC hdcSrc, int x1, int y1, DWORD rop) {
  TRACE_CALL("gdi32", "BitBlt hdc=%p %d,%d %dx%d src=%p %d,%d rop=%08x", static_cast<void*>(hdc), x, y,
             cx, cy, static_cast<void*>(hdcSrc), x1, y1, rop);
  bool withSource = NeedsSource(rop);
  Locked d, s;
  if (withSource) {
    if (!LockDcPair(hdc, hdcSrc, &d, &s)) return FALSE;
  } else if (!LockDc(hdc, &d)) {
    return FALSE;
  }
  // Negative extents mirror on Windows; the program never passes them, so they draw nothing here.
  if (cx <= 0 || cy <= 0 || !d.surface) return TRUE;

  RECT dst = Intersect(d.toSurface(RECT{x, y, x + cx, y + cy}), d.clip);
  if (Empty(dst)) return TRUE;
  device::Surface& ds = *d.surface;

  if (!withSource) {
    uint32_t pattern = d.dc->brush && d.dc->brush->style == BS_SOLID ? ToPixel(d.dc->brush->color) : 0;
    for (int yy = dst.top; yy < dst.bottom; ++yy) {
      uint32_t* row = ds.row(yy);
      for (int xx = dst.left; xx < dst.right; ++xx) row[xx] = Apply(rop, 0, row[xx], pattern);
    }
    d.drew();
    return TRUE;
  }

  Locked& src = s;  // resolved even when it is the destination DC (locked once)
  if (!src.surface) return TRUE;
  // Surface-to-surface offset: a destination pixel (dx, dy) reads source (dx + ox, dy + oy).
  int ox = (x1 + src.origin.x) - (x + d.origin.x);
  int oy = (y1 + src.origin.y) - (y + d.origin.y);
  RECT srcInDst{src.bounds.left - ox, src.bounds.top - oy, src.bounds.right - ox, src.bounds.bottom - oy};
  dst = Intersect(dst, srcInDst);
  if (Empty(dst)) return TRUE;
  device::Surface& ss = *src.surface;

  const size_t width = static_cast<size_t>(dst.right - dst.left);
  // Overlapping copies within one surface: walk rows so that no source row is overwritten
  // before it is read (memmove takes care of the columns).
  bool upward = (&ss == &ds) && oy < 0;
  for (int i = 0; i < dst.bottom - dst.top; ++i) {
    int yy = upward ? dst.bottom - 1 - i : dst.top + i;
    uint32_t* out = ds.row(yy) + dst.left;
    const uint32_t* in = ss.row(yy + oy) + (dst.left + ox);
    if (rop == SRCCOPY) {
      std::memmove(out, in, width * sizeof(uint32_t));
    } else {
      for (size_t k = 0; k < width; ++k) out[k] = Apply(rop, in[k], out[k], 0);
    }
  }
  d.drew();
  return TRUE;
}
