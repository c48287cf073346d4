// Part 1.3: LaunchURL, ToWideString, ToNarrowString.
#include "app/Utilities.h"

#include <shellapi.h>
#include <stdlib.h>
#include <string.h>

#include "app/Log.h"

void LaunchURL(const char* url) {
  // Step 1.
  WCHAR* wideUrl = ToWideString(url);
  if (wideUrl == NULL) return;
  // Step 2. cbSize is sizeof the record, 60 bytes on the 32-bit phone (DESIGN §3).
  SHELLEXECUTEINFO info;
  memset(&info, 0, sizeof info);
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOCLOSEPROCESS;
  info.hwnd = NULL;
  info.lpVerb = NULL;
  info.lpFile = TEXT("\\Windows\\iexplore.exe");
  info.lpParameters = wideUrl;
  info.lpDirectory = NULL;
  info.nShow = SW_SHOWNORMAL;
  // Step 3.
  if (ShellExecuteEx(&info)) {
    WriteLog("LaunchURL: successfully called ShellExecuteEx\r\n");
  } else {
    WriteLog("LaunchURL: ShellExecuteEx failed\r\n");
  }
  // Step 4.
  free(wideUrl);
}

WCHAR* ToWideString(const char* text) {
  // Step 1.
  if (text == NULL) return NULL;
  // Step 2: n counts the characters and the terminator; (n + 1) x 2 bytes are allocated.
  size_t n = strlen(text) + 1;
  WCHAR* wide = (WCHAR*)malloc((n + 1) * sizeof(WCHAR));
  if (wide == NULL) return NULL;
  // Step 3: the terminator is converted with the text.
  mbstowcs(wide, text, n);
  return wide;
}

char* ToNarrowString(const WCHAR* text) {
  // Step 1.
  if (text == NULL) return NULL;
  // Step 2: one byte per UTF-16 unit (Windows-1252, DESIGN §3) and one for the terminator.
  size_t n = wcslen(text) + 1;
  char* narrow = (char*)malloc(n);
  if (narrow == NULL) return NULL;
  // Step 3.
  wcstombs(narrow, text, n);
  return narrow;
}
