// The drawing conventions shared by all screens.
#include "app/Drawing.h"

#include <aygshell.h>
#include <string.h>

#include "app/AppState.h"

HBITMAP LoadImageResource(HINSTANCE hInst, int id, BITMAP* size) {
  memset(size, 0, sizeof(BITMAP));
  HBITMAP image = SHLoadImageResource(hInst, id);
  if (image != NULL) GetObjectW(image, sizeof(BITMAP), size);
  return image;
}

// The previous selection of g_hdcImage is put back after the copy, so that an image the
// soft-key bar replaces is never still selected when it is deleted (Windows refuses to delete
// a bitmap selected into a device context).
void DrawImage(HDC dest, HBITMAP image, const BITMAP* size, int x, int y) {
  if (image == NULL) return;
  HGDIOBJ previous = SelectObject(g_hdcImage, image);
  BitBlt(dest, x, y, size->bmWidth, size->bmHeight, g_hdcImage, 0, 0, SRCCOPY);
  SelectObject(g_hdcImage, previous);
}

void FillWithColour(HDC hdc, const RECT* rect, COLORREF colour) {
  HBRUSH brush = CreateSolidBrush(colour);
  if (brush == NULL) return;
  FillRect(hdc, rect, brush);
  DeleteObject(brush);
}

void PresentBackBuffer(PAINTSTRUCT* ps, const RECT* clientRect) {
  BitBlt(ps->hdc, 0, 0, clientRect->right - clientRect->left, clientRect->bottom - clientRect->top,
         g_hdcBack, 0, 0, SRCCOPY);
}

void RequestRepaint(HWND hWnd) { RedrawWindow(hWnd, NULL, NULL, RDW_INVALIDATE | RDW_INTERNALPAINT); }

HFONT CreateScreenFont(LONG height) {
  LOGFONTW description;
  memset(&description, 0, sizeof description);
  description.lfHeight = height;
  description.lfWeight = FW_NORMAL;
  description.lfCharSet = DEFAULT_CHARSET;
  description.lfQuality = CLEARTYPE_QUALITY;
  description.lfPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
  return CreateFontIndirectW(&description);
}
