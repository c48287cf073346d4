// windows.h — the Win32 / Windows CE subset that Melodex calls.
// One header per Win32 library, as in the Windows SDK; each is owned by the platform folder
// that implements it.
#pragma once

#include "windef.h"
#include "winerror.h"
#include "wincrt.h"    // the wide C run-time for 16-bit WCHAR, Windows-1252 code page (kernel32)
#include "winbase.h"   // kernel32: threads, files, time
#include "winresource.h"  // kernel32/user32: the module's resources (FindResourceW, LoadStringW …)
#include "winreg.h"    // advapi32: registry
#include "winuser.h"   // user32: windows, messages, timers, painting, strings
#include "wingdi.h"    // gdi32: device contexts, bitmaps, brushes, fonts, text
