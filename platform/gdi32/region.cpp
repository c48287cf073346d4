// Rectangular regions and the clip region. The program only clips to one rectangle at a time
// (the results and history screens), so a region here is one rectangle.
#include "device/Trace.h"
#include "gdi32/handles.h"

using namespace gdi;

HRGN WINAPI CreateRectRgn(int x1, int y1, int x2, int y2) {
  // Windows normalises the corners.
  RECT r{std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)};
  if (Empty(r)) r = RECT{0, 0, 0, 0};
  return static_cast<HRGN>(Insert(std::make_shared<RegionObj>(r)));
}

HRGN WINAPI CreateRectRgnIndirect(const RECT* lprect) {
  if (!lprect) return nullptr;
  return CreateRectRgn(lprect->left, lprect->top, lprect->right, lprect->bottom);
}

int WINAPI SelectClipRgn(HDC hdc, HRGN hrgn) {
  auto dc = Get<DcObj>(hdc);
  if (!dc) return ERROR;
  if (!hrgn) {
    // A null region removes clipping: the whole DC is drawable again.
    std::lock_guard lk(dc->mu);
    dc->clip.reset();
    TRACE_CALL("gdi32", "SelectClipRgn hdc=%p none", static_cast<void*>(hdc));
    return SIMPLEREGION;
  }
  auto rgn = Get<RegionObj>(hrgn);
  if (!rgn) return ERROR;
  // The DC keeps a copy: the caller may delete the region right after (the results screen does).
  std::lock_guard lk(dc->mu);
  dc->clip = rgn->rect;
  TRACE_CALL("gdi32", "SelectClipRgn hdc=%p (%d,%d)-(%d,%d)", static_cast<void*>(hdc), rgn->rect.left,
             rgn->rect.top, rgn->rect.right, rgn->rect.bottom);
  return Empty(rgn->rect) ? NULLREGION : SIMPLEREGION;
}

int WINAPI GetClipBox(HDC hdc, LPRECT lprect) {
  Locked l;
  if (!lprect || !LockDc(hdc, &l)) return ERROR;
  RECT c = l.surface ? l.clip : RECT{0, 0, 0, 0};
  if (Empty(c)) {
    *lprect = RECT{0, 0, 0, 0};
    return NULLREGION;
  }
  *lprect = RECT{c.left - l.origin.x, c.top - l.origin.y, c.right - l.origin.x, c.bottom - l.origin.y};
  return SIMPLEREGION;
}
