// The worker threads' screen switches, carried out on the user-interface thread.
#include "app/WorkerRequests.h"

#include "app/Navigation.h"
#include "net/Identification.h"
#include "screens/ErrorScreen.h"

BOOL RequestSwitchScreen(ScreenId id) {
  return PostMessageW(g_hWnd, WM_MELODEX_SWITCH_SCREEN, (WPARAM)id, 0);
}

BOOL RequestSendError(DWORD identifyThread) {
  return PostMessageW(g_hWnd, WM_MELODEX_SEND_ERROR, (WPARAM)identifyThread, 0);
}

// The switch first, then the message on the entry for 10, which is set unless its allocation
// failed.
void ShowSendErrorNow() {
  SwitchScreen(SCREEN_SEND_ERROR);
  ErrorScreen* screen = (ErrorScreen*)g_screens[SCREEN_SEND_ERROR];
  if (screen != NULL) screen->setMessage(SEND_ERROR_MESSAGE);
}

LRESULT HandleWorkerRequest(UINT message, WPARAM wParam) {
  if (message == WM_MELODEX_SWITCH_SCREEN) SwitchScreen((ScreenId)(LONG_PTR)wParam);
  if (message == WM_MELODEX_SEND_ERROR) ShowSendErrorFor((DWORD)wParam);
  return 0;
}
