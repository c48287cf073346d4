// MelodexScreen's base behaviours, one per virtual operation.
#include "app/MelodexScreen.h"

#include "app/Drawing.h"

MelodexScreen::MelodexScreen(HINSTANCE hInst, HWND hWnd) : hInst(hInst), hWnd(hWnd) {}

MelodexScreen::~MelodexScreen() {}

void MelodexScreen::paint(PAINTSTRUCT* ps, RECT* clientRect) {}

// Slot 1: the base "uses" every key (result 0), so a screen without its own handler
// swallows keys.
LRESULT MelodexScreen::handleKey(WPARAM vk, LPARAM keyData) { return 0; }

void MelodexScreen::handleTimer(WPARAM timerId, LPARAM lParam) {}

// Slot 3: a WM_USER reaching a screen without a reply handler has no effect.
void MelodexScreen::handleReply() {}

void MelodexScreen::activate() {}

// Slot 5: a screen keeping the base deactivate keeps its timers and state when left.
void MelodexScreen::deactivate() {}

// Slot 6: white, with a solid brush made for this one call; nothing is filled when the brush
// cannot be created.
void MelodexScreen::eraseBackground(HDC hdc, RECT* rect) { FillWithColour(hdc, rect, COLOUR_WHITE); }

// Slot 7: as slot 6, on the paint structure's device context (the splash screen's paint).
void MelodexScreen::erasePaintBackground(PAINTSTRUCT* ps, RECT* rect) {
  FillWithColour(ps->hdc, rect, COLOUR_WHITE);
}
