// The window procedure and its helpers GoFullScreen, PaintCurrentScreen,
// DispatchKeyUp.
#include <windows.h>

#include <aygshell.h>
#include <mmsystem.h>

#include "app/AppState.h"
#include "app/MainWindow.h"
#include "app/MelodexScreen.h"
#include "app/RecordingRoute.h"
#include "app/WorkerRequests.h"

// The full-screen request's flag, "hide the input-panel button" (value 8).
#define FULL_SCREEN_FLAGS SHFS_HIDESIPBUTTON

// The rectangle's right and bottom edges are passed as the width and height: the window grows
// downwards by its own top offset and covers the soft-key area of the shell.
BOOL GoFullScreen(HWND hWnd) {
  RECT window;
  GetWindowRect(hWnd, &window);
  MoveWindow(hWnd, window.left, window.top, window.right, window.bottom, TRUE);
  SHFullScreen(hWnd, FULL_SCREEN_FLAGS);
  return TRUE;
}

LRESULT PaintCurrentScreen(HWND hWnd) {
  // An empty update region paints nothing.
  if (!GetUpdateRect(hWnd, NULL, FALSE)) return 0;
  PAINTSTRUCT ps;
  if (BeginPaint(hWnd, &ps) == NULL) return 0;
  RECT client;
  GetClientRect(g_hWnd, &client);
  MelodexScreen* screen = CurrentScreen();
  if (screen != NULL) screen->paint(&ps, &client);
  EndPaint(hWnd, &ps);
  return 0;
}

LRESULT DispatchKeyUp(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  // The Talk key and the volume keys never reach a screen.
  if (wParam == VK_F3 || wParam == VK_VOLUME_UP || wParam == VK_VOLUME_DOWN)
    return DefWindowProcW(hWnd, message, wParam, lParam);
  MelodexScreen* screen = CurrentScreen();
  if (screen == NULL) return 1;
  // 0 when the screen used the key, 1 when not.
  return screen->handleKey(wParam, lParam);
}

// Every activation, a deactivation too, shows the window again and re-asserts full screen: the
// shell may have hidden it.
static void OnActivate(HWND hWnd) {
  ShowWindow(hWnd, SW_SHOWNORMAL);
  BringWindowToTop(hWnd);
  SHFullScreen(g_hWnd, FULL_SCREEN_FLAGS);
}

static void OnTimer(WPARAM timerId, LPARAM lParam) {
  MelodexScreen* screen = CurrentScreen();
  if (screen != NULL) screen->handleTimer(timerId, lParam);
}

static void OnReply() {
  MelodexScreen* screen = CurrentScreen();
  if (screen != NULL) screen->handleReply();
}

// The window procedure's whole message table. Worker threads never touch screens: they post
// WM_MELODEX_* here and the switch happens on this thread.
// Every other message is answered 1 with no default processing: WM_KEYDOWN, WM_CHAR and
// WM_CLOSE do nothing, so the window cannot be closed from outside.
LRESULT CALLBACK MainWindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE: GoFullScreen(hWnd); return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    case WM_ACTIVATE: OnActivate(hWnd); return 0;
    case WM_PAINT: return PaintCurrentScreen(hWnd);
    case WM_KEYUP: return DispatchKeyUp(hWnd, message, wParam, lParam);
    case WM_COMMAND: return DefWindowProcW(hWnd, message, wParam, lParam);
    case WM_TIMER: OnTimer(wParam, lParam); return 0;
    case MM_WIM_DATA: RouteRecordingFinished(); return 0;
    case WM_USER: OnReply(); return 0;
    case WM_MELODEX_SWITCH_SCREEN:
    case WM_MELODEX_SEND_ERROR: return HandleWorkerRequest(message, wParam);
    default: return 1;
  }
}
