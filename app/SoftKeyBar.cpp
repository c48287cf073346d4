// SoftKeyBar (Part 1.2): one instance, g_softKeyBar, created at start-up and shared by every
// screen; each screen sets its labels in activate.
#include "app/SoftKeyBar.h"

#include <string.h>

#include "app/AppState.h"
#include "app/Drawing.h"

SoftKeyBar::SoftKeyBar() : leftImage(NULL), rightImage(NULL) {
  brush = CreateSolidBrush(COLOUR_SOFT_KEY_BAR);
  memset(&leftSize, 0, sizeof leftSize);
  memset(&rightSize, 0, sizeof rightSize);
}

SoftKeyBar::~SoftKeyBar() {
  if (brush != NULL) DeleteObject(brush);
  if (leftImage != NULL) DeleteObject(leftImage);
  if (rightImage != NULL) DeleteObject(rightImage);
}

// Part 1.2: delete the bitmap held on that side, if any, then load the resource with g_hInst.
// NO_IMAGE is not handed to the loader: it names no resource, and the side stays empty.
void SoftKeyBar::replaceImage(HBITMAP* image, BITMAP* size, int id) {
  if (*image != NULL) DeleteObject(*image);
  *image = NULL;
  memset(size, 0, sizeof(BITMAP));
  if (id != NO_IMAGE) *image = LoadImageResource(g_hInst, id, size);
}

void SoftKeyBar::setLeftImage(int id) { replaceImage(&leftImage, &leftSize, id); }

void SoftKeyBar::setRightImage(int id) { replaceImage(&rightImage, &rightSize, id); }

// Part 1.2, drawSoftKeyBar steps 1 to 4.
void SoftKeyBar::drawSoftKeyBar(HDC hdc) {
  RECT bar;
  GetClientRect(g_hWnd, &bar);
  bar.top = bar.bottom - SOFT_KEY_BAR_HEIGHT;
  FillRect(hdc, &bar, brush);
  DrawImage(hdc, leftImage, &leftSize, bar.left + 10, bar.top);
  if (rightImage != NULL) DrawImage(hdc, rightImage, &rightSize, bar.right - 10 - rightSize.bmWidth, bar.top);
}
