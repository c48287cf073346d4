// Pens and lines: CreatePen, MoveToEx, LineTo, drawn as Windows draws them:
//  - a 1-pixel line is Bresenham's, with Windows' rounding: where the ideal line passes exactly
//    half-way between two pixels, lines drawn in the octants 3, 5, 6 and 8 (counted clockwise
//    from +x, y down) take the other pixel, so that a line and its reverse cover the same
//    pixels; the end point is not drawn and becomes the current position;
//  - a wider pen draws the segment's outline as a polygon of the pen's width, filled with the
//    top-left rule, plus a round cap at each end (the pen's default PS_ENDCAP_ROUND), the cap
//    being the pixel ellipse Windows makes for CreateEllipticRgn of the pen's box.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

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

namespace {

// Fills pixels [x0, x1) of row y (DC coordinates), cut at the clip.
struct Painter {
  const Locked& l;
  uint32_t pixel;
  void span(int y, int x0, int x1) const {
    const RECT& c = l.clip;
    int sy = y + l.origin.y;
    if (sy < c.top || sy >= c.bottom) return;
    int from = std::max<int>(x0 + l.origin.x, c.left), to = std::min<int>(x1 + l.origin.x, c.right);
    uint32_t* row = l.surface->row(sy);
    for (int x = from; x < to; ++x) row[x] = pixel;
  }
};

void ThinLine(const Painter& p, POINT from, POINT to) {
  const int dx = to.x - from.x, dy = to.y - from.y;
  const int adx = std::abs(dx), ady = std::abs(dy);
  const bool xMajor = adx > ady;
  // The octant, clockwise from +x: 1/2 right-down, 3/4 left-down, 5/6 left-up, 7/8 right-up.
  int octant;
  if (dy > 0) octant = dx > 0 ? (xMajor ? 1 : 2) : (xMajor ? 4 : 3);
  else octant = dx < 0 ? (xMajor ? 5 : 6) : (xMajor ? 8 : 7);
  const int bias = (octant == 3 || octant == 5 || octant == 6 || octant == 8) ? 1 : 0;
  const int xStep = dx > 0 ? 1 : -1, yStep = dy > 0 ? 1 : -1;
  const int major = xMajor ? adx : ady, minor = xMajor ? ady : adx;
  int x = from.x, y = from.y;
  int err = 2 * minor - major;
  for (int i = 0; i < major; ++i) {
    p.span(y, x, x + 1);
    bool stepMinor = err + bias > 0;
    err += stepMinor ? 2 * minor - 2 * major : 2 * minor;
    if (xMajor) {
      x += xStep;
      if (stepMinor) y += yStep;
    } else {
      y += yStep;
      if (stepMinor) x += xStep;
    }
  }
}

// Fills a polygon with the top-left rule: row y takes the pixels x with ceil(left edge) <= x <
// ceil(right edge), the edges' crossings of the line through the pixels' top-left corners,
// for the rows from an edge's top vertex down to (not including) its bottom one.
void FillPolygon(const Painter& p, const POINT* pts, int n) {
  int top = pts[0].y, bottom = pts[0].y;
  for (int i = 1; i < n; ++i) top = std::min<int>(top, pts[i].y), bottom = std::max<int>(bottom, pts[i].y);
  std::vector<int> xs;
  for (int y = top; y < bottom; ++y) {
    xs.clear();
    for (int i = 0; i < n; ++i) {
      POINT a = pts[i], b = pts[(i + 1) % n];
      if (a.y == b.y) continue;
      if (a.y > b.y) std::swap(a, b);
      if (y < a.y || y >= b.y) continue;
      // ceil(a.x + (y - a.y) * (b.x - a.x) / (b.y - a.y)) in integers.
      long num = static_cast<long>(y - a.y) * (b.x - a.x), den = b.y - a.y;
      long q = num / den;
      if (num % den != 0 && num > 0) ++q;
      xs.push_back(static_cast<int>(a.x + q));
    }
    std::sort(xs.begin(), xs.end());
    for (size_t i = 0; i + 1 < xs.size(); i += 2) p.span(y, xs[i], xs[i + 1]);
  }
}

// The round cap: the rows of the ellipse in the box [left, right) x [top, bottom) as Windows
// builds an elliptic region (its right and bottom edges exclusive, one pixel in from the box).
void FillCap(const Painter& p, POINT at, int width) {
  const int left = at.x - width / 2, top = at.y - width / 2;
  const int right = at.x + (width + 1) / 2, bottom = at.y + (width + 1) / 2;
  const int w = right - left, h = bottom - top;
  if (w < 2 || h < 2) {
    for (int y = top; y < bottom; ++y) p.span(y, left, right);
    return;
  }
  // The quarter ellipse by the midpoint criterion, from the middle row outwards; the upper
  // rows mirror the lower ones.
  std::vector<int> inset(static_cast<size_t>(h), 0);
  const long long a = w - 1, b = h - 1;
  long long dx = 4 * b * b * (1 - a), dy = 4 * a * a * (1 + b % 2);
  long long err = dx + dy + a * a * (b % 2);
  int x = 0, row = h / 2;
  while (x <= w / 2) {
    long long e2 = 2 * err;
    if (e2 >= dx) {
      ++x;
      dx += 8 * b * b;
      err += dx;
    }
    if (e2 <= dy) {
      ++row;
      dy += 8 * a * a;
      err += dy;
      if (row < h) inset[static_cast<size_t>(row)] = x;
    }
  }
  for (int i = 0; i < h / 2; ++i) inset[static_cast<size_t>(i)] = inset[static_cast<size_t>(b - i)];
  for (int i = 0; i < h; ++i) p.span(top + i, left + inset[static_cast<size_t>(i)], right - inset[static_cast<size_t>(i)]);
}

double RoundHalfAway(double v) { return v > 0 ? std::floor(v + 0.5) : std::ceil(v - 0.5); }

void WideLine(const Painter& p, POINT from, POINT to, int width) {
  FillCap(p, from, width);
  FillCap(p, to, width);
  const int dx = to.x - from.x, dy = to.y - from.y;
  if (dx == 0 && dy == 0) return;
  if (dy == 0) {
    for (int y = from.y - width / 2; y < from.y - width / 2 + width; ++y)
      p.span(y, std::min<int>(from.x, to.x), std::max<int>(from.x, to.x));
    return;
  }
  if (dx == 0) {
    for (int y = std::min<int>(from.y, to.y); y < std::max<int>(from.y, to.y); ++y)
      p.span(y, from.x - width / 2, from.x - width / 2 + width);
    return;
  }
  // The segment's outline: the pen's width across the line, split into a narrow and a wide
  // half (the odd pixel on the wide side), mirrored by the direction of travel.
  const double length = std::hypot(dx, dy);
  const double acrossX = width * std::abs(dy) / length, acrossY = width * std::abs(dx) / length;
  POINT narrow{static_cast<LONG>(RoundHalfAway(acrossX / 2)), static_cast<LONG>(RoundHalfAway(acrossY / 2))};
  POINT wide{static_cast<LONG>(RoundHalfAway((acrossX + 1) / 2)), static_cast<LONG>(RoundHalfAway((acrossY + 1) / 2))};
  if (dx < 0) {
    wide.y = -wide.y;
    narrow.y = -narrow.y;
  }
  if (dy < 0) {
    std::swap(narrow, wide);
    wide.x = -wide.x;
    narrow.x = -narrow.x;
  }
  const POINT outline[4] = {{from.x - narrow.x, from.y + narrow.y},
                            {from.x + wide.x, from.y - wide.y},
                            {to.x + wide.x, to.y - wide.y},
                            {to.x - narrow.x, to.y + narrow.y}};
  FillPolygon(p, outline, 4);
}

}  // namespace

BOOL WINAPI LineTo(HDC hdc, int x, int y) {
  Locked l;
  if (!LockDc(hdc, &l)) return FALSE;
  TRACE_CALL("gdi32", "LineTo hdc=%p (%d,%d)-(%d,%d)", static_cast<void*>(hdc), l.dc->pos.x, l.dc->pos.y, x, y);
  POINT from = l.dc->pos;
  l.dc->pos = POINT{x, y};
  const auto& pen = l.dc->pen;
  if (!l.surface || !pen || pen->style == PS_NULL) return TRUE;
  Painter painter{l, ToPixel(pen->color)};
  if (pen->width <= 1) ThinLine(painter, from, POINT{x, y});
  else WideLine(painter, from, POINT{x, y}, pen->width);
  l.drew();
  return TRUE;
}
