// Opening a URL in the browser and the text conversions.
#pragma once

#include <windows.h>

// Opens an 8-bit URL in the phone's browser and returns without waiting. The caller keeps
// the text. A null URL does nothing and logs nothing.
void LaunchURL(const char* url);

// 8-bit (the current code page, Windows-1252) to a new UTF-16 text, or null for null.
// The caller frees the result.
WCHAR* ToWideString(const char* text);
// UTF-16 to a new 8-bit text, or null for null. The caller frees the result.
char* ToNarrowString(const WCHAR* text);
