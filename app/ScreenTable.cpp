// Which class each screen id is made of, for SwitchScreen's creation on first use.
#include "app/ScreenTable.h"

#include <new>

#include "screens/AnalyzingScreen.h"
#include "screens/ErrorScreen.h"
#include "screens/HelpScreen.h"
#include "screens/ListeningScreen.h"
#include "screens/MainMenuScreen.h"
#include "screens/ManageScreen.h"
#include "screens/ResultsScreen.h"
#include "screens/SMSScreen.h"
#include "screens/SplashScreen.h"

// Screen objects are plain C++ objects; new (nothrow) keeps "if the allocation fails the
// entry stays null" without exceptions.
MelodexScreen* CreateScreen(ScreenId id, HINSTANCE hInst, HWND hWnd) {
  switch (id) {
    case SCREEN_SPLASH: return new (std::nothrow) SplashScreen(hInst, hWnd);
    case SCREEN_MAIN_MENU: return new (std::nothrow) MainMenuScreen(hInst, hWnd);
    case SCREEN_LISTENING: return new (std::nothrow) ListeningScreen(hInst, hWnd);
    case SCREEN_ANALYZING: return new (std::nothrow) AnalyzingScreen(hInst, hWnd);
    case SCREEN_RESULTS: return new (std::nothrow) ResultsScreen(hInst, hWnd);
    case SCREEN_SMS: return new (std::nothrow) SMSScreen(hInst, hWnd);
    case SCREEN_MANAGE: return new (std::nothrow) ManageScreen(hInst, hWnd);
    case SCREEN_HELP: return new (std::nothrow) HelpScreen(hInst, hWnd);
    // Ids 10 and 11 are two independent instances of the one class.
    case SCREEN_SEND_ERROR: return new (std::nothrow) ErrorScreen(hInst, hWnd);
    case SCREEN_RECORD_ERROR: return new (std::nothrow) ErrorScreen(hInst, hWnd);
    // Ids 0 and 2 are reserved and have no screen class.
    default: return NULL;
  }
}
