#include "screens/SideScroll.h"

void EndSideScrollPause(HWND hWnd, UINT pauseTimer, UINT stepTimer) {
  KillTimer(hWnd, pauseTimer);
  SetTimer(hWnd, stepTimer, SIDE_SCROLL_STEP_MS, NULL);
}

void StepSideScroll(HWND hWnd, SideScroll* line, UINT pauseTimer, UINT stepTimer) {
  line->offset += line->forward ? SIDE_SCROLL_STEP_PIXELS : -SIDE_SCROLL_STEP_PIXELS;
  if (line->offset > line->overflow || line->offset < 0) {
    KillTimer(hWnd, stepTimer);
    SetTimer(hWnd, pauseTimer, SIDE_SCROLL_PAUSE_MS, NULL);
    line->forward = !line->forward;
  }
}

// DT_VCENTER without DT_SINGLELINE has no effect: the text sits at the top of its rectangle.
// No call passes DT_NOCLIP, so a text that fits is also cut at the area's edges.
LONG DrawSideScrolledText(HDC hdc, LPCWSTR text, const RECT* area, LONG offset) {
  RECT measured = *area;
  DrawTextW(hdc, text, -1, &measured, DT_VCENTER | DT_CALCRECT);
  LONG overflow = (measured.right - measured.left) - (area->right - area->left);
  if (overflow < 1) {
    RECT place = *area;
    DrawTextW(hdc, text, -1, &place, DT_VCENTER);
    return overflow;
  }
  // The measured rectangle is as wide as the whole text, so the shifted text is never cut
  // short by its own rectangle; only the clip region keeps it inside the area.
  OffsetRect(&measured, -offset, 0);
  measured.bottom = area->bottom;
  HRGN clip = CreateRectRgn(area->left, area->top, area->right, area->bottom);
  SelectClipRgn(hdc, clip);
  DrawTextW(hdc, text, -1, &measured, DT_VCENTER);
  SelectClipRgn(hdc, NULL);
  if (clip != NULL) DeleteObject(clip);
  return overflow;
}
