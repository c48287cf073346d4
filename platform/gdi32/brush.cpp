// Brushes and FillRect.
#include <algorithm>

#include "device/Trace.h"
#include "gdi32/handles.h"

using namespace gdi;

HBRUSH WINAPI CreateSolidBrush(COLORREF color) {
  HGDIOBJ h = Insert(std::make_shared<BrushObj>(BS_SOLID, color & 0x00FFFFFF));
  TRACE_CALL("gdi32", "CreateSolidBrush color=%06x -> %p", color, h);
  return static_cast<HBRUSH>(h);
}

namespace {

// FillRect accepts a system colour index + 1 in place of a brush (COLOR_WINDOW + 1 …); these
// are the classic Windows defaults for the few a window class uses.
bool SystemColorBrush(HBRUSH hbr, COLORREF* color) {
  auto v = reinterpret_cast<uintptr_t>(hbr);
  if (v == 0 || v > 31) return false;
  switch (v - 1) {
    case 0: *color = RGB(192, 192, 192); return true;   // COLOR_SCROLLBAR
    case 4: *color = RGB(255, 255, 255); return true;   // COLOR_MENU
    case 5: *color = RGB(255, 255, 255); return true;   // COLOR_WINDOW
    case 6: *color = RGB(0, 0, 0); return true;         // COLOR_WINDOWFRAME
    case 7: *color = RGB(0, 0, 0); return true;         // COLOR_MENUTEXT
    case 8: *color = RGB(0, 0, 0); return true;         // COLOR_WINDOWTEXT
    case 15: *color = RGB(192, 192, 192); return true;  // COLOR_BTNFACE
    default: *color = RGB(255, 255, 255); return true;
  }
}

}  // namespace

int WINAPI FillRect(HDC hDC, const RECT* lprc, HBRUSH hbr) {
  if (!lprc) return 0;
  COLORREF color = 0;
  if (!SystemColorBrush(hbr, &color)) {
    auto brush = Get<BrushObj>(hbr);
    if (!brush) return 0;
    if (brush->style == BS_NULL) return 1;
    color = brush->color;
  }
  Locked l;
  if (!LockDc(hDC, &l)) return 0;
  TRACE_CALL("gdi32", "FillRect hdc=%p (%d,%d)-(%d,%d) color=%06x", static_cast<void*>(hDC),
             lprc->left, lprc->top, lprc->right, lprc->bottom, color);
  if (!l.surface) return 1;
  // The right and bottom edges are excluded, as on Windows. The fill is a pattern blit of the
  // signed extent from (left, top): inverted corners fill from right + 1 to left + 1, the
  // mirror image, excluding what a normal rectangle would include.
  auto span = [](LONG from, LONG to) { return from <= to ? std::pair{from, to} : std::pair{to + 1, from + 1}; };
  auto [left, right] = span(lprc->left, lprc->right);
  auto [top, bottom] = span(lprc->top, lprc->bottom);
  RECT rect{left, top, right, bottom};
  RECT r = Intersect(l.toSurface(rect), l.clip);
  if (Empty(r)) return 1;
  FillSurface(*l.surface, r, ToPixel(color));
  l.drew();
  return 1;
}
