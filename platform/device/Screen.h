// The emulated phone's display and the contract between user32 (windows) and gdi32 (drawing).
#pragma once

#include <windows.h>

#include "device/Surface.h"

namespace device {

// The whole phone display (profile size): status bar, windows, menu bar. Only the
// user-interface thread draws into it, through GDI device contexts of windows.
Surface& screen();

// Implemented by user32: the window's client area in screen pixels, clipped to the screen.
// False when the handle names no window or the window is hidden (then nothing is drawn).
bool WindowClientOnScreen(HWND hwnd, RECT* clientOnScreen);

// Implemented by gdi32: a device context that draws into the window's client area on the
// screen (origin at the client's top-left, clipped to it). Used by GetDC and BeginPaint.
HDC CreateWindowDC(HWND hwnd);
void ReleaseWindowDC(HDC hdc);

// Tells the display backend that the screen changed (presented at the next frame).
void ScreenChanged();

}  // namespace device
