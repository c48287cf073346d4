// SHLoadImageResource: a "GIF" typed resource of the module, by id. This file alone
// calls the resource functions (FindResourceW … LockResource, kernel32's), so the decoder's
// tests link without them.
#include <aygshell.h>
#include <windows.h>

#include "aygshell/images.h"
#include "device/Trace.h"

// Win32's declarations (winbase.h on Windows; here winresource.h, written in parallel).
// Repeating an identical declaration is harmless once that header has them.
HRSRC WINAPI FindResourceW(HMODULE hModule, LPCWSTR lpName, LPCWSTR lpType);
HGLOBAL WINAPI LoadResource(HMODULE hModule, HRSRC hResInfo);
DWORD WINAPI SizeofResource(HMODULE hModule, HRSRC hResInfo);
LPVOID WINAPI LockResource(HGLOBAL hResData);

HBITMAP WINAPI SHLoadImageResource(HINSTANCE hinst, UINT uIdGif) {
  HBITMAP bmp = nullptr;
  if (HRSRC info = FindResourceW(hinst, MAKEINTRESOURCEW(uIdGif), TEXT("GIF"))) {
    HGLOBAL data = LoadResource(hinst, info);
    DWORD size = SizeofResource(hinst, info);
    const void* bytes = data ? LockResource(data) : nullptr;
    if (bytes && size > 0) bmp = aygshell::BitmapFromGif(static_cast<const uint8_t*>(bytes), size);
  }
  TRACE_CALL("aygshell", "SHLoadImageResource id=%u -> %p", uIdGif, static_cast<void*>(bmp));
  return bmp;
}
