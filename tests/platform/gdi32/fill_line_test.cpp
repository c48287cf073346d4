// FillRect, SelectClipRgn, MoveToEx and LineTo where the screens rely on them; fills, lines and
// clipping pixel for pixel are held against Windows by the conformance probe.
#include <gtest/gtest.h>
#include <windows.h>

#include "gdi32/handles.h"
#include "pixels.h"

namespace {

constexpr uint32_t kWhite = 0x00FFFFFF;

int CountPixels(const device::Surface& s, uint32_t v) {
  int n = 0;
  for (uint32_t p : s.pixels) n += p == v;
  return n;
}

TEST(FillRect, RightAndBottomExcluded) {
  testpix::Canvas c(10, 10);
  RECT r{2, 3, 5, 7};
  HBRUSH b = CreateSolidBrush(RGB(0, 119, 192));
  EXPECT_EQ(FillRect(c.dc, &r, b), 1);
  device::Surface s = testpix::Pixels(c.dc);
  EXPECT_EQ(s.at(2, 3), 0x000077C0u);
  EXPECT_EQ(s.at(4, 6), 0x000077C0u);
  EXPECT_EQ(s.at(5, 6), kWhite);
  EXPECT_EQ(s.at(4, 7), kWhite);
  EXPECT_EQ(CountPixels(s, 0x000077C0u), 3 * 4);
  DeleteObject(b);
}

TEST(FillRect, OutsideAndEmptyRects) {
  testpix::Canvas c(10, 10);
  HBRUSH b = CreateSolidBrush(RGB(0, 0, 0));
  RECT outside{-5, -5, 0, 20};
  RECT empty{4, 4, 4, 9};
  RECT huge{-1000, -1000, 1000, 1000};
  EXPECT_EQ(FillRect(c.dc, &outside, b), 1);
  EXPECT_EQ(FillRect(c.dc, &empty, b), 1);
  EXPECT_EQ(FillRect(c.dc, &huge, static_cast<HBRUSH>(GetStockObject(NULL_BRUSH))), 1);  // paints nothing
  EXPECT_EQ(CountPixels(testpix::Pixels(c.dc), 0), 0);
  EXPECT_EQ(FillRect(c.dc, &huge, b), 1);
  EXPECT_EQ(CountPixels(testpix::Pixels(c.dc), 0), 100);
  EXPECT_EQ(FillRect(c.dc, nullptr, b), 0);
  EXPECT_EQ(FillRect(c.dc, &huge, nullptr), 0);
  DeleteObject(b);
}

TEST(SelectClipRgn, EmptyAndBadRegions) {
  testpix::Canvas c(10, 10);
  HRGN empty = CreateRectRgn(4, 4, 4, 9);
  EXPECT_EQ(SelectClipRgn(c.dc, empty), NULLREGION);
  RECT all{0, 0, 10, 10};
  FillRect(c.dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  EXPECT_EQ(CountPixels(testpix::Pixels(c.dc), 0), 0);
  EXPECT_EQ(SelectClipRgn(c.dc, reinterpret_cast<HRGN>(static_cast<uintptr_t>(0x7FFF1234))), ERROR);
  DeleteObject(empty);
  // SelectObject with a region acts as SelectClipRgn.
  HRGN rgn = CreateRectRgn(8, 8, 0, 0);  // corners normalised
  EXPECT_EQ(reinterpret_cast<intptr_t>(SelectObject(c.dc, rgn)), SIMPLEREGION);
  FillRect(c.dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  EXPECT_EQ(CountPixels(testpix::Pixels(c.dc), 0), 64);
  DeleteObject(rgn);
}

TEST(LineTo, EndPointExcluded) {
  testpix::Canvas c(12, 12);
  POINT old{-1, -1};
  EXPECT_TRUE(MoveToEx(c.dc, 2, 5, &old));
  EXPECT_EQ(old.x, 0);
  EXPECT_EQ(old.y, 0);
  EXPECT_TRUE(LineTo(c.dc, 9, 5));  // default pen: black, 1 pixel
  device::Surface s = testpix::Pixels(c.dc);
  for (int x = 2; x < 9; ++x) EXPECT_EQ(s.at(x, 5), 0u) << x;
  EXPECT_EQ(s.at(9, 5), kWhite);  // the end point is not drawn
  EXPECT_EQ(s.at(1, 5), kWhite);
  EXPECT_EQ(CountPixels(s, 0), 7);
  // The end point became the current position.
  MoveToEx(c.dc, 0, 0, &old);
  EXPECT_EQ(old.x, 9);
  EXPECT_EQ(old.y, 5);
}

TEST(LineTo, RowSeparatorIsClippedToTheSurfaceAndANullPenDrawsNothing) {
  // The history screen draws a row's separator from (L, T) to (R + 1, T) with the highlight pen.
  testpix::Canvas c(20, 10);
  HPEN pen = CreatePen(PS_SOLID, 1, RGB(255, 252, 0));
  HGDIOBJ old = SelectObject(c.dc, pen);
  MoveToEx(c.dc, -5, 4, nullptr);
  LineTo(c.dc, 21, 4);
  device::Surface s = testpix::Pixels(c.dc);
  EXPECT_EQ(CountPixels(s, 0x00FFFC00u), 20);
  HGDIOBJ nullPen = GetStockObject(NULL_PEN);
  SelectObject(c.dc, nullPen);
  MoveToEx(c.dc, 0, 6, nullptr);
  LineTo(c.dc, 10, 6);
  EXPECT_EQ(CountPixels(testpix::Pixels(c.dc), 0x00FFFC00u), 20);
  SelectObject(c.dc, old);
  DeleteObject(pen);
}

}  // namespace
