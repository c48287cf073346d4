// Entry, main window and window procedure.
#pragma once

#include <windows.h>

// 1 when the message loop should run, 0 when the program should end at once
// (a second copy, or the class or window could not be made).
BOOL InitInstance(HINSTANCE hInstance, int nCmdShow);
ATOM RegisterMainWindowClass(HINSTANCE hInstance, LPCWSTR className);
LRESULT CALLBACK MainWindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
BOOL GoFullScreen(HWND hWnd);
LRESULT PaintCurrentScreen(HWND hWnd);
LRESULT DispatchKeyUp(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

// The main window's string, accelerator and size resources.
#define IDS_APP_TITLE 1
#define IDS_WINDOW_CLASS 2
#define IDI_MELODEX 101
#define IDR_ACCELERATORS 2
#define MAX_LOADSTRING 1024
// The back buffer's size: square, so it covers the screen in either orientation.
#define BACK_BUFFER_SIZE 320
