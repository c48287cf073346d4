// ErrorScreen, screen ids 10 and 11: two instances of one class telling the user
// that an identification failed; the left soft key (OK!) returns to the main menu.
#pragma once

#include "app/MelodexScreen.h"

// GIF resources.
#define IDB_ERROR_HEADER 113  // the main menu's banner, 320 x 46
#define IDB_ERROR_PICTURE 125  // ID Problem, 220 x 100
// The message buffer, 2048 bytes: at most 1023 characters and the terminator.
#define ERROR_MESSAGE_UNITS 1024

class ErrorScreen : public MelodexScreen {
 public:
  ErrorScreen(HINSTANCE hInst, HWND hWnd);
  ~ErrorScreen();

  void paint(PAINTSTRUCT* ps, RECT* clientRect);
  LRESULT handleKey(WPARAM vk, LPARAM keyData);
  void activate();

  // Replaces the screen's copy of the message (the previous copy is released) and returns the
  // new copy. A longer text is cut to 1023 characters; a null text leaves no message.
  WCHAR* setMessage(LPCWSTR text);

  HBITMAP headerImage;
  BITMAP headerSize;
  HBITMAP errorImage;
  BITMAP errorSize;
  WCHAR* message;  // owned; null until the first setMessage
  HFONT font;      // the message is drawn below the picture in a normal weight

 private:
  void drawMessage(const RECT* clientRect, LONG pictureBottom);
};
