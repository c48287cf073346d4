// Part 1.1: InitInstance in its seventeen steps, and RegisterMainWindowClass.
#include <windows.h>

#include <aygshell.h>

#include "app/AppState.h"
#include "app/Log.h"
#include "app/MainWindow.h"
#include "app/Navigation.h"
#include "app/Settings.h"
#include "app/SoftKeyBar.h"

// Part 1.1 step 3: another copy runs when a window with our class name and title exists.
// Handle value OR 1 brings that window and the windows it owns to the front.
static BOOL BringRunningCopyForward(LPCWSTR className, LPCWSTR title) {
  HWND running = FindWindowW(className, title);
  if (running == NULL) return FALSE;
  SetForegroundWindow((HWND)((ULONG_PTR)running | 1));
  return TRUE;
}

// Part 1.1 step 8: the client rectangle's top replaced by the window rectangle's top.
static void AdjustWindowPlacement(HWND hWnd) {
  RECT client;
  RECT window;
  GetClientRect(hWnd, &client);
  GetWindowRect(hWnd, &window);
  client.top = window.top;
  MoveWindow(hWnd, client.left, client.top, client.right - client.left, client.bottom - client.top, FALSE);
}

// Part 1.1 step 9: g_hdcImage first, then g_hdcBack with its 320 x 320 bitmap.
static void CreateDrawingSurfaces(HDC windowDC) {
  g_hdcImage = CreateCompatibleDC(windowDC);
  g_hdcBack = CreateCompatibleDC(windowDC);
  HBITMAP backBitmap = CreateCompatibleBitmap(windowDC, BACK_BUFFER_SIZE, BACK_BUFFER_SIZE);
  SelectObject(g_hdcBack, backBitmap);
}

// Steps 10 to 15: the parts of the application state that need the window.
static void StartApplication() {
  g_backStackTop = -1;                                              // step 10
  CreateDirectoryW(TEXT("\\Application Data\\Melodex"), NULL);      // step 11, result unused
  OpenLog();                                                        // step 12
  WriteLog("Melodex starting up\r\n");
  g_softKeyBar = new SoftKeyBar();                                  // step 13
  LoadSettings();                                                   // step 14
  SwitchScreen(SCREEN_SPLASH);                                      // step 15
}

BOOL InitInstance(HINSTANCE hInstance, int nCmdShow) {
  WCHAR title[MAX_LOADSTRING];
  WCHAR className[MAX_LOADSTRING];
  g_hInst = hInstance;                                              // step 1
  LoadStringW(hInstance, IDS_APP_TITLE, title, MAX_LOADSTRING);     // step 2
  LoadStringW(hInstance, IDS_WINDOW_CLASS, className, MAX_LOADSTRING);
  if (BringRunningCopyForward(className, title)) return FALSE;      // step 3
  if (!RegisterMainWindowClass(hInstance, className)) return FALSE; // step 4
  HWND hWnd = CreateWindowExW(0, className, title, WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT,
                              CW_USEDEFAULT, CW_USEDEFAULT, NULL, NULL, hInstance, NULL);  // step 5
  if (hWnd == NULL) return FALSE;
  g_hWnd = hWnd;                                                    // step 6
  g_recorder = NULL;
  g_nCurrentScreen = SCREEN_NONE;
  HDC windowDC = GetDC(hWnd);                                       // step 7, never released
  AdjustWindowPlacement(hWnd);                                      // step 8
  CreateDrawingSurfaces(windowDC);                                  // step 9
  StartApplication();                                               // steps 10 to 15
  ShowWindow(hWnd, nCmdShow);                                       // step 16
  UpdateWindow(hWnd);
  return TRUE;                                                      // step 17
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
