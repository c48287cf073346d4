// LoadSettings: the owner identifier from the registry, or the default.
#include "app/Settings.h"

#include <windows.h>

#include <stdlib.h>

#include "app/AppState.h"

// 256 bytes, at most 127 UTF-16 characters and the terminator.
#define OWNER_ID_BYTES 256
// The default owner identifier, formed from a fixed number with "%d".
#define DEFAULT_OWNER_ID 5183

// The value's type is not looked at; a value larger than the buffer fails the query.
static WCHAR* QueryOwnerID(HKEY key) {
  WCHAR* buffer = (WCHAR*)malloc(OWNER_ID_BYTES);
  if (buffer == NULL) return NULL;
  DWORD size = OWNER_ID_BYTES;
  if (RegQueryValueExW(key, TEXT("ownerID"), NULL, NULL, (LPBYTE)buffer, &size) == ERROR_SUCCESS) return buffer;
  free(buffer);
  return NULL;
}

void LoadSettings() {
  g_szOwnerID = NULL;
  // No options, no access flags (Windows CE ignores them).
  HKEY key = NULL;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, TEXT("SOFTWARE\\Melodex"), 0, 0, &key) == ERROR_SUCCESS) {
    // The key is closed after the read; nothing else reads the registry.
    g_szOwnerID = QueryOwnerID(key);
    RegCloseKey(key);
    if (g_szOwnerID != NULL) return;
  }
  // Nothing is logged when the default is used.
  g_szOwnerID = (WCHAR*)malloc(OWNER_ID_BYTES);
  if (g_szOwnerID != NULL) wsprintfW(g_szOwnerID, TEXT("%d"), DEFAULT_OWNER_ID);
}
