// Pens and lines: CreatePen, MoveToEx, LineTo. Lines are drawn with Bresenham's algorithm and,
// as on Windows, LineTo draws up to but not including its end point, which becomes the
// current position.
#include <cstdlib>

#include "device/Trace.h"
#include "gdi32/handles.h"

using namespace gdi;

HPEN WINAPI CreatePen(int iStyle, int cWidth, COLORREF color) {
  // Windows treats width 0 as 1 pixel; dashed styles are drawn solid here (the program uses none).
  if (iStyle < PS_SOLID || iStyle > PS_NULL) return nullptr;
  HGDIOBJ h = Insert(std::make_shared<PenObj>(iStyle, cWidth <= 0 ? 1 : cWidth, color & 0x00FFFFFF));
  TRACE_CALL("gdi32", "CreatePen style=%d width=%d color=%06x -> %p", iStyle, cWidth, color, h);
  return static_cast<HPEN>(h);
}

BOOL WINAPI MoveToEx(HDC hdc, int x, int y, LPPOINT lppt) {
  auto dc = Get<DcObj>(hdc);
  if (!dc) return FALSE;
  std::lock_guard lk(dc->mu);
  if (lppt) *lppt = dc->pos;
  dc->pos = POINT{x, y};
  return TRUE;
}

BOOL WINAPI LineTo(HDC hdc, int x, int y) {
  Locked l;
  if (!LockDc(hdc, &l)) return FALSE;
  TRACE_CALL("gdi32", "LineTo hdc=%p (%d,%d)-(%d,%d)", static_cast<void*>(hdc), l.dc->pos.x, l.dc->pos.y, x, y);
  POINT from = l.dc->pos;
  l.dc->pos = POINT{x, y};
  const auto& pen = l.dc->pen;
  if (!l.surface || !pen || pen->style == PS_NULL) return TRUE;

  uint32_t pixel = ToPixel(pen->color);
  const RECT c = l.clip;
  device::Surface& s = *l.surface;
  // A wide pen is approximated by a square of the pen's width around each point.
  int half = (pen->width - 1) / 2;
  int extent = pen->width;
  auto plot = [&](int px, int py) {
    px += l.origin.x - half;
    py += l.origin.y - half;
    for (int yy = py; yy < py + extent; ++yy) {
      if (yy < c.top || yy >= c.bottom) continue;
      uint32_t* row = s.row(yy);
      for (int xx = px; xx < px + extent; ++xx)
        if (xx >= c.left && xx < c.right) row[xx] = pixel;
    }
  };

  int x0 = from.x, y0 = from.y;
  int dx = std::abs(x - x0), dy = -std::abs(y - y0);
  int sx = x0 < x ? 1 : -1, sy = y0 < y ? 1 : -1;
  int err = dx + dy;
  while (x0 != x || y0 != y) {  // the end point itself is excluded
    plot(x0, y0);
    int e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x0 += sx;
    }
    if (e2 <= dx) {
      err += dx;
      y0 += sy;
    }
  }
  l.drew();
  return TRUE;
}
