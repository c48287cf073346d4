// The message queue: Windows' retrieval order, filters and WM_QUIT, posts from worker threads, key
// input. First-in first-out posting, WM_QUIT's place, SendMessageW and posting to a destroyed
// window are held against Windows by the probe.
#include <gtest/gtest.h>

#include <thread>

#include "device/Clock.h"
#include "recorder.h"

namespace {

// All four kinds waiting at once: posted, then input, then paint, then the due timer.
TEST(GetMessageOrder, PostedThenInputThenPaintThenTimer) {
  Recording r;
  SetTimer(r.hwnd, 7, 100, nullptr);
  device::Clock::advanceTo(r.driver.now() + 100);  // due, and nobody has read the queue
  RedrawWindow(r.hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_INTERNALPAINT);
  r.driver.keyUp(VK_RETURN);
  PostMessageW(r.hwnd, WM_USER, 0, 0);
  received().clear();
  r.driver.runPending();
  EXPECT_EQ(MessagesOnly(), (std::vector<UINT>{WM_USER, WM_KEYUP, WM_PAINT, WM_TIMER}));
}

// PeekMessageW takes the first message its window and range filters pass and leaves the rest
// queued in order; WM_PAINT and WM_TIMER pass only a range that holds them; WM_QUIT passes all.
TEST(PeekMessageW, FiltersByWindowAndRangeAndLeavesTheRestQueued) {
  Recording r;
  HWND other = CreateRecordingWindow();
  r.driver.runPending();
  PostMessageW(r.hwnd, WM_USER + 1, 0, 0);
  PostMessageW(other, WM_USER + 2, 0, 0);
  PostMessageW(r.hwnd, WM_USER + 3, 0, 0);
  InvalidateRect(r.hwnd, nullptr, FALSE);
  struct Case {
    HWND window;
    UINT first, last;
    UINT got;  // 0: nothing
  } cases[] = {{nullptr, WM_USER + 3, WM_USER + 3, WM_USER + 3}, {nullptr, WM_USER + 4, WM_USER + 9, 0},
               {other, 0, 0, WM_USER + 2},                       {nullptr, WM_USER, WM_USER + 99, WM_USER + 1},
               {nullptr, WM_USER, WM_USER + 99, 0},              {nullptr, WM_PAINT, WM_PAINT, WM_PAINT}};
  for (const Case& k : cases) {
    MSG msg{};
    BOOL got = PeekMessageW(&msg, k.window, k.first, k.last, PM_NOREMOVE);
    EXPECT_EQ(got != FALSE, k.got != 0) << k.first;
    if (!got) continue;
    EXPECT_EQ(msg.message, k.got);
    EXPECT_TRUE(PeekMessageW(&msg, k.window, k.first, k.last, PM_REMOVE));
    EXPECT_EQ(msg.message, k.got);
  }
  ValidateRect(r.hwnd, nullptr);
  PostQuitMessage(0);
  MSG msg{};
  EXPECT_TRUE(PeekMessageW(&msg, r.hwnd, WM_USER, WM_USER, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
}

TEST(PostMessageW, FromAWorkerThreadReachesTheWindowProcedureOnTheUiThread) {
  Recording r;
  std::thread::id procThread;
  onMessage() = [&](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
    if (m == WM_USER) procThread = std::this_thread::get_id();
    return DefWindowProcW(h, m, w, l);
  };
  std::thread worker([hwnd = r.hwnd] { PostMessageW(hwnd, WM_USER, 42, 0); });
  ASSERT_TRUE(r.driver.waitForPosted(5000));
  worker.join();
  r.driver.runPending();
  ASSERT_EQ(received().size(), 1u);
  EXPECT_EQ(received()[0].wParam, 42u);
  EXPECT_EQ(procThread, std::this_thread::get_id());
}

TEST(KeyInput, ArrivesAsKeyDownThenKeyUpWithWindowsKeyData) {
  Recording r;
  r.driver.press(VK_DOWN);
  std::vector<UINT> order = MessagesOnly(WM_PAINT);
  ASSERT_EQ(order.size(), 2u);
  EXPECT_EQ(order[0], static_cast<UINT>(WM_KEYDOWN));
  EXPECT_EQ(order[1], static_cast<UINT>(WM_KEYUP));
  EXPECT_EQ(received().back().wParam, static_cast<WPARAM>(VK_DOWN));
  EXPECT_EQ(static_cast<uint32_t>(received().back().lParam), 0xC0000001u);
}

}  // namespace
