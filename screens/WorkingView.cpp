#include "screens/WorkingView.h"

#include "app/Drawing.h"

void WorkingView::load(HINSTANCE hInst, int titleId, int stripId) {
  banner = LoadImageResource(hInst, IDB_WORKING_BANNER, &bannerSize);
  title = LoadImageResource(hInst, titleId, &titleSize);
  strip = LoadImageResource(hInst, stripId, &stripSize);
  badge = LoadImageResource(hInst, IDB_WORKING_BADGE, &badgeSize);
  cancel = LoadImageResource(hInst, IDB_WORKING_CANCEL, &cancelSize);
}

void WorkingView::release() {
  HBITMAP images[] = {banner, title, strip, badge, cancel};
  for (HBITMAP image : images)
    if (image != NULL) DeleteObject(image);
}

void WorkingView::drawBanner(HDC hdc, const RECT* client) const {
  DrawImage(hdc, banner, &bannerSize, client->right / 2 - bannerSize.bmWidth / 2, 0);
}

// Every operand is halved on its own, truncating. Everything is copied opaquely: where the
// strip's two copies meet nothing shows through.
void WorkingView::draw(HDC hdc, const RECT* client, LONG scrollOffset) const {
  drawBanner(hdc, client);
  LONG top = client->top + bannerSize.bmHeight;
  LONG third = (client->bottom - top) / 3;
  DrawImage(hdc, title, &titleSize, client->right / 2 - titleSize.bmWidth / 2,
            top + (third / 2 - titleSize.bmHeight / 2));
  LONG stripY = top + third + (third / 2 - stripSize.bmHeight / 2);
  DrawImage(hdc, strip, &stripSize, -scrollOffset, stripY);
  DrawImage(hdc, strip, &stripSize, stripSize.bmWidth - scrollOffset, stripY);
  DrawImage(hdc, badge, &badgeSize, client->right - badgeSize.bmWidth,
            client->bottom - badgeSize.bmHeight);
  DrawImage(hdc, cancel, &cancelSize, client->left + 20, client->bottom - cancelSize.bmHeight);
}

LONG WorkingView::scrolled(LONG scrollOffset) const {
  scrollOffset += WORKING_SCROLL_STEP;
  return scrollOffset > stripSize.bmWidth ? 0 : scrollOffset;
}
