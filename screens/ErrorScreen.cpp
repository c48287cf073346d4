// ErrorScreen.
#include "screens/ErrorScreen.h"

#include <stdlib.h>
#include <string.h>

#include "app/AppState.h"
#include "app/Drawing.h"
#include "app/Navigation.h"
#include "app/SoftKeyBar.h"

ErrorScreen::ErrorScreen(HINSTANCE hInst, HWND hWnd) : MelodexScreen(hInst, hWnd), message(NULL) {
  headerImage = LoadImageResource(hInst, IDB_ERROR_HEADER, &headerSize);
  errorImage = LoadImageResource(hInst, IDB_ERROR_PICTURE, &errorSize);
  // The message is drawn in a normal-weight font, the help screen's.
  font = CreateScreenFont(16);
}

ErrorScreen::~ErrorScreen() {
  if (headerImage != NULL) DeleteObject(headerImage);
  if (errorImage != NULL) DeleteObject(errorImage);
  if (font != NULL) DeleteObject(font);
  free(message);
}

void ErrorScreen::activate() {
  g_softKeyBar->setLeftImage(IDB_LABEL_OK);
  g_softKeyBar->setRightImage(NO_IMAGE);
}

// Only the left soft key is used; every key returns 0.
LRESULT ErrorScreen::handleKey(WPARAM vk, LPARAM keyData) {
  if (vk == VK_F1) SwitchScreen(SCREEN_MAIN_MENU);
  return 0;
}

// A new 2048-byte buffer for every message. Because the message is drawn, the window is
// repainted, also when the screen was already current.
WCHAR* ErrorScreen::setMessage(LPCWSTR text) {
  free(message);
  message = NULL;
  if (text != NULL) message = (WCHAR*)malloc(ERROR_MESSAGE_UNITS * sizeof(WCHAR));
  if (message != NULL) {
    size_t length = wcslen(text);
    if (length > ERROR_MESSAGE_UNITS - 1) length = ERROR_MESSAGE_UNITS - 1;
    memcpy(message, text, length * sizeof(WCHAR));
    message[length] = 0;
  }
  RequestRepaint(hWnd);
  return message;
}

// The message tells the user what failed: below the picture, centred, word-wrapped, above the
// soft-key bar.
void ErrorScreen::drawMessage(const RECT* clientRect, LONG pictureBottom) {
  if (message == NULL) return;
  RECT area = {clientRect->left + 10, pictureBottom, clientRect->right - 10,
               clientRect->bottom - SOFT_KEY_BAR_HEIGHT};
  SelectObject(g_hdcBack, font);
  SetBkColor(g_hdcBack, COLOUR_WHITE);
  DrawTextW(g_hdcBack, message, -1, &area, DT_CENTER | DT_WORDBREAK);
}

void ErrorScreen::paint(PAINTSTRUCT* ps, RECT* clientRect) {
  eraseBackground(g_hdcBack, clientRect);                                                   // 1
  DrawImage(g_hdcBack, headerImage, &headerSize, clientRect->right / 2 - headerSize.bmWidth / 2, 0);  // 2
  LONG x = (clientRect->right - clientRect->left) / 2 - errorSize.bmWidth / 2;              // 3
  LONG y = (clientRect->bottom - clientRect->top) / 2 - errorSize.bmHeight / 2;
  DrawImage(g_hdcBack, errorImage, &errorSize, x, y);
  drawMessage(clientRect, y + errorSize.bmHeight);
  g_softKeyBar->drawSoftKeyBar(g_hdcBack);                                                  // 4
  PresentBackBuffer(ps, clientRect);                                                        // 5
}
