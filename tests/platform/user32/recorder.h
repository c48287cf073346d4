// A window class whose procedure records every message it receives, for the user32 tests.
#pragma once

#include <windows.h>

#include <functional>
#include <vector>

#include "device/TestDriver.h"

struct Received {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};

inline std::vector<Received>& received() {
  static std::vector<Received> r;
  return r;
}

// Called for each message before it is recorded; tests set it to act inside the procedure.
inline std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)>& onMessage() {
  static std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)> f;
  return f;
}

inline LRESULT CALLBACK RecordingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  received().push_back({message, wParam, lParam});
  if (onMessage()) return onMessage()(hwnd, message, wParam, lParam);
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

inline HWND CreateRecordingWindow(DWORD style = WS_VISIBLE) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = RecordingProc;
  wc.lpszClassName = TEXT("RECORDER");
  RegisterClassW(&wc);
  return CreateWindowExW(0, TEXT("RECORDER"), TEXT("Recorder"), style, CW_USEDEFAULT, CW_USEDEFAULT,
                         CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);
}

inline std::vector<UINT> MessagesOnly(UINT skipA = 0xFFFF, UINT skipB = 0xFFFF) {
  std::vector<UINT> out;
  for (const Received& r : received())
    if (r.message != skipA && r.message != skipB) out.push_back(r.message);
  return out;
}

// The driver and a visible recording window, its first messages handled and forgotten.
struct Recording {
  Recording() {
    driver.runPending();
    received().clear();
  }
  device::TestDriver driver;
  HWND hwnd = CreateRecordingWindow();
};
