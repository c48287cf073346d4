// Window device contexts (device/Screen.h): the DC GetDC and BeginPaint hand out, drawing into
// the phone's screen at the window's client area. This file alone refers to the screen and to
// user32's WindowClientOnScreen, so that gdi32's tests link without user32.
#include "device/Screen.h"
#include "device/Trace.h"
#include "gdi32/handles.h"

namespace device {

HDC CreateWindowDC(HWND hwnd) {
  auto dc = std::make_shared<gdi::DcObj>();
  gdi::InitDcDefaults(*dc);
  // The client area is asked again at every call, so the DC follows MoveWindow (the program keeps
  // its window DC for the life of the process while GoFullScreen resizes the window).
  dc->window = gdi::WindowTarget{hwnd, &WindowClientOnScreen, &screen, &ScreenChanged};
  HGDIOBJ h = gdi::Insert(dc);
  if (!h) return nullptr;
  for (HGDIOBJ o : {dc->brushHandle, dc->penHandle, dc->fontHandle}) gdi::AddSelection(o);
  TRACE_CALL("gdi32", "CreateWindowDC hwnd=%p -> %p", static_cast<void*>(hwnd), h);
  return static_cast<HDC>(h);
}

void ReleaseWindowDC(HDC hdc) {
  auto dc = gdi::Get<gdi::DcObj>(hdc);
  if (!dc || !dc->window) return;
  {
    std::lock_guard lk(dc->mu);
    gdi::ReleaseDcSelections(*dc);
  }
  gdi::Remove(hdc);
  TRACE_CALL("gdi32", "ReleaseWindowDC %p", static_cast<void*>(hdc));
}

}  // namespace device
