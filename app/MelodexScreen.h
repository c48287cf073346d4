// MelodexScreen, the base class of every screen.
#pragma once

#include <windows.h>

class MelodexScreen {
 public:
  // The constructor keeps the program's module and the main window.
  MelodexScreen(HINSTANCE hInst, HWND hWnd);

  // The eight virtual operations, in their fixed slot order (0 to 7). Do not reorder.
  virtual void paint(PAINTSTRUCT* ps, RECT* clientRect);      // 0: base does nothing
  virtual LRESULT handleKey(WPARAM vk, LPARAM keyData);       // 1: base returns 0
  virtual void handleTimer(WPARAM timerId, LPARAM lParam);    // 2: base does nothing
  virtual void handleReply();                                 // 3: base does nothing
  virtual void activate();                                    // 4: base does nothing
  virtual void deactivate();                                  // 5: base does nothing
  virtual void eraseBackground(HDC hdc, RECT* rect);          // 6: fills white
  virtual void erasePaintBackground(PAINTSTRUCT* ps, RECT* rect);  // 7: fills white

  // Declared after the eight operations so that it takes no slot before them. Screens are
  // never destroyed while the program runs; the destructors release images.
  virtual ~MelodexScreen();

  HINSTANCE hInst;  // loads the screen's image and string resources
  HWND hWnd;        // the main window: timers and repaint requests

 private:
  MelodexScreen(const MelodexScreen&);
  MelodexScreen& operator=(const MelodexScreen&);
};
