// InitInstance, the program's start-up in order, and RegisterMainWindowClass.
#include <windows.h>

#include <aygshell.h>

#include "app/AppState.h"
#include "app/Log.h"
#include "app/MainWindow.h"
#include "app/Navigation.h"
#include "app/Settings.h"
#include "app/SoftKeyBar.h"

// Another copy runs when a window with our class name and title exists.
// Handle value OR 1 brings that window and the windows it owns to the front.
static BOOL BringRunningCopyForward(LPCWSTR className, LPCWSTR title) {
  HWND running = FindWindowW(className, title);
  if (running == NULL) return FALSE;
  SetForegroundWindow((HWND)((ULONG_PTR)running | 1));
  return TRUE;
}

// The client rectangle's top replaced by the window rectangle's top.
static void AdjustWindowPlacement(HWND hWnd) {
  RECT client;
  RECT window;
  GetClientRect(hWnd, &client);
  GetWindowRect(hWnd, &window);
  client.top = window.top;
  MoveWindow(hWnd, client.left, client.top, client.right - client.left, client.bottom - client.top, FALSE);
}

// g_hdcImage first, then g_hdcBack with its 320 x 320 bitmap.
static void CreateDrawingSurfaces(HDC windowDC) {
  g_hdcImage = CreateCompatibleDC(windowDC);
  g_hdcBack = CreateCompatibleDC(windowDC);
  HBITMAP backBitmap = CreateCompatibleBitmap(windowDC, BACK_BUFFER_SIZE, BACK_BUFFER_SIZE);
  SelectObject(g_hdcBack, backBitmap);
}

// The parts of the application state that need the window.
static void StartApplication() {
  g_backStackTop = -1;
  CreateDirectoryW(TEXT("\\Application Data\\Melodex"), NULL);      // result unused
  OpenLog();
  WriteLog("Melodex starting up\r\n");
  g_softKeyBar = new SoftKeyBar();
  LoadSettings();
  SwitchScreen(SCREEN_SPLASH);
}

BOOL InitInstance(HINSTANCE hInstance, int nCmdShow) {
  WCHAR title[MAX_LOADSTRING];
  WCHAR className[MAX_LOADSTRING];
  g_hInst = hInstance;
  LoadStringW(hInstance, IDS_APP_TITLE, title, MAX_LOADSTRING);
  LoadStringW(hInstance, IDS_WINDOW_CLASS, className, MAX_LOADSTRING);
  if (BringRunningCopyForward(className, title)) return FALSE;
  if (!RegisterMainWindowClass(hInstance, className)) return FALSE;
  HWND hWnd = CreateWindowExW(0, className, title, WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT,
                              CW_USEDEFAULT, CW_USEDEFAULT, NULL, NULL, hInstance, NULL);
  if (hWnd == NULL) return FALSE;
  g_hWnd = hWnd;
  g_recorder = NULL;
  g_nCurrentScreen = SCREEN_NONE;
  HDC windowDC = GetDC(hWnd);                                       // never released
  AdjustWindowPlacement(hWnd);
  CreateDrawingSurfaces(windowDC);
  StartApplication();
  ShowWindow(hWnd, nCmdShow);
  UpdateWindow(hWnd);
  return TRUE;
}

ATOM RegisterMainWindowClass(HINSTANCE hInstance, LPCWSTR className) {
  WNDCLASSW wc;
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = MainWindowProc;
  wc.cbClsExtra = 0;
  wc.cbWndExtra = 0;
  wc.hInstance = hInstance;
  wc.hIcon = LoadIconW(hInstance, MAKEINTRESOURCEW(IDI_MELODEX));
  wc.hCursor = NULL;
  wc.hbrBackground = (HBRUSH)GetStockObject(WHITE_BRUSH);
  wc.lpszMenuName = NULL;
  wc.lpszClassName = className;
  return RegisterClassW(&wc);
}
