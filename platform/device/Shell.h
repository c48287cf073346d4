// The emulated phone's shell around the program's window: the status bar, the home screen with
// its soft-key menu bar shown while no window is, and the single-instance path between two
// melodex processes on the same device root.
#pragma once

#include <windows.h>

#include <string>

namespace device {

// Redraws the shell (bars and home screen) under the windows after a window was shown, hidden
// or moved, and invalidates the visible windows so that they paint over it.
void LayoutChanged();

// Makes a top-level window findable by FindWindowW in other processes on the same root.
void RegisterWindowForOtherProcesses(HWND hwnd);
// Asks the other melodex process on this root for a window; null when none answers. The handle
// returned names that window here (IsOtherProcessWindow).
HWND FindWindowInOtherProcess(const std::u16string& className, const std::u16string& title);
bool IsOtherProcessWindow(HWND hwnd);
// Asks the owning process to bring its window to the front (SetForegroundWindow).
bool BringOtherProcessWindowForward(HWND hwnd);

}  // namespace device
