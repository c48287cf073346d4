// SoftKeyBar, the shared strip labelling the two soft keys.
#pragma once

#include <windows.h>

// The bar's height; every label image is this high.
#define SOFT_KEY_BAR_HEIGHT 34
// The resource id that stands for no label at all.
#define NO_IMAGE (-1)

// The label images (GIF resources, each 34 pixels high) and the word each shows.
#define IDB_LABEL_BACK 161     // back: help, history, results and SMS screens (left)
#define IDB_LABEL_NEW_ID 162   // new ID!: results screen (right)
#define IDB_LABEL_OPTIONS 163  // Options: history screen (right)
#define IDB_LABEL_SELECT 164   // Select: help screen's topic list (right)
#define IDB_LABEL_SHARE 165    // ShareID!: SMS screen (right)
#define IDB_LABEL_OK 166       // OK!: error screen (left)

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
