// A small program on the platform: a window with a rectangle that the arrow keys move and the
// action key recolours; Back ends it; the left soft key starts a worker that posts back 200 ms
// later in real time. It exercises the platform the way the client does.
#pragma once

#include <windows.h>

BOOL DemoInitInstance(HINSTANCE instance, int show);
int DemoWinMain(HINSTANCE instance, int show);

// Where the rectangle is and its colour, for the tests.
struct DemoState {
  int x = 20;
  int y = 20;
  COLORREF colour = RGB(204, 0, 152);
};
DemoState& demoState();

constexpr int kDemoSize = 40;
constexpr int kDemoStep = 10;
