// gdi32's handles: stale and deferred deletion, their values, and their use from several threads.
// The stock objects, a new DC's defaults and selection are held against Windows by the probe.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <thread>
#include <vector>

#include "gdi32/handles.h"
#include "pixels.h"

namespace {

TEST(DeleteObject, StaleHandleIsInvalid) {
  HBRUSH b = CreateSolidBrush(RGB(1, 2, 3));
  ASSERT_NE(b, nullptr);
  EXPECT_TRUE(DeleteObject(b));
  EXPECT_EQ(GetObjectType(b), 0u);
  EXPECT_FALSE(DeleteObject(b));
  // A new object reusing the slot gets a different handle value.
  HBRUSH c = CreateSolidBrush(RGB(1, 2, 3));
  EXPECT_NE(b, c);
  EXPECT_FALSE(DeleteObject(b));
  EXPECT_TRUE(DeleteObject(c));
}

TEST(Handles, AreSmallValuesNotPointers) {
  HBRUSH b = CreateSolidBrush(0);
  auto v = reinterpret_cast<uintptr_t>(b);
  EXPECT_GT(v, 31u);          // never confused with a system colour index (FillRect)
  EXPECT_LT(v, 0x80000000u);  // a table slot and generation, not an address
  EXPECT_EQ(GetObjectType(reinterpret_cast<HGDIOBJ>(v | 0x40000000u)), 0u);
  DeleteObject(b);
}

// A size a bitmap cannot have is refused, not allocated.
TEST(CreateCompatibleBitmap, RefusesSizesItCannotHold) {
  HDC dc = CreateCompatibleDC(nullptr);
  EXPECT_EQ(CreateCompatibleBitmap(dc, -1, 5), nullptr);
  EXPECT_EQ(CreateCompatibleBitmap(dc, 100000, 100000), nullptr);
  EXPECT_EQ(GetObjectW(nullptr, sizeof(BITMAP), nullptr), 0);
  DeleteDC(dc);
}

TEST(DeleteObject, SelectedObjectIsDeletedWhenDeselected) {
  size_t before = gdi::LiveObjectCount();
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bmp = CreateCompatibleBitmap(dc, 4, 4);
  HGDIOBJ old = SelectObject(dc, bmp);
  EXPECT_TRUE(DeleteObject(bmp));  // succeeds, as on Windows, but the bitmap stays in use
  EXPECT_EQ(GetObjectType(bmp), static_cast<DWORD>(OBJ_BITMAP));
  RECT r{0, 0, 4, 4};
  EXPECT_TRUE(FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH))));
  EXPECT_EQ(SelectObject(dc, old), bmp);
  EXPECT_EQ(GetObjectType(bmp), 0u);  // gone once deselected
  DeleteDC(dc);
  EXPECT_EQ(gdi::LiveObjectCount(), before);
}

// Worker threads may draw while the user-interface thread creates and deletes objects.
TEST(Handles, ThreadSafe) {
  size_t before = gdi::LiveObjectCount();
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&failures, t] {
      testpix::Canvas canvas(16, 16);
      for (int i = 0; i < 500; ++i) {
        HBRUSH b = CreateSolidBrush(RGB(t, i & 255, 0));
        RECT r{i % 16, 0, 16, 16};
        if (!b || !FillRect(canvas.dc, &r, b)) ++failures;
        HGDIOBJ old = SelectObject(canvas.dc, b);
        DeleteObject(b);  // deferred: still selected
        SelectObject(canvas.dc, old);
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(gdi::LiveObjectCount(), before);
}

}  // namespace
