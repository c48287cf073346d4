// Part 1.1: WinMain, the process entry called by the platform's start-up code.
#include <windows.h>

#include "app/MainWindow.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPWSTR lpCmdLine, int nCmdShow) {
  // Step 1.
  if (!InitInstance(hInstance, nCmdShow)) return 0;
  // Step 2: the resource set defines no accelerator table, so nothing is ever translated.
  HACCEL accelerators = LoadAcceleratorsW(hInstance, MAKEINTRESOURCEW(IDR_ACCELERATORS));
  // Step 3.
  MSG msg;
  while (GetMessageW(&msg, NULL, 0, 0)) {
    if (!TranslateAcceleratorW(msg.hwnd, accelerators, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  // Step 4: the quit message's wParam; nothing is torn down.
  return (int)msg.wParam;
}
