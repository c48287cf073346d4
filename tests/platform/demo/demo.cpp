#include "demo.h"

#include <chrono>
#include <cstdio>
#include <thread>

namespace {

HWND g_demoWindow = nullptr;

void PaintDemo(HWND hwnd) {
  PAINTSTRUCT ps;
  HDC hdc = BeginPaint(hwnd, &ps);
  if (!hdc) return;
  RECT client;
  GetClientRect(hwnd, &client);
  HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
  FillRect(hdc, &client, white);
  DeleteObject(white);
  const DemoState& s = demoState();
  RECT box{s.x, s.y, s.x + kDemoSize, s.y + kDemoSize};
  HBRUSH brush = CreateSolidBrush(s.colour);
  FillRect(hdc, &box, brush);
  DeleteObject(brush);
  EndPaint(hwnd, &ps);
}

void OnKeyUp(HWND hwnd, WPARAM key) {
  DemoState& s = demoState();
  printf("demo: key 0x%02x\n", static_cast<unsigned>(key));
  switch (key) {
    case VK_LEFT: s.x -= kDemoStep; break;
    case VK_RIGHT: s.x += kDemoStep; break;
    case VK_UP: s.y -= kDemoStep; break;
    case VK_DOWN: s.y += kDemoStep; break;
    case VK_RETURN: s.colour = s.colour == RGB(204, 0, 152) ? RGB(0, 119, 192) : RGB(204, 0, 152); break;
    case VK_ESCAPE: PostQuitMessage(0); return;
    case VK_F1:
      // A worker that reports back a while later in real time, as the client's workers do.
      std::thread([hwnd] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        PostMessageW(hwnd, WM_APP, 0, 0);
      }).detach();
      return;
    default: return;
  }
  RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_INTERNALPAINT);
}

LRESULT CALLBACK DemoProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT: PaintDemo(hwnd); return 0;
    case WM_KEYUP: OnKeyUp(hwnd, wParam); return 0;
    case WM_APP: printf("demo: worker done at %lu ms\n", static_cast<unsigned long>(GetTickCount())); return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    default: return DefWindowProcW(hwnd, message, wParam, lParam);
  }
}

}  // namespace

DemoState& demoState() {
  static DemoState s;
  return s;
}

BOOL DemoInitInstance(HINSTANCE instance, int show) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = DemoProc;
  wc.hInstance = instance;
  wc.lpszClassName = TEXT("DEMO");
  if (!RegisterClassW(&wc)) return FALSE;
  g_demoWindow = CreateWindowExW(0, TEXT("DEMO"), TEXT("Demo"), 0, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                 CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
  if (!g_demoWindow) return FALSE;
  ShowWindow(g_demoWindow, show);
  UpdateWindow(g_demoWindow);
  printf("demo: started\n");
  return TRUE;
}

int DemoWinMain(HINSTANCE instance, int show) {
  if (!DemoInitInstance(instance, show)) return 1;
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  printf("demo: ended\n");
  return static_cast<int>(msg.wParam);
}
