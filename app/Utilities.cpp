// LaunchURL, ToWideString, ToNarrowString.
#include "app/Utilities.h"

#include <shellapi.h>
#include <stdlib.h>
#include <string.h>

#include "app/Log.h"

void LaunchURL(const char* url) {
  WCHAR* wideUrl = ToWideString(url);
  if (wideUrl == NULL) return;
  // cbSize is sizeof the record, 60 bytes on the 32-bit phone.
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
  if (ShellExecuteEx(&info)) {
    WriteLog("LaunchURL: successfully called ShellExecuteEx\r\n");
  } else {
    WriteLog("LaunchURL: ShellExecuteEx failed\r\n");
  }
  free(wideUrl);
}

WCHAR* ToWideString(const char* text) {
  if (text == NULL) return NULL;
  // n counts the characters and the terminator; (n + 1) x 2 bytes are allocated.
  size_t n = strlen(text) + 1;
  WCHAR* wide = (WCHAR*)malloc((n + 1) * sizeof(WCHAR));
  if (wide == NULL) return NULL;
  // The terminator is converted with the text.
  mbstowcs(wide, text, n);
  return wide;
}

char* ToNarrowString(const WCHAR* text) {
  if (text == NULL) return NULL;
  // One byte per UTF-16 unit (the phone's code page is Windows-1252) and one for the
  // terminator.
  size_t n = wcslen(text) + 1;
  char* narrow = (char*)malloc(n);
  if (narrow == NULL) return NULL;
  wcstombs(narrow, text, n);
  return narrow;
}
