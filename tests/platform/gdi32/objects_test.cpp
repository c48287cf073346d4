// Conformance tests of gdi32's objects and handles, one group per function (Wine style).
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <thread>
#include <vector>

#include "gdi32/handles.h"
#include "pixels.h"

namespace {

TEST(GetStockObject, BrushesPensAndFontsExist) {
  for (int i : {WHITE_BRUSH, LTGRAY_BRUSH, GRAY_BRUSH, DKGRAY_BRUSH, BLACK_BRUSH, NULL_BRUSH})
    EXPECT_EQ(GetObjectType(GetStockObject(i)), static_cast<DWORD>(OBJ_BRUSH)) << i;
  for (int i : {WHITE_PEN, BLACK_PEN, NULL_PEN}) EXPECT_EQ(GetObjectType(GetStockObject(i)), static_cast<DWORD>(OBJ_PEN));
  EXPECT_EQ(GetObjectType(GetStockObject(SYSTEM_FONT)), static_cast<DWORD>(OBJ_FONT));
  EXPECT_EQ(GetStockObject(WHITE_BRUSH), GetStockObject(0));  // the window class's background
  LOGBRUSH lb{};
  ASSERT_EQ(GetObjectW(GetStockObject(WHITE_BRUSH), sizeof lb, &lb), static_cast<int>(sizeof lb));
  EXPECT_EQ(lb.lbColor, RGB(255, 255, 255));
  EXPECT_EQ(GetStockObject(99), nullptr);
}

TEST(DeleteObject, StockObjectsSurvive) {
  HGDIOBJ white = GetStockObject(WHITE_BRUSH);
  EXPECT_TRUE(DeleteObject(white));  // Windows: TRUE, and nothing happens
  EXPECT_EQ(GetObjectType(white), static_cast<DWORD>(OBJ_BRUSH));
}

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

TEST(CreateCompatibleDC, DefaultsAsWindows) {
  HDC dc = CreateCompatibleDC(nullptr);
  ASSERT_NE(dc, nullptr);
  EXPECT_EQ(GetObjectType(dc), static_cast<DWORD>(OBJ_MEMDC));
  EXPECT_EQ(GetBkMode(dc), OPAQUE);
  EXPECT_EQ(GetBkColor(dc), RGB(255, 255, 255));
  EXPECT_EQ(GetTextColor(dc), RGB(0, 0, 0));
  EXPECT_EQ(GetCurrentObject(dc, OBJ_BRUSH), GetStockObject(WHITE_BRUSH));
  EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), GetStockObject(BLACK_PEN));
  BITMAP bm{};
  ASSERT_EQ(GetObjectW(GetCurrentObject(dc, OBJ_BITMAP), sizeof bm, &bm), static_cast<int>(sizeof bm));
  EXPECT_EQ(bm.bmWidth, 1);
  EXPECT_EQ(bm.bmHeight, 1);
  EXPECT_TRUE(DeleteDC(dc));
  EXPECT_FALSE(DeleteDC(dc));
  EXPECT_FALSE(DeleteObject(GetStockObject(WHITE_BRUSH)) == FALSE);
}

TEST(GetObjectW, BitmapDescription) {
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bmp = CreateCompatibleBitmap(dc, 320, 46);
  ASSERT_NE(bmp, nullptr);
  EXPECT_EQ(GetObjectW(bmp, 0, nullptr), static_cast<int>(sizeof(BITMAP)));
  BITMAP bm{};
  ASSERT_EQ(GetObjectW(bmp, sizeof bm, &bm), static_cast<int>(sizeof bm));
  EXPECT_EQ(bm.bmWidth, 320);
  EXPECT_EQ(bm.bmHeight, 46);
  EXPECT_EQ(bm.bmBitsPixel, 32);
  EXPECT_EQ(bm.bmPlanes, 1);
  EXPECT_EQ(bm.bmWidthBytes, 320 * 4);
  EXPECT_EQ(GetObjectW(nullptr, sizeof bm, &bm), 0);
  EXPECT_EQ(CreateCompatibleBitmap(dc, -1, 5), nullptr);
  EXPECT_EQ(CreateCompatibleBitmap(dc, 100000, 100000), nullptr);  // refused, not allocated
  DeleteObject(bmp);
  DeleteDC(dc);
}

TEST(SelectObject, ReturnsPreviousAndBitmapInOneDcOnly) {
  HDC a = CreateCompatibleDC(nullptr);
  HDC b = CreateCompatibleDC(nullptr);
  HBITMAP bmp = CreateCompatibleBitmap(a, 8, 8);
  HGDIOBJ defaultBitmap = SelectObject(a, bmp);
  EXPECT_NE(defaultBitmap, nullptr);
  EXPECT_EQ(SelectObject(a, bmp), bmp);        // again into the same DC: fine
  EXPECT_EQ(SelectObject(b, bmp), nullptr);    // Windows: a bitmap is in one DC at a time
  HBRUSH brush = CreateSolidBrush(RGB(9, 9, 9));
  EXPECT_EQ(SelectObject(a, brush), GetStockObject(WHITE_BRUSH));
  EXPECT_EQ(SelectObject(a, GetStockObject(WHITE_BRUSH)), brush);
  EXPECT_EQ(SelectObject(a, defaultBitmap), bmp);
  EXPECT_NE(SelectObject(b, bmp), nullptr);    // free again
  EXPECT_EQ(SelectObject(nullptr, brush), nullptr);
  SelectObject(b, defaultBitmap);
  DeleteObject(brush);
  DeleteObject(bmp);
  DeleteDC(a);
  DeleteDC(b);
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

TEST(SetBkMode, ModesAndColours) {
  HDC dc = CreateCompatibleDC(nullptr);
  EXPECT_EQ(SetBkMode(dc, TRANSPARENT), OPAQUE);
  EXPECT_EQ(SetBkMode(dc, OPAQUE), TRANSPARENT);
  EXPECT_EQ(SetBkMode(dc, 7), 0);
  EXPECT_EQ(SetBkColor(dc, RGB(255, 252, 0)), RGB(255, 255, 255));
  EXPECT_EQ(GetBkColor(dc), RGB(255, 252, 0));
  EXPECT_EQ(SetTextColor(dc, RGB(1, 2, 3)), RGB(0, 0, 0));
  EXPECT_EQ(SetBkColor(nullptr, 0), CLR_INVALID);
  DeleteDC(dc);
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
