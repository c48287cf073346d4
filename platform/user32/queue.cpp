// The message queue: GetMessageW, PeekMessageW, PostMessageW, SendMessageW, DispatchMessageW,
// PostQuitMessage, with Windows' retrieval order: posted messages first (FIFO), then input,
// then WM_PAINT while an update region is not empty, then WM_TIMER for due timers; a window and
// message-range filter skips what it does not pass and leaves it queued.
#include "device/Clock.h"
#include "device/Display.h"
#include "device/Trace.h"
#include "user32/user32_private.h"

namespace user32 {

MSG MakeMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  MSG m{};
  m.hwnd = hwnd;
  m.message = message;
  m.wParam = wParam;
  m.lParam = lParam;
  m.time = static_cast<DWORD>(device::Clock::now());
  return m;
}

namespace {

// PeekMessageW's and GetMessageW's filter: a window (null: any) and a range of messages
// (0, 0: all). WM_QUIT passes every filter.
struct Filter {
  HWND hwnd = nullptr;
  UINT first = 0, last = 0;
  bool window(HWND h) const {
    if (hwnd == reinterpret_cast<HWND>(-1)) return h == nullptr;  // messages for no window only
    return !hwnd || (h && HandleKey(h) == HandleKey(hwnd));
  }
  bool message(UINT m) const { return (first == 0 && last == 0) || (m >= first && m <= last); }
  bool passes(const MSG& m) const { return window(m.hwnd) && message(m.message); }
};

bool NextPaintLocked(MSG* msg, bool remove, const Filter& filter) {
  if (!filter.message(WM_PAINT)) return false;
  for (auto& [key, w] : state().windows) {
    if (!filter.window(w.handle)) continue;
    if (!w.visible || (!w.needsPaint && !w.internalPaint)) continue;
    *msg = MakeMessage(w.handle, WM_PAINT, 0, 0);
    // An internal paint is delivered once (Win32: "the system sends an internal WM_PAINT
    // message only once"); an update region keeps WM_PAINT coming until it is validated.
    if (remove) w.internalPaint = false;
    return true;
  }
  return false;
}

bool NextTimerLocked(MSG* msg, bool remove, const Filter& filter) {
  if (!filter.message(WM_TIMER)) return false;
  uint64_t now = device::Clock::now();
  State::Timer* earliest = nullptr;
  for (State::Timer& t : state().timers)
    if (t.due <= now && filter.window(t.hwnd) && (!earliest || t.due < earliest->due)) earliest = &t;
  if (!earliest) return false;
  *msg = MakeMessage(earliest->hwnd, WM_TIMER, earliest->id, reinterpret_cast<LPARAM>(earliest->proc));
  // The period restarts when the message is retrieved, as on Windows: a late timer does not
  // queue up missed ticks.
  if (remove) earliest->due = now + earliest->period;
  return true;
}

// The first message of a queue that passes the filter.
bool TakeFromLocked(std::deque<MSG>& queue, MSG* msg, bool remove, const Filter& filter) {
  for (auto it = queue.begin(); it != queue.end(); ++it) {
    if (!filter.passes(*it)) continue;
    *msg = *it;
    if (remove) queue.erase(it);
    return true;
  }
  return false;
}

bool NextFilteredLocked(MSG* msg, bool remove, const Filter& filter) {
  State& s = state();
  if (TakeFromLocked(s.postedQueue, msg, remove, filter)) return true;
  if (s.quitPosted) {
    *msg = MakeMessage(nullptr, WM_QUIT, static_cast<WPARAM>(s.quitCode), 0);
    if (remove) s.quitPosted = false;
    return true;
  }
  if (TakeFromLocked(s.inputQueue, msg, remove, filter)) return true;
  return NextPaintLocked(msg, remove, filter) || NextTimerLocked(msg, remove, filter);
}

}  // namespace

bool NextMessageLocked(MSG* msg, bool remove) { return NextFilteredLocked(msg, remove, Filter{}); }

std::optional<uint64_t> NextTimerDueLocked() {
  std::optional<uint64_t> due;
  for (const State::Timer& t : state().timers)
    if (!due || t.due < *due) due = t.due;
  return due;
}

void RunUiTasks() {
  for (;;) {
    std::function<void()> task;
    {
      std::lock_guard<std::mutex> lk(state().mutex);
      if (state().uiTasks.empty()) return;
      task = std::move(state().uiTasks.front());
      state().uiTasks.pop_front();
    }
    task();
  }
}

}  // namespace user32

using namespace user32;

BOOL WINAPI PeekMessageW(LPMSG msg, HWND hwnd, UINT first, UINT last, UINT removeFlags) {
  RunUiTasks();
  std::lock_guard<std::mutex> lk(state().mutex);
  return NextFilteredLocked(msg, (removeFlags & PM_REMOVE) != 0, Filter{hwnd, first, last}) ? TRUE : FALSE;
}

BOOL WINAPI GetMessageW(LPMSG msg, HWND hwnd, UINT first, UINT last) {
  const Filter filter{hwnd, first, last};
  for (;;) {
    RunUiTasks();
    std::unique_lock<std::mutex> lk(state().mutex);
    if (NextFilteredLocked(msg, true, filter)) return msg->message == WM_QUIT ? FALSE : TRUE;
    if (device::Clock::isVirtual()) {
      // Under the virtual clock time moves only when the headless runner (or a test) moves it:
      // an idle program hands control to the runner's next script step.
      lk.unlock();
      if (!device::RunIdleHook()) {
        lk.lock();
        if (state().postedQueue.empty() && state().inputQueue.empty() && !state().quitPosted)
          state().posted.wait(lk);
      }
      continue;
    }
    std::optional<uint64_t> due = NextTimerDueLocked();
    std::optional<uint64_t> timeout;
    if (due) {
      uint64_t now = device::Clock::now();
      timeout = *due > now ? *due - now : 0;
    }
    device::display().wait(lk, state().posted, timeout);
  }
}

BOOL WINAPI TranslateMessage(const MSG* msg) { return msg && (msg->message == WM_KEYDOWN || msg->message == WM_KEYUP); }

LRESULT WINAPI DispatchMessageW(const MSG* msg) {
  if (!msg || !msg->hwnd) return 0;
  if (msg->message == WM_TIMER && msg->lParam) {
    auto proc = reinterpret_cast<TIMERPROC>(msg->lParam);
    proc(msg->hwnd, WM_TIMER, msg->wParam, msg->time);
    return 0;
  }
  return SendMessageW(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

BOOL WINAPI PostMessageW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  {
    std::lock_guard<std::mutex> lk(state().mutex);
    Window* w = FindWindowLocked(hwnd);
    if (!w) return FALSE;
    state().postedQueue.push_back(MakeMessage(w->handle, message, wParam, lParam));
  }
  TRACE_CALL("user32", "PostMessageW hwnd=%lu msg=0x%04x wParam=%lu lParam=%ld",
             static_cast<unsigned long>(HandleKey(hwnd)), message, static_cast<unsigned long>(wParam),
             static_cast<long>(lParam));
  state().posted.notify_all();
  device::display().wake();
  return TRUE;
}

LRESULT WINAPI SendMessageW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  WNDPROC proc = nullptr;
  HWND handle = nullptr;
  {
    std::lock_guard<std::mutex> lk(state().mutex);
    Window* w = FindWindowLocked(hwnd);
    if (!w) return 0;
    proc = w->proc;
    handle = w->handle;
  }
  return proc(handle, message, wParam, lParam);
}

void WINAPI PostQuitMessage(int exitCode) {
  {
    std::lock_guard<std::mutex> lk(state().mutex);
    state().quitPosted = true;
    state().quitCode = exitCode;
  }
  TRACE_CALL("user32", "PostQuitMessage %d", exitCode);
  state().posted.notify_all();
  device::display().wake();
}

LRESULT WINAPI DefWindowProcW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  TRACE_CALL("user32", "DefWindowProcW hwnd=%lu msg=0x%04x wParam=0x%lx", static_cast<unsigned long>(HandleKey(hwnd)),
             message, static_cast<unsigned long>(wParam));
  switch (message) {
    case WM_CLOSE:
      DestroyWindow(hwnd);
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      BeginPaint(hwnd, &ps);
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;
    default:
      return 0;
  }
}

int WINAPI TranslateAcceleratorW(HWND, HACCEL table, LPMSG) {
  // No accelerator table exists in the program's resources, so nothing translates.
  (void)table;
  return 0;
}
