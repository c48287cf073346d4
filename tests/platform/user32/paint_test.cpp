// Painting: WM_PAINT only while the update region is not empty and the window shown, BeginPaint
// validating. The internal paint and UpdateWindow are held against Windows by the probe.
#include <gtest/gtest.h>

#include "recorder.h"

namespace {

int CountPaints() {
  int n = 0;
  for (const Received& r : received()) n += r.message == WM_PAINT;
  return n;
}

TEST(WmPaint, KeepsComingWhileThePaintDoesNotValidate) {
  Recording r;
  onMessage() = [](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; };  // never BeginPaint
  RedrawWindow(r.hwnd, nullptr, nullptr, RDW_INVALIDATE);
  for (int i = 0; i < 3; ++i) {
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_PAINT));
    DispatchMessageW(&msg);
  }
}

TEST(WmPaint, IsNotSentToAHiddenWindow) {
  device::TestDriver driver;
  HWND hwnd = CreateRecordingWindow(0);
  driver.runPending();
  received().clear();
  RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_INTERNALPAINT);
  driver.runPending();
  EXPECT_EQ(CountPaints(), 0);
  ShowWindow(hwnd, SW_SHOW);
  driver.runPending();
  EXPECT_EQ(CountPaints(), 1);
}

}  // namespace
