// WinMain, the process entry called by the platform's start-up code.
#include <windows.h>

#include "app/MainWindow.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPWSTR lpCmdLine, int nCmdShow) {
  if (!InitInstance(hInstance, nCmdShow)) return 0;
  // The resource set defines no accelerator table, so nothing is ever translated.
  HACCEL accelerators = LoadAcceleratorsW(hInstance, MAKEINTRESOURCEW(IDR_ACCELERATORS));
  MSG msg;
  while (GetMessageW(&msg, NULL, 0, 0)) {
    if (!TranslateAcceleratorW(msg.hwnd, accelerators, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  // The quit message's wParam; nothing is torn down.
  return (int)msg.wParam;
}
