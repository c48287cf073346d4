// SoftKeyBar, the shared strip labelling the two soft keys.
#pragma once

#include <windows.h>

// The bar's height; every label image is this high.
#define SOFT_KEY_BAR_HEIGHT 34
// The resource id that stands for no label at all.
#define NO_IMAGE (-1)

class SoftKeyBar {
 public:
  SoftKeyBar();
  // Never reached while the program runs (the bar lives until the process ends).
  ~SoftKeyBar();

  // Replace the label over the left (VK_F1) or right (VK_F2) soft key by GIF resource id, or
  // by nothing for NO_IMAGE. A label that cannot be loaded leaves that side empty.
  void setLeftImage(int id);
  void setRightImage(int id);
  // Draws the bar at the bottom of g_hWnd's client rectangle; always given g_hdcBack.
  void drawSoftKeyBar(HDC hdc);

  HBRUSH brush;        // RGB 0, 119, 192
  HBITMAP leftImage;   // or null
  HBITMAP rightImage;  // or null
  BITMAP leftSize;     // read once when the label is loaded
  BITMAP rightSize;

 private:
  static void replaceImage(HBITMAP* image, BITMAP* size, int id);
  SoftKeyBar(const SoftKeyBar&);
  SoftKeyBar& operator=(const SoftKeyBar&);
};
