// FillRect (with and without a clip region), SelectClipRgn, MoveToEx and LineTo.
#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

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

// Inverted corners fill the mirror image: from right + 1 to left + 1 (and likewise down).
TEST(FillRect, InvertedCornersFillTheMirrorImage) {
  testpix::Canvas c(10, 10);
  HBRUSH b = CreateSolidBrush(RGB(0, 0, 0));
  RECT inverted{6, 7, 2, 3};
  EXPECT_EQ(FillRect(c.dc, &inverted, b), 1);
  device::Surface s = testpix::Pixels(c.dc);
  EXPECT_EQ(CountPixels(s, 0), 4 * 4);
  EXPECT_EQ(s.at(3, 4), 0u);
  EXPECT_EQ(s.at(6, 7), 0u);
  EXPECT_EQ(s.at(2, 3), kWhite);
  DeleteObject(b);
}

TEST(FillRect, WithClipRegion) {
  testpix::Canvas c(20, 20);
  RECT clip{5, 5, 12, 9};
  HRGN rgn = CreateRectRgnIndirect(&clip);
  EXPECT_EQ(SelectClipRgn(c.dc, rgn), SIMPLEREGION);
  EXPECT_TRUE(DeleteObject(rgn));  // the DC keeps its own copy (the results screen deletes it)
  RECT all{0, 0, 20, 20};
  HBRUSH b = CreateSolidBrush(RGB(255, 252, 0));
  FillRect(c.dc, &all, b);
  device::Surface s = testpix::Pixels(c.dc);
  EXPECT_EQ(CountPixels(s, 0x00FFFC00u), 7 * 4);
  EXPECT_EQ(s.at(5, 5), 0x00FFFC00u);
  EXPECT_EQ(s.at(11, 8), 0x00FFFC00u);
  EXPECT_EQ(s.at(12, 8), kWhite);
  EXPECT_EQ(s.at(4, 5), kWhite);
  RECT box{};
  EXPECT_EQ(GetClipBox(c.dc, &box), SIMPLEREGION);
  EXPECT_EQ(box.left, 5);
  EXPECT_EQ(box.bottom, 9);

  // A null region removes the clipping.
  EXPECT_EQ(SelectClipRgn(c.dc, nullptr), SIMPLEREGION);
  FillRect(c.dc, &all, b);
  EXPECT_EQ(CountPixels(testpix::Pixels(c.dc), 0x00FFFC00u), 400);
  DeleteObject(b);
}

TEST(FillRect, SystemColourIndexBrush) {
  testpix::Canvas c(4, 4, RGB(0, 0, 0));
  RECT r{0, 0, 4, 4};
  EXPECT_EQ(FillRect(c.dc, &r, reinterpret_cast<HBRUSH>(static_cast<uintptr_t>(5 + 1))), 1);  // COLOR_WINDOW+1
  EXPECT_EQ(GetPixel(c.dc, 0, 0), RGB(255, 255, 255));
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

TEST(LineTo, VerticalDiagonalAndBackwards) {
  testpix::Canvas c(12, 12);
  MoveToEx(c.dc, 1, 1, nullptr);
  LineTo(c.dc, 1, 6);  // (1,1)..(1,5)
  MoveToEx(c.dc, 3, 3, nullptr);
  LineTo(c.dc, 8, 8);  // (3,3)..(7,7)
  MoveToEx(c.dc, 10, 10, nullptr);
  LineTo(c.dc, 6, 10);  // (10,10)..(7,10)
  device::Surface s = testpix::Pixels(c.dc);
  EXPECT_EQ(s.at(1, 5), 0u);
  EXPECT_EQ(s.at(1, 6), kWhite);
  EXPECT_EQ(s.at(7, 7), 0u);
  EXPECT_EQ(s.at(8, 8), kWhite);
  EXPECT_EQ(s.at(7, 10), 0u);
  EXPECT_EQ(s.at(6, 10), kWhite);
  EXPECT_EQ(CountPixels(s, 0), 5 + 5 + 4);
}

// Where the ideal line passes half-way between two pixels, the octants 3, 5, 6 and 8 round
// the other way, so that a line and its reverse cover the same pixels between their ends.
TEST(LineTo, HalfPixelTiesRoundAsWindowsDoes) {
  struct Case {
    POINT from, to;
    std::vector<POINT> drawn;
  } cases[] = {{{0, 0}, {4, 1}, {{0, 0}, {1, 0}, {2, 0}, {3, 1}}},
               {{4, 1}, {0, 0}, {{4, 1}, {3, 1}, {2, 0}, {1, 0}}},
               {{0, 0}, {1, 4}, {{0, 0}, {0, 1}, {0, 2}, {1, 3}}},
               {{1, 4}, {0, 0}, {{1, 4}, {1, 3}, {0, 2}, {0, 1}}}};
  for (const Case& k : cases) {
    testpix::Canvas c(8, 8);
    MoveToEx(c.dc, k.from.x, k.from.y, nullptr);
    LineTo(c.dc, k.to.x, k.to.y);
    device::Surface s = testpix::Pixels(c.dc);
    EXPECT_EQ(CountPixels(s, 0), static_cast<int>(k.drawn.size()));
    for (POINT p : k.drawn) EXPECT_EQ(s.at(p.x, p.y), 0u) << k.from.x << "," << k.from.y << " " << p.x << "," << p.y;
  }
}

// A 3-pixel pen: three rows from the start to the end, and a round cap (a plus sign of
// pixels) centred on each end, so the line reaches one pixel past both ends on its axis.
TEST(LineTo, WidePenHasRoundCaps) {
  testpix::Canvas c(12, 12);
  HPEN pen = CreatePen(PS_SOLID, 3, RGB(0, 0, 0));
  HGDIOBJ old = SelectObject(c.dc, pen);
  MoveToEx(c.dc, 2, 5, nullptr);
  LineTo(c.dc, 8, 5);
  device::Surface s = testpix::Pixels(c.dc);
  EXPECT_EQ(CountPixels(s, 0), 6 * 3 + 1 + 4);
  for (POINT p : {POINT{1, 5}, POINT{2, 4}, POINT{7, 6}, POINT{8, 4}, POINT{8, 6}, POINT{9, 5}})
    EXPECT_EQ(s.at(p.x, p.y), 0u) << p.x << "," << p.y;
  for (POINT p : {POINT{1, 4}, POINT{9, 4}, POINT{9, 6}, POINT{5, 7}}) EXPECT_EQ(s.at(p.x, p.y), kWhite) << p.x << "," << p.y;
  SelectObject(c.dc, old);
  DeleteObject(pen);
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

TEST(LineTo, ClippedByRegion) {
  testpix::Canvas c(10, 10);
  HRGN rgn = CreateRectRgn(3, 0, 6, 10);
  SelectClipRgn(c.dc, rgn);
  DeleteObject(rgn);
  MoveToEx(c.dc, 0, 2, nullptr);
  LineTo(c.dc, 10, 2);
  SelectClipRgn(c.dc, nullptr);
  EXPECT_EQ(CountPixels(testpix::Pixels(c.dc), 0), 3);
}

}  // namespace
