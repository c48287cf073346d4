// winresource.h — resource functions: FindResourceW, LoadResource, SizeofResource, LockResource,
// LoadStringW, LoadIconW, LoadAcceleratorsW, RT_* and resource types. Owned by the resources work
// (platform/kernel32/resource*.cpp, platform/user32/resource*.cpp).
//
// The program's resources (res/melodex.rc) are compiled by llvm-rc, embedded in it as a .res
// image and registered as a module at start-up; these functions read them with Win32's semantics:
// integer ids through MAKEINTRESOURCEW, string names compared without regard to case, "#123"
// meaning id 123, a null module handle meaning the program's own module.
#pragma once

#include "windef.h"

// Predefined resource types, with Win32's values (winuser.h on Windows).
#define RT_CURSOR MAKEINTRESOURCEW(1)
#define RT_BITMAP MAKEINTRESOURCEW(2)
#define RT_ICON MAKEINTRESOURCEW(3)
#define RT_MENU MAKEINTRESOURCEW(4)
#define RT_DIALOG MAKEINTRESOURCEW(5)
#define RT_STRING MAKEINTRESOURCEW(6)
#define RT_FONTDIR MAKEINTRESOURCEW(7)
#define RT_FONT MAKEINTRESOURCEW(8)
#define RT_ACCELERATOR MAKEINTRESOURCEW(9)
#define RT_RCDATA MAKEINTRESOURCEW(10)
#define RT_MESSAGETABLE MAKEINTRESOURCEW(11)
#define DIFFERENCE 11
#define RT_GROUP_CURSOR MAKEINTRESOURCEW((ULONG_PTR)(RT_CURSOR) + DIFFERENCE)
#define RT_GROUP_ICON MAKEINTRESOURCEW((ULONG_PTR)(RT_ICON) + DIFFERENCE)
#define RT_VERSION MAKEINTRESOURCEW(16)
#define RT_HTML MAKEINTRESOURCEW(23)

// Accelerator-table entry flags (ACCEL.fVirt), as on Windows.
#define FVIRTKEY 0x01
#define FNOINVERT 0x02
#define FSHIFT 0x04
#define FCONTROL 0x08
#define FALT 0x10

// One accelerator as CopyAcceleratorTableW hands it out.
typedef struct tagACCEL {
  BYTE fVirt;
  WORD key;
  WORD cmd;
} ACCEL, *LPACCEL;

// kernel32 (platform/kernel32/resource.cpp).
HRSRC WINAPI FindResourceW(HMODULE hModule, LPCWSTR lpName, LPCWSTR lpType);
HRSRC WINAPI FindResourceExW(HMODULE hModule, LPCWSTR lpType, LPCWSTR lpName, WORD wLanguage);
HGLOBAL WINAPI LoadResource(HMODULE hModule, HRSRC hResInfo);
DWORD WINAPI SizeofResource(HMODULE hModule, HRSRC hResInfo);
LPVOID WINAPI LockResource(HGLOBAL hResData);
BOOL WINAPI FreeResource(HGLOBAL hResData);

// user32 (platform/user32/resource.cpp).
int WINAPI LoadStringW(HINSTANCE hInstance, UINT uID, LPWSTR lpBuffer, int cchBufferMax);
HICON WINAPI LoadIconW(HINSTANCE hInstance, LPCWSTR lpIconName);
BOOL WINAPI DestroyIcon(HICON hIcon);
HACCEL WINAPI LoadAcceleratorsW(HINSTANCE hInstance, LPCWSTR lpTableName);
int WINAPI CopyAcceleratorTableW(HACCEL hAccelSrc, LPACCEL lpAccelDst, int cAccelEntries);
BOOL WINAPI DestroyAcceleratorTable(HACCEL hAccel);

#define FindResource FindResourceW
#define FindResourceEx FindResourceExW
#define LoadString LoadStringW
#define LoadIcon LoadIconW
#define LoadAccelerators LoadAcceleratorsW
#define CopyAcceleratorTable CopyAcceleratorTableW
