// user32 as the emulated phone sees it: the one way in from the host side (device/). As in
// Wine, where user32 meets its display driver through one interface and input enters through
// one entry point, the phone never reads or locks the window table: it hands input over, asks
// for work on the user-interface thread, and asks these few questions about the windows.
// Everything else the phone does with windows goes through the ordinary Win32 calls
// (SetForegroundWindow, SendMessageW, GetForegroundWindow). No lock is held on entry.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>

namespace user32::host {

// A key pressed (down) or released on the phone's keypad: WM_KEYDOWN / WM_KEYUP for the focus
// window, queued as input (after posted messages, before paint and timers).
void DeliverKey(bool down, UINT vk);

// Runs task on the user-interface thread at its next message retrieval; callable from any
// thread (the single-instance path brings the window forward this way).
void RunOnUiThread(std::function<void()> task);

// The virtual clock's next stop: the earlier of the next timer and the next clock event. The
// test driver and the headless runner advance time to it.
std::optional<uint64_t> NextWakeAt();

// Waits up to realMs of real time until a message, a quit or a task has been posted from another
// thread; true when one is waiting. Retrieving and dispatching it is the caller's business.
bool WaitForPosted(uint64_t realMs);

// A top-level window of this process by class and title (null matches any); null when none.
HWND FindTopLevelWindow(LPCWSTR className, LPCWSTR title);

// Whether any window is shown; when none is, the phone shows its home screen.
bool AnyWindowVisible();

// The shell was drawn again under the windows: every shown window repaints its whole client.
void RepaintVisibleWindows();

}  // namespace user32::host
