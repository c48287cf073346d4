// SoftKeyBar: one instance, g_softKeyBar, created at start-up and shared by every
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

// Deletes the bitmap held on that side, if any, then loads the resource with g_hInst.
// NO_IMAGE is not handed to the loader: it names no resource, and the side stays empty.
void SoftKeyBar::replaceImage(HBITMAP* image, BITMAP* size, int id) {
  if (*image != NULL) DeleteObject(*image);
  *image = NULL;
  memset(size, 0, sizeof(BITMAP));
  if (id != NO_IMAGE) *image = LoadImageResource(g_hInst, id, size);
}

void SoftKeyBar::setLeftImage(int id) { replaceImage(&leftImage, &leftSize, id); }

void SoftKeyBar::setRightImage(int id) { replaceImage(&rightImage, &rightSize, id); }

// The bar fills the bottom of the client area; the left label sits 10 pixels from the left
// edge, the right label, if any, 10 pixels from the right edge.
void SoftKeyBar::drawSoftKeyBar(HDC hdc) {
  RECT bar;
  GetClientRect(g_hWnd, &bar);
  bar.top = bar.bottom - SOFT_KEY_BAR_HEIGHT;
  FillRect(hdc, &bar, brush);
  DrawImage(hdc, leftImage, &leftSize, bar.left + 10, bar.top);
  if (rightImage != NULL) DrawImage(hdc, rightImage, &rightSize, bar.right - 10 - rightSize.bmWidth, bar.top);
}
