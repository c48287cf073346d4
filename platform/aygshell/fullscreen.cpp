// SHFullScreen: the shell's full-screen request (the program asks SHFS_HIDESIPBUTTON, 8). The
// emulated shell has no input-panel button, so the request is only recorded.
#include <aygshell.h>

#include "device/Trace.h"

BOOL WINAPI SHFullScreen(HWND hwndRequester, DWORD dwState) {
  TRACE_CALL("aygshell", "SHFullScreen hwnd=%p state=%#x", static_cast<void*>(hwndRequester), dwState);
  return TRUE;
}
