// SplashScreen.
#include "screens/SplashScreen.h"

#include "app/Drawing.h"
#include "app/Navigation.h"

SplashScreen::SplashScreen(HINSTANCE hInst, HWND hWnd) : MelodexScreen(hInst, hWnd) {
  splashImage = LoadImageResource(hInst, IDB_SPLASH, &splashSize);
}

SplashScreen::~SplashScreen() {
  if (splashImage != NULL) DeleteObject(splashImage);
}

// A timer that cannot be set leaves the screen waiting for a key.
void SplashScreen::activate() { SetTimer(hWnd, SPLASH_TIMER_ID, SPLASH_TIMER_MS, NULL); }

void SplashScreen::deactivate() { KillTimer(hWnd, SPLASH_TIMER_ID); }

void SplashScreen::handleTimer(WPARAM timerId, LPARAM lParam) {
  if (timerId == SPLASH_TIMER_ID) continueToMainMenu();
}

// Any key released (Talk and the volume keys never get here: the window procedure keeps them).
LRESULT SplashScreen::handleKey(WPARAM vk, LPARAM keyData) {
  continueToMainMenu();
  return 0;
}

// The switch deactivates this screen, which kills the timer: the splash is never shown again.
void SplashScreen::continueToMainMenu() { SwitchScreen(SCREEN_MAIN_MENU); }

// The one screen that draws straight into the paint device context, without the back buffer.
void SplashScreen::paint(PAINTSTRUCT* ps, RECT* clientRect) {
  erasePaintBackground(ps, clientRect);
  int x = (clientRect->right - clientRect->left) / 2 - splashSize.bmWidth / 2;
  int y = (clientRect->bottom - clientRect->top) / 2 - splashSize.bmHeight / 2;
  DrawImage(ps->hdc, splashImage, &splashSize, x, y);
}
