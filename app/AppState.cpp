// The application state: one definition of every g_ variable, with its initial value.
#include "app/AppState.h"

HINSTANCE g_hInst = NULL;
HWND g_hWnd = NULL;
HDC g_hdcImage = NULL;
HDC g_hdcBack = NULL;
FILE* g_logFile = NULL;
ScreenId g_nCurrentScreen = SCREEN_NONE;
MelodexScreen* g_screens[SCREEN_COUNT] = {};
ScreenId g_backStack[BACK_STACK_SIZE] = {};
LONG g_backStackTop = -1;
SoftKeyBar* g_softKeyBar = NULL;
AudioRecorder* g_recorder = NULL;
WCHAR* g_szOwnerID = NULL;

MelodexScreen* CurrentScreen() {
  if (g_nCurrentScreen < 0 || g_nCurrentScreen >= SCREEN_COUNT) return NULL;
  return g_screens[g_nCurrentScreen];
}
