// user32's private header: the window table, the message queue and the timers, shared by the
// files of this folder only. The emulated phone reaches user32 through user32/host.h.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace user32 {

struct WindowClass {
  std::u16string name;
  WNDCLASSW wc{};
};

struct Window {
  HWND handle = nullptr;
  std::u16string className;
  std::u16string title;
  WNDPROC proc = nullptr;
  HINSTANCE instance = nullptr;
  DWORD style = 0;
  RECT rect{};          // window rectangle in screen coordinates
  bool visible = false;
  // The update region, kept as its bounding rectangle in client coordinates; the whole client
  // is what the program ever invalidates, so a rectangle loses nothing.
  bool needsPaint = false;
  RECT update{};
  bool internalPaint = false;  // RDW_INTERNALPAINT with an empty update region
};

// The one user-interface thread's state. The program has one such thread, so the
// queue is process-wide; PostMessageW reaches it from any thread.
struct State {
  std::mutex mutex;
  std::condition_variable posted;  // notified on every post, input and quit
  std::deque<MSG> postedQueue;
  std::deque<MSG> inputQueue;
  bool quitPosted = false;
  int quitCode = 0;
  std::map<std::u16string, WindowClass> classes;  // key: lower-case class name
  std::map<uintptr_t, Window> windows;
  uintptr_t nextHandle = 0x10;  // small values, spaced by 4 so that (handle | 1) names the same window
  std::deque<std::function<void()>> uiTasks;
  HWND foreground = nullptr;
  HWND focus = nullptr;
  struct Timer {
    HWND hwnd;
    UINT_PTR id;
    UINT period;
    uint64_t due;
    TIMERPROC proc;
  };
  std::vector<Timer> timers;
};

State& state();

// Handle value to window; (handle | 1) names the same window (the program's second copy brings the
// first forward with it). Lock held.
Window* FindWindowLocked(HWND hwnd);
uintptr_t HandleKey(HWND hwnd);
// A window of this process by class and title (null matches any); no lock held.
HWND FindLocalWindow(LPCWSTR className, LPCWSTR windowName);

// A message stamped with the device clock's time.
MSG MakeMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// Retrieves the next message in Windows' order — posted, quit, input, paint, timer — without
// waiting. Lock held.
bool NextMessageLocked(MSG* msg, bool remove);
// The earliest due time of any timer, for the virtual clock's stepping. Lock held.
std::optional<uint64_t> NextTimerDueLocked();

// Sends WM_ACTIVATE to a window that has just become the foreground window.
void Activate(HWND hwnd);

// Runs the platform's own work that other threads hand to the user-interface thread
// (host::RunOnUiThread). Called from the message retrieval loop.
void RunUiTasks();

}  // namespace user32
