// Painting: RedrawWindow, InvalidateRect, GetUpdateRect, BeginPaint, EndPaint, GetDC.
#include "device/Screen.h"
#include "device/Trace.h"
#include "user32/user32_private.h"

namespace user32 {
namespace {

RECT ClientOf(const Window& w) { return RECT{0, 0, w.rect.right - w.rect.left, w.rect.bottom - w.rect.top}; }

void AddToUpdate(Window& w, const RECT* rect) {
  RECT client = ClientOf(w);
  RECT add = client;
  if (rect) IntersectRect(&add, rect, &client);
  if (IsRectEmpty(&add)) return;
  if (w.needsPaint) UnionRect(&w.update, &w.update, &add);
  else w.update = add;
  w.needsPaint = true;
}

}  // namespace
}  // namespace user32

using namespace user32;

BOOL WINAPI RedrawWindow(HWND hwnd, const RECT* rect, HRGN, UINT flags) {
  {
    std::lock_guard<std::mutex> lk(state().mutex);
    Window* w = FindWindowLocked(hwnd);
    if (!w) return FALSE;
    if (flags & RDW_INVALIDATE) AddToUpdate(*w, rect);
    if (flags & RDW_INTERNALPAINT) w->internalPaint = true;
    if (flags & RDW_VALIDATE) w->needsPaint = false;
    if (flags & RDW_NOINTERNALPAINT) w->internalPaint = false;
  }
  TRACE_CALL("user32", "RedrawWindow hwnd=%lu flags=%u", static_cast<unsigned long>(HandleKey(hwnd)), flags);
  state().posted.notify_all();
  if (flags & RDW_UPDATENOW) UpdateWindow(hwnd);
  return TRUE;
}

BOOL WINAPI InvalidateRect(HWND hwnd, const RECT* rect, BOOL) {
  std::lock_guard<std::mutex> lk(state().mutex);
  Window* w = FindWindowLocked(hwnd);
  if (!w) return FALSE;
  AddToUpdate(*w, rect);
  state().posted.notify_all();
  return TRUE;
}

BOOL WINAPI ValidateRect(HWND hwnd, const RECT*) {
  std::lock_guard<std::mutex> lk(state().mutex);
  Window* w = FindWindowLocked(hwnd);
  if (!w) return FALSE;
  w->needsPaint = false;
  return TRUE;
}

BOOL WINAPI GetUpdateRect(HWND hwnd, LPRECT rect, BOOL) {
  std::lock_guard<std::mutex> lk(state().mutex);
  Window* w = FindWindowLocked(hwnd);
  if (!w) return FALSE;
  // An internal paint alone leaves the update region empty (the program then draws nothing).
  if (rect) *rect = w->needsPaint ? w->update : RECT{0, 0, 0, 0};
  return w->needsPaint ? TRUE : FALSE;
}

HDC WINAPI BeginPaint(HWND hwnd, LPPAINTSTRUCT ps) {
  if (!ps) return nullptr;
  *ps = PAINTSTRUCT{};
  {
    std::lock_guard<std::mutex> lk(state().mutex);
    Window* w = FindWindowLocked(hwnd);
    if (!w) return nullptr;
    ps->rcPaint = w->needsPaint ? w->update : RECT{0, 0, 0, 0};
    // BeginPaint validates the update region and ends an internal paint.
    w->needsPaint = false;
    w->internalPaint = false;
  }
  ps->hdc = device::CreateWindowDC(hwnd);
  TRACE_CALL("user32", "BeginPaint hwnd=%lu rect=%d,%d,%d,%d", static_cast<unsigned long>(HandleKey(hwnd)),
             ps->rcPaint.left, ps->rcPaint.top, ps->rcPaint.right, ps->rcPaint.bottom);
  return ps->hdc;
}

BOOL WINAPI EndPaint(HWND hwnd, const PAINTSTRUCT* ps) {
  if (!ps) return FALSE;
  if (ps->hdc) device::ReleaseWindowDC(ps->hdc);
  device::ScreenChanged();
  return TRUE;
}

HDC WINAPI GetDC(HWND hwnd) {
  {
    std::lock_guard<std::mutex> lk(state().mutex);
    if (!FindWindowLocked(hwnd)) return nullptr;
  }
  return device::CreateWindowDC(hwnd);
}

int WINAPI ReleaseDC(HWND, HDC hdc) {
  if (!hdc) return 0;
  device::ReleaseWindowDC(hdc);
  device::ScreenChanged();
  return 1;
}
