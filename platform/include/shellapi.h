// shellapi.h — shell32: ShellExecuteEx with the Windows CE record. SW_* show commands
// are user32's and live in winuser.h. Owned by platform/shell32/.
#pragma once

#include "windef.h"
#include "winerror.h"

#define SEE_MASK_CLASSNAME 0x00000001
#define SEE_MASK_CLASSKEY 0x00000003
#define SEE_MASK_IDLIST 0x00000004
#define SEE_MASK_INVOKEIDLIST 0x0000000c
#define SEE_MASK_ICON 0x00000010
#define SEE_MASK_HOTKEY 0x00000020
#define SEE_MASK_NOCLOSEPROCESS 0x00000040
#define SEE_MASK_CONNECTNETDRV 0x00000080
#define SEE_MASK_FLAG_DDEWAIT 0x00000100
#define SEE_MASK_DOENVSUBST 0x00000200
#define SEE_MASK_FLAG_NO_UI 0x00000400
#define SEE_MASK_UNICODE 0x00004000
#define SEE_MASK_NO_CONSOLE 0x00008000
#define SEE_MASK_ASYNCOK 0x00100000

// hInstApp results (> 32 means success).
#define SE_ERR_FNF 2
#define SE_ERR_PNF 3
#define SE_ERR_ACCESSDENIED 5
#define SE_ERR_OOM 8
#define SE_ERR_SHARE 26
#define SE_ERR_ASSOCINCOMPLETE 27
#define SE_ERR_DDETIMEOUT 28
#define SE_ERR_DDEFAIL 29
#define SE_ERR_DDEBUSY 30
#define SE_ERR_NOASSOC 31
#define SE_ERR_DLLNOTFOUND 32

// 60 bytes on the 32-bit phone (the record's size field); the client passes
// sizeof(SHELLEXECUTEINFO) and ShellExecuteEx requires exactly its own sizeof, as Win32 does.
typedef struct _SHELLEXECUTEINFO {
  DWORD cbSize;
  ULONG fMask;
  HWND hwnd;
  LPCWSTR lpVerb;
  LPCWSTR lpFile;
  LPCWSTR lpParameters;
  LPCWSTR lpDirectory;
  int nShow;
  HINSTANCE hInstApp;
  // Optional members.
  LPVOID lpIDList;
  LPCWSTR lpClass;
  HKEY hkeyClass;
  DWORD dwHotKey;
  HANDLE hIcon;
  HANDLE hProcess;
} SHELLEXECUTEINFO, *LPSHELLEXECUTEINFO;
typedef SHELLEXECUTEINFO SHELLEXECUTEINFOW;
typedef LPSHELLEXECUTEINFO LPSHELLEXECUTEINFOW;
static_assert(sizeof(void*) != 4 || sizeof(SHELLEXECUTEINFO) == 60,
              "SHELLEXECUTEINFO is 60 bytes on a 32-bit target");

// Starts lpFile with lpParameters without waiting. The emulated phone knows one program,
// "\Windows\iexplore.exe" (its browser); any other fails with
// ERROR_FILE_NOT_FOUND. A wrong cbSize fails with ERROR_ACCESS_DENIED, as Windows.
BOOL ShellExecuteExW(SHELLEXECUTEINFOW* lpExecInfo);
#define ShellExecuteEx ShellExecuteExW
