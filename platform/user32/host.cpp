// user32's host side (host.h): input, work for the user-interface thread and the few questions
// the emulated phone asks about windows.
#include "user32/host.h"

#include "device/Clock.h"
#include "device/Display.h"
#include "device/Trace.h"
#include "user32/user32_private.h"

namespace user32::host {

void DeliverKey(bool down, UINT vk) {
  const UINT message = down ? WM_KEYDOWN : WM_KEYUP;
  {
    std::lock_guard<std::mutex> lk(state().mutex);
    // lParam as Windows builds it: repeat count 1; bits 30 and 31 set on key release.
    LPARAM data = down ? 1 : static_cast<LPARAM>(0xC0000001u);
    state().inputQueue.push_back(MakeMessage(state().focus, message, vk, data));
  }
  TRACE_CALL("user32", "key %s vk=0x%02x", down ? "down" : "up", vk);
  state().posted.notify_all();
}

void RunOnUiThread(std::function<void()> task) {
  {
    std::lock_guard<std::mutex> lk(state().mutex);
    state().uiTasks.push_back(std::move(task));
  }
  state().posted.notify_all();
  device::display().wake();
}

std::optional<uint64_t> NextWakeAt() {
  std::optional<uint64_t> next = device::Clock::nextEventAt();
  std::lock_guard<std::mutex> lk(state().mutex);
  std::optional<uint64_t> timer = NextTimerDueLocked();
  if (timer && (!next || *timer < *next)) next = timer;
  return next;
}

bool WaitForPosted(uint64_t realMs) {
  State& s = state();
  std::unique_lock<std::mutex> lk(s.mutex);
  return s.posted.wait_for(lk, std::chrono::milliseconds(realMs), [&] {
    return !s.postedQueue.empty() || s.quitPosted || !s.uiTasks.empty();
  });
}

HWND FindTopLevelWindow(LPCWSTR className, LPCWSTR title) { return FindLocalWindow(className, title); }

bool AnyWindowVisible() {
  std::lock_guard<std::mutex> lk(state().mutex);
  for (const auto& [key, w] : state().windows)
    if (w.visible) return true;
  return false;
}

void RepaintVisibleWindows() {
  {
    std::lock_guard<std::mutex> lk(state().mutex);
    for (auto& [key, w] : state().windows) {
      if (!w.visible) continue;
      w.needsPaint = true;
      w.update = RECT{0, 0, w.rect.right - w.rect.left, w.rect.bottom - w.rect.top};
    }
  }
  state().posted.notify_all();
}

}  // namespace user32::host
