// The view that the listening screen shows while it records and the analyzing screen shows
// while it waits for the service: the banner at the top, and below it three equal bands with
// the title, a strip scrolling to the left, and at the bottom the service's badge (right) and
// the Cancel label (left). The two screens differ only in their title and strip.
#pragma once

#include <windows.h>

// GIF resources.
#define IDB_WORKING_BANNER 113  // 320 x 46 banner with the product logo and name
#define IDB_WORKING_BADGE 175   // 73 x 51 the identification service's badge
#define IDB_WORKING_CANCEL 177  // 60 x 23 the label Cancel

// Each timer tick moves the strip this many pixels to the left.
#define WORKING_SCROLL_STEP 15

struct WorkingView {
  // Loads the five images once, with their sizes; a missing one draws nothing.
  void load(HINSTANCE hInst, int titleId, int stripId);
  void release();

  // The banner alone, centred at the top.
  void drawBanner(HDC hdc, const RECT* client) const;
  // The banner and the three bands, the strip drawn twice side by side at -scrollOffset.
  void draw(HDC hdc, const RECT* client, LONG scrollOffset) const;
  // The next scroll offset: one step on, back to 0 once past the strip's width (an offset
  // equal to the width is still drawn).
  LONG scrolled(LONG scrollOffset) const;

  HBITMAP banner;
  BITMAP bannerSize;
  HBITMAP title;
  BITMAP titleSize;
  HBITMAP strip;
  BITMAP stripSize;
  HBITMAP badge;
  BITMAP badgeSize;
  HBITMAP cancel;
  BITMAP cancelSize;
};
