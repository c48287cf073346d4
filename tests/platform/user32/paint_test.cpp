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

TEST(WmPaint, ComesWhileTheUpdateRegionIsNotEmptyAndStopsAfterBeginPaint) {
  Recording r;
  RedrawWindow(r.hwnd, nullptr, nullptr, RDW_INVALIDATE);
  RECT update;
  EXPECT_TRUE(GetUpdateRect(r.hwnd, &update, FALSE));
  RECT client;
  GetClientRect(r.hwnd, &client);
  EXPECT_EQ(update.right, client.right);
  EXPECT_EQ(update.bottom, client.bottom);
  r.driver.runPending();  // DefWindowProcW's WM_PAINT calls BeginPaint and EndPaint
  EXPECT_EQ(CountPaints(), 1);
  EXPECT_FALSE(GetUpdateRect(r.hwnd, &update, FALSE));
  r.driver.advance(1000);
  EXPECT_EQ(CountPaints(), 1);
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

// Two invalidations join: the update rectangle covers both.
TEST(BeginPaint, GivesTheUnionOfTheInvalidatedRectangles) {
  Recording r;
  RECT first{10, 20, 30, 40};
  RECT second{50, 5, 60, 25};
  InvalidateRect(r.hwnd, &first, FALSE);
  InvalidateRect(r.hwnd, &second, FALSE);
  PAINTSTRUCT ps;
  EXPECT_NE(BeginPaint(r.hwnd, &ps), nullptr);
  EXPECT_EQ(ps.rcPaint.left, 10);
  EXPECT_EQ(ps.rcPaint.top, 5);
  EXPECT_EQ(ps.rcPaint.right, 60);
  EXPECT_EQ(ps.rcPaint.bottom, 40);
  EndPaint(r.hwnd, &ps);
  EXPECT_FALSE(GetUpdateRect(r.hwnd, nullptr, FALSE));
}

}  // namespace
