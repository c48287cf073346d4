// Window classes and windows: RegisterClassW, CreateWindowExW, ShowWindow, MoveWindow,
// rectangles, foreground and activation.
#include <algorithm>
#include <vector>

#include "device/Device.h"
#include "device/Screen.h"
#include "device/Shell.h"
#include "device/Trace.h"
#include "user32/user32_private.h"

namespace user32 {
namespace {

std::u16string Lower(const std::u16string& s) {
  std::u16string out = s;
  for (char16_t& c : out) c = towlower(c);
  return out;
}

std::u16string Str(LPCWSTR s) { return s ? std::u16string(s) : std::u16string(); }

// Where a top-level window with CW_USEDEFAULT goes: from below the status bar to the bottom of
// the screen. As on Windows Mobile the soft-key menu bar belongs to an application that creates
// one, and the default area leaves it no room: applications with a menu bar shrink themselves.
RECT DefaultWindowArea() {
  const device::Profile& p = device::options().profile;
  return RECT{0, device::kStatusBarHeight, p.width, p.height};
}

}  // namespace

State& state() {
  static State* s = new State();  // never destroyed: worker threads may post after main returns
  return *s;
}

uintptr_t HandleKey(HWND hwnd) { return reinterpret_cast<uintptr_t>(hwnd) & ~uintptr_t{3}; }

Window* FindWindowLocked(HWND hwnd) {
  auto it = state().windows.find(HandleKey(hwnd));
  return it == state().windows.end() ? nullptr : &it->second;
}

// The windows in the order they were last active, most recent first: where activation goes
// when the active window is destroyed. Guarded by state().mutex.
std::vector<HWND>& ActivationOrder() {
  static std::vector<HWND>* order = new std::vector<HWND>();
  return *order;
}

void Activate(HWND hwnd) {
  HWND previous = nullptr;
  {
    std::lock_guard<std::mutex> lk(state().mutex);
    Window* w = FindWindowLocked(hwnd);
    if (!w || state().foreground == w->handle) return;
    previous = state().foreground;
    state().foreground = w->handle;
    state().focus = w->handle;
    auto& order = ActivationOrder();
    order.erase(std::remove(order.begin(), order.end(), w->handle), order.end());
    order.insert(order.begin(), w->handle);
  }
  // The window losing activation hears it first.
  if (previous) SendMessageW(previous, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(hwnd));
  TRACE_CALL("user32", "WM_ACTIVATE hwnd=%lu WA_ACTIVE", static_cast<unsigned long>(HandleKey(hwnd)));
  SendMessageW(hwnd, WM_ACTIVATE, WA_ACTIVE, reinterpret_cast<LPARAM>(previous));
}

}  // namespace user32

using namespace user32;

ATOM WINAPI RegisterClassW(const WNDCLASSW* wc) {
  if (!wc || !wc->lpszClassName || !wc->lpfnWndProc) return 0;
  std::lock_guard<std::mutex> lk(state().mutex);
  std::u16string key = Lower(wc->lpszClassName);
  if (state().classes.count(key)) return 0;  // ERROR_CLASS_ALREADY_EXISTS on Windows
  state().classes[key] = WindowClass{wc->lpszClassName, *wc};
  TRACE_CALL("user32", "RegisterClassW style=%u", wc->style);
  return static_cast<ATOM>(0xC000 + state().classes.size());
}

HWND WINAPI CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x,
                            int y, int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                            LPVOID param) {
  HWND hwnd = nullptr;
  RECT rect{};
  {
    std::lock_guard<std::mutex> lk(state().mutex);
    auto cls = state().classes.find(Lower(Str(className)));
    if (cls == state().classes.end()) return nullptr;
    RECT work = DefaultWindowArea();
    rect.left = x == CW_USEDEFAULT ? work.left : x;
    rect.top = x == CW_USEDEFAULT ? work.top : y;
    rect.right = rect.left + (width == CW_USEDEFAULT ? work.right - work.left : width);
    rect.bottom = rect.top + (width == CW_USEDEFAULT ? work.bottom - work.top : height);
    Window w;
    w.handle = reinterpret_cast<HWND>(state().nextHandle);
    state().nextHandle += 4;
    w.className = cls->second.name;
    w.title = Str(windowName);
    w.proc = cls->second.wc.lpfnWndProc;
    w.instance = instance;
    w.style = style;
    w.rect = rect;
    hwnd = w.handle;
    state().windows[HandleKey(hwnd)] = w;
  }
  TRACE_CALL("user32", "CreateWindowExW hwnd=%lu rect=%d,%d,%d,%d", static_cast<unsigned long>(HandleKey(hwnd)),
             rect.left, rect.top, rect.right, rect.bottom);
  // WM_CREATE is sent during the call, before it returns (the program goes full screen then).
  CREATESTRUCTW cs{param, instance, menu, parent, height, width, y, x, static_cast<LONG>(style), windowName,
                   className, exStyle};
  if (SendMessageW(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
    DestroyWindow(hwnd);
    return nullptr;
  }
  device::RegisterWindowForOtherProcesses(hwnd);
  if (style & WS_VISIBLE) ShowWindow(hwnd, SW_SHOW);
  return hwnd;
}

BOOL WINAPI DestroyWindow(HWND hwnd) {
  bool active = false;
  HWND next = nullptr;
  {
    std::lock_guard<std::mutex> lk(state().mutex);
    Window* w = FindWindowLocked(hwnd);
    if (!w) return FALSE;
    active = state().foreground == w->handle;
    auto& order = ActivationOrder();
    order.erase(std::remove(order.begin(), order.end(), w->handle), order.end());
    if (active) {
      // Activation passes to the window that was active before, if it is still shown.
      for (HWND h : order) {
        Window* candidate = FindWindowLocked(h);
        if (candidate && candidate->visible) {
          next = candidate->handle;
          break;
        }
      }
      state().foreground = nullptr;
      state().focus = nullptr;
    }
  }
  // The active window is deactivated, and the next one activated, before WM_DESTROY.
  if (active) SendMessageW(hwnd, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(next));
  if (next) Activate(next);
  SendMessageW(hwnd, WM_DESTROY, 0, 0);
  std::lock_guard<std::mutex> lk(state().mutex);
  uintptr_t key = HandleKey(hwnd);
  state().windows.erase(key);
  auto& timers = state().timers;
  timers.erase(std::remove_if(timers.begin(), timers.end(), [&](auto& t) { return HandleKey(t.hwnd) == key; }),
               timers.end());
  if (state().foreground && HandleKey(state().foreground) == key) state().foreground = nullptr;
  if (state().focus && HandleKey(state().focus) == key) state().focus = nullptr;
  return TRUE;
}

namespace user32 {

HWND FindLocalWindow(LPCWSTR className, LPCWSTR windowName) {
  std::lock_guard<std::mutex> lk(state().mutex);
  for (auto& [key, w] : state().windows) {
    if (className && Lower(w.className) != Lower(className)) continue;
    // Neither the class nor the title is compared case-sensitively.
    if (windowName && Lower(w.title) != Lower(windowName)) continue;
    return w.handle;
  }
  return nullptr;
}

}  // namespace user32

HWND WINAPI FindWindowW(LPCWSTR className, LPCWSTR windowName) {
  if (HWND local = FindLocalWindow(className, windowName)) {
    TRACE_CALL("user32", "FindWindowW found hwnd=%lu", static_cast<unsigned long>(HandleKey(local)));
    return local;
  }
  // FindWindowW also sees the window of another melodex process on the same root.
  HWND remote = device::FindWindowInOtherProcess(Str(className), Str(windowName));
  TRACE_CALL("user32", "FindWindowW %s", remote ? "found a window of another process" : "found nothing");
  return remote;
}

BOOL WINAPI SetForegroundWindow(HWND hwnd) {
  TRACE_CALL("user32", "SetForegroundWindow hwnd=0x%lx", static_cast<unsigned long>(reinterpret_cast<uintptr_t>(hwnd)));
  if (device::IsOtherProcessWindow(hwnd)) return device::BringOtherProcessWindowForward(hwnd) ? TRUE : FALSE;
  {
    std::lock_guard<std::mutex> lk(state().mutex);
    if (!FindWindowLocked(hwnd)) return FALSE;
  }
  Activate(hwnd);
  return TRUE;
}

HWND WINAPI GetForegroundWindow(void) {
  std::lock_guard<std::mutex> lk(state().mutex);
  return state().foreground;
}

namespace {

// A visible window's place on the screen and paint state, kept across the shell's redraw.
struct Kept {
  HWND handle;
  RECT from, to;  // where its pixels are, and where they go
  bool needsPaint, internalPaint;
  RECT update;
  std::vector<uint32_t> pixels;
};

// Redraws the shell after a window was shown, hidden or moved (device::LayoutChanged, which
// asks every window for a full repaint) while the other visible windows keep their pixels and
// update regions, as Windows keeps what is not uncovered. The uncovered part of the screen is
// added to the update region of each window it falls in. `moved` (when not null) is carried
// from its old rectangle to its new one the same way.
void Relayout(HWND changed, const RECT& uncovered, HWND moved = nullptr, RECT movedFrom = RECT{}) {
  std::vector<Kept> kept;
  {
    std::lock_guard<std::mutex> lk(state().mutex);
    for (auto& [key, w] : state().windows) {
      if (!w.visible || (w.handle == changed && w.handle != moved)) continue;
      RECT from = w.handle == moved ? movedFrom : w.rect;
      kept.push_back(Kept{w.handle, from, w.rect, w.needsPaint, w.internalPaint, w.update, {}});
    }
  }
  device::Surface& screen = device::screen();
  auto inside = [&](int x, int y) { return x >= 0 && y >= 0 && x < screen.width && y < screen.height; };
  for (Kept& k : kept) {
    const int width = k.from.right - k.from.left, height = k.from.bottom - k.from.top;
    k.pixels.assign(static_cast<size_t>(std::max(width, 0)) * static_cast<size_t>(std::max(height, 0)), 0);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        if (inside(k.from.left + x, k.from.top + y))
          k.pixels[static_cast<size_t>(y * width + x)] = screen.row(k.from.top + y)[k.from.left + x];
  }
  device::LayoutChanged();
  for (const Kept& k : kept) {
    const int width = k.from.right - k.from.left;
    const int w = std::min(width, static_cast<int>(k.to.right - k.to.left));
    const int h = std::min(static_cast<int>(k.from.bottom - k.from.top), static_cast<int>(k.to.bottom - k.to.top));
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        if (inside(k.to.left + x, k.to.top + y))
          screen.row(k.to.top + y)[k.to.left + x] = k.pixels[static_cast<size_t>(y * width + x)];
  }
  std::lock_guard<std::mutex> lk(state().mutex);
  for (const Kept& k : kept) {
    Window* w = FindWindowLocked(k.handle);
    if (!w) continue;
    w->needsPaint = k.needsPaint;
    w->internalPaint = k.internalPaint;
    w->update = k.update;
    if (k.handle == moved) continue;
    RECT part;
    if (!IntersectRect(&part, &uncovered, &w->rect)) continue;
    OffsetRect(&part, -w->rect.left, -w->rect.top);
    if (w->needsPaint) UnionRect(&w->update, &w->update, &part);
    else w->update = part;
    w->needsPaint = true;
  }
}

}  // namespace

BOOL WINAPI ShowWindow(HWND hwnd, int cmd) {
  bool wasVisible = false;
  RECT place{};
  bool show = cmd != SW_HIDE;
  bool activate = show && cmd != SW_SHOWNA && cmd != SW_SHOWNOACTIVATE && cmd != SW_SHOWMINIMIZED &&
                  cmd != SW_MINIMIZE;
  {
    std::lock_guard<std::mutex> lk(state().mutex);
    Window* w = FindWindowLocked(hwnd);
    if (!w) return FALSE;
    wasVisible = w->visible;
    place = w->rect;
    w->visible = show;
    if (show && !wasVisible) {
      w->needsPaint = true;
      w->update = RECT{0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top};
    }
    // Hiding sends no WM_ACTIVATE; the phone shows its home screen.
    if (!show && state().foreground == w->handle) state().foreground = nullptr;
  }
  TRACE_CALL("user32", "ShowWindow hwnd=%lu cmd=%d", static_cast<unsigned long>(HandleKey(hwnd)), cmd);
  // A window shown covers the others; one hidden uncovers its place.
  if (show != wasVisible) Relayout(hwnd, show ? RECT{} : place);
  if (activate) Activate(hwnd);
  return wasVisible ? TRUE : FALSE;
}

BOOL WINAPI UpdateWindow(HWND hwnd) {
  {
    std::lock_guard<std::mutex> lk(state().mutex);
    Window* w = FindWindowLocked(hwnd);
    if (!w) return FALSE;
    if (!w->visible || !w->needsPaint) return TRUE;
  }
  // Sends WM_PAINT straight to the window procedure when the update region is not empty.
  SendMessageW(hwnd, WM_PAINT, 0, 0);
  return TRUE;
}

BOOL WINAPI BringWindowToTop(HWND hwnd) {
  std::lock_guard<std::mutex> lk(state().mutex);
  TRACE_CALL("user32", "BringWindowToTop hwnd=%lu", static_cast<unsigned long>(HandleKey(hwnd)));
  return FindWindowLocked(hwnd) ? TRUE : FALSE;
}

// MoveWindow as Windows moves a window: its pixels move with it, and only a repaint asks for
// painting: all of the client area when the size changed in a direction the class redraws
// on (CS_HREDRAW, CS_VREDRAW), else just the newly uncovered part. A move to the same
// rectangle does nothing.
BOOL WINAPI MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint) {
  const RECT to{x, y, x + width, y + height};
  RECT from{};
  bool visible = false;
  UINT classStyle = 0;
  {
    std::lock_guard<std::mutex> lk(state().mutex);
    Window* w = FindWindowLocked(hwnd);
    if (!w) return FALSE;
    from = w->rect;
    if (from.left == to.left && from.top == to.top && from.right == to.right && from.bottom == to.bottom) return TRUE;
    w->rect = to;
    visible = w->visible;
    auto cls = state().classes.find(Lower(w->className));
    if (cls != state().classes.end()) classStyle = cls->second.wc.style;
  }
  TRACE_CALL("user32", "MoveWindow hwnd=%lu %d,%d %dx%d repaint=%d", static_cast<unsigned long>(HandleKey(hwnd)), x,
             y, width, height, repaint);
  if (!visible) return TRUE;

  // The window's pixels move with it; the other windows are repainted where it uncovered them.
  Relayout(hwnd, from, hwnd, from);
  const int oldWidth = from.right - from.left, oldHeight = from.bottom - from.top;
  {
    std::lock_guard<std::mutex> lk(state().mutex);
    Window* w = FindWindowLocked(hwnd);
    if (!w) return TRUE;
    const bool redrawAll = ((classStyle & CS_HREDRAW) && width != oldWidth) || ((classStyle & CS_VREDRAW) && height != oldHeight);
    RECT uncovered{};
    if (repaint && redrawAll) {
      uncovered = RECT{0, 0, width, height};
    } else if (repaint) {
      // What the old client area did not cover: the bounding box of the strips to the right
      // and below.
      RECT right = width > oldWidth ? RECT{oldWidth, 0, width, height} : RECT{};
      RECT below = height > oldHeight ? RECT{0, oldHeight, width, height} : RECT{};
      UnionRect(&uncovered, &right, &below);
    }
    if (!IsRectEmpty(&uncovered)) {
      if (w->needsPaint) UnionRect(&w->update, &w->update, &uncovered);
      else w->update = uncovered;
      w->needsPaint = true;
    }
  }
  state().posted.notify_all();
  device::ScreenChanged();
  return TRUE;
}

BOOL WINAPI GetClientRect(HWND hwnd, LPRECT rect) {
  std::lock_guard<std::mutex> lk(state().mutex);
  Window* w = FindWindowLocked(hwnd);
  if (!w || !rect) return FALSE;
  // The program's window has no caption or border (WS_VISIBLE only), so the client area is the
  // whole window.
  *rect = RECT{0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top};
  return TRUE;
}

BOOL WINAPI GetWindowRect(HWND hwnd, LPRECT rect) {
  std::lock_guard<std::mutex> lk(state().mutex);
  Window* w = FindWindowLocked(hwnd);
  if (!w || !rect) return FALSE;
  *rect = w->rect;
  return TRUE;
}

BOOL WINAPI IsWindow(HWND hwnd) {
  std::lock_guard<std::mutex> lk(state().mutex);
  return FindWindowLocked(hwnd) ? TRUE : FALSE;
}

BOOL WINAPI IsWindowVisible(HWND hwnd) {
  std::lock_guard<std::mutex> lk(state().mutex);
  Window* w = FindWindowLocked(hwnd);
  return w && w->visible ? TRUE : FALSE;
}

int WINAPI GetSystemMetrics(int index) {
  const device::Profile& p = device::options().profile;
  if (index == SM_CXSCREEN) return p.width;
  if (index == SM_CYSCREEN) return p.height;
  return 0;
}

namespace device {

bool WindowClientOnScreen(HWND hwnd, RECT* clientOnScreen) {
  std::lock_guard<std::mutex> lk(user32::state().mutex);
  user32::Window* w = user32::FindWindowLocked(hwnd);
  if (!w || !w->visible) return false;
  *clientOnScreen = w->rect;
  return true;
}

}  // namespace device
