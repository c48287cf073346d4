// The drawing conventions shared by all screens: images loaded once from GIF resources with their
// sizes, copied opaquely through g_hdcImage, pictures composed in g_hdcBack and copied to the
// window in one BitBlt, repaints requested for the whole window.
#pragma once

#include <windows.h>

// Colours used across screens.
#define COLOUR_WHITE RGB(255, 255, 255)
#define COLOUR_SOFT_KEY_BAR RGB(0, 119, 192)
#define COLOUR_HIGHLIGHT RGB(255, 252, 0)

// A window up to this wide gets the layouts made for the phone's 240-pixel-wide screen.
#define NARROW_SCREEN_WIDTH 240

// Loads GIF resource id through the shell's image-resource loader and reads its width and
// height once with GetObjectW. A missing resource gives null and a zero size.
HBITMAP LoadImageResource(HINSTANCE hInst, int id, BITMAP* size);

// Copies a whole image at its natural size to (x, y) with SRCCOPY, selecting it into
// g_hdcImage for the copy. A null image (a resource that failed to load) draws nothing.
void DrawImage(HDC dest, HBITMAP image, const BITMAP* size, int x, int y);

// Fills a rectangle with a solid brush created and deleted for the call; nothing is filled
// when the brush cannot be created (the base screen's background erase relies on this).
void FillWithColour(HDC hdc, const RECT* rect, COLORREF colour);

// Ends a paint: one BitBlt of the back buffer (origin 0, 0) to the paint device context at
// 0, 0, of the client rectangle's width and height.
void PresentBackBuffer(PAINTSTRUCT* ps, const RECT* clientRect);

// The font every text-drawing screen uses: a LOGFONTW all zero except the height (0 = the
// platform default, or 16), weight 400, DEFAULT_CHARSET, CLEARTYPE_QUALITY and VARIABLE_PITCH |
// FF_SWISS (0x22); the empty face name picks the platform's default face of that family.
HFONT CreateScreenFont(LONG height);

// Asks for a repaint of the whole window: RedrawWindow(hWnd, no rectangle, no region,
// RDW_INVALIDATE | RDW_INTERNALPAINT = 3). Never paints outside WM_PAINT.
void RequestRepaint(HWND hWnd);
