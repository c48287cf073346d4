// aygshell.h — the Windows Mobile shell library functions the program uses:
// the full-screen request and the two image loaders. Owned by platform/aygshell/.
#pragma once

#include "windef.h"

// SHFullScreen flags (Windows Mobile 5 SDK values).
#define SHFS_SHOWTASKBAR 0x0001
#define SHFS_HIDETASKBAR 0x0002
#define SHFS_SHOWSIPBUTTON 0x0004
#define SHFS_HIDESIPBUTTON 0x0008
#define SHFS_SHOWSTARTICON 0x0010
#define SHFS_HIDESTARTICON 0x0020

// Asks the shell to show or hide its parts for the window; TRUE when done.
BOOL WINAPI SHFullScreen(HWND hwndRequester, DWORD dwState);

// Decodes the "GIF" typed resource uID of the module into a new bitmap; NULL when the resource
// is missing or cannot be decoded. The caller deletes the bitmap with DeleteObject.
HBITMAP WINAPI SHLoadImageResource(HINSTANCE hinst, UINT uIdGif);

// Decodes a picture file (JPEG; also GIF) named by a device path into a new bitmap; NULL on any
// failure (missing, empty, truncated, corrupt or too large).
HBITMAP WINAPI SHLoadImageFile(LPCTSTR pszFileName);
