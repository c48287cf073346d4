// The application state: the process-wide g_ variables that the shell and the
// screens share, and the screen ids of the screen table.
#pragma once

#include <windows.h>

#include <stdio.h>

class MelodexScreen;
class SoftKeyBar;
class AudioRecorder;  // audio/AudioRecorder.h

// A 32-bit signed integer naming a screen slot; 0 to 11 are valid, 12 is no screen.
typedef LONG ScreenId;

// The screen table. Ids 0 and 2 are reserved and have no screen class.
enum {
  SCREEN_RESERVED_0 = 0,
  SCREEN_SPLASH = 1,
  SCREEN_RESERVED_2 = 2,
  SCREEN_MAIN_MENU = 3,
  SCREEN_LISTENING = 4,
  SCREEN_ANALYZING = 5,
  SCREEN_RESULTS = 6,
  SCREEN_SMS = 7,
  SCREEN_MANAGE = 8,
  SCREEN_HELP = 9,
  SCREEN_SEND_ERROR = 10,    // ErrorScreen for failed identification requests
  SCREEN_RECORD_ERROR = 11,  // ErrorScreen, second instance, for recording failures
  SCREEN_NONE = 12,          // "no screen": the id before the first switch, an empty back stack
};
enum { SCREEN_COUNT = 12, BACK_STACK_SIZE = 10 };

// The application state, each variable with its initial value in app/AppState.cpp.
extern HINSTANCE g_hInst;
extern HWND g_hWnd;
extern HDC g_hdcImage;  // scratch surface into which an image is selected to be copied
extern HDC g_hdcBack;   // the back buffer, holding a 320 x 320 bitmap
extern FILE* g_logFile;
extern ScreenId g_nCurrentScreen;
extern MelodexScreen* g_screens[SCREEN_COUNT];
extern ScreenId g_backStack[BACK_STACK_SIZE];
extern LONG g_backStackTop;
extern SoftKeyBar* g_softKeyBar;
extern AudioRecorder* g_recorder;
extern WCHAR* g_szOwnerID;  // from the registry, or the default (app/Settings.h)

// A current screen exists when g_nCurrentScreen is a screen id (0 to 11) whose entry in
// g_screens is set. Returns that screen, or null.
MelodexScreen* CurrentScreen();
