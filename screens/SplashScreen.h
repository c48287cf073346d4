// SplashScreen, screen id 1: the product artwork for three seconds or until a key
// is released, then the main menu.
#pragma once

#include "app/MelodexScreen.h"

// The splash screen's timer on the main window.
#define SPLASH_TIMER_ID 1
#define SPLASH_TIMER_MS 3000
// GIF resource 110, 240 x 160.
#define IDB_SPLASH 110

class SplashScreen : public MelodexScreen {
 public:
  SplashScreen(HINSTANCE hInst, HWND hWnd);
  ~SplashScreen();

  void paint(PAINTSTRUCT* ps, RECT* clientRect);
  LRESULT handleKey(WPARAM vk, LPARAM keyData);
  void handleTimer(WPARAM timerId, LPARAM lParam);
  void activate();
  void deactivate();

  HBITMAP splashImage;
  BITMAP splashSize;  // read once in the constructor

 private:
  void continueToMainMenu();
};
