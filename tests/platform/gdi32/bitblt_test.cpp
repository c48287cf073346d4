// BitBlt: SRCCOPY clipped at every edge of the destination (negative destinations included),
// fully outside, source bounds, clip regions, overlapping copies; and what SelectClipRgn does
// with empty and bad regions. Fills, lines and clipping pixel for pixel are held against Windows
// by the conformance probe.
#include <gtest/gtest.h>
#include <windows.h>

#include "gdi32/handles.h"
#include "pixels.h"

namespace {

constexpr int kSrc = 10, kDst = 30;
constexpr uint32_t kWhite = 0x00FFFFFF;

uint32_t Pattern(int x, int y) { return 0x00100000u | static_cast<uint32_t>(x << 8 | y); }

struct Fixture {
  HDC src = CreateCompatibleDC(nullptr);
  HBITMAP srcBmp;
  HGDIOBJ srcOld;
  testpix::Canvas dst{kDst, kDst};
  Fixture() {
    device::Surface s(kSrc, kSrc);
    for (int y = 0; y < kSrc; ++y)
      for (int x = 0; x < kSrc; ++x) s.row(y)[x] = Pattern(x, y);
    srcBmp = gdi::CreateBitmapFromSurface(std::move(s));
    srcOld = SelectObject(src, srcBmp);
  }
  ~Fixture() {
    SelectObject(src, srcOld);
    DeleteObject(srcBmp);
    DeleteDC(src);
  }
  // Blits and compares every destination pixel with the model: a pixel whose source lies in
  // the source bitmap is copied, every other one stays white.
  void check(int x, int y, int cx, int cy, int sx, int sy) {
    EXPECT_TRUE(BitBlt(dst.dc, x, y, cx, cy, src, sx, sy, SRCCOPY));
    device::Surface got = testpix::Pixels(dst.dc);
    int bad = 0;
    for (int py = 0; py < kDst; ++py) {
      for (int px = 0; px < kDst; ++px) {
        int u = px - x + sx, v = py - y + sy;
        bool inDst = px >= x && px < x + cx && py >= y && py < y + cy;
        bool inSrc = u >= 0 && u < kSrc && v >= 0 && v < kSrc;
        uint32_t want = inDst && inSrc ? Pattern(u, v) : kWhite;
        if (got.at(px, py) != want) ++bad;
      }
    }
    EXPECT_EQ(bad, 0) << "blit at " << x << "," << y << " from " << sx << "," << sy << ": "
                      << testpix::Dump(got, "bitblt_mismatch");
  }
};

// Each destination pixel is copied from the source when both lie inside their bitmaps and
// stays white otherwise: inside, across every edge and corner, fully outside, and with a source
// that starts before or runs past its bitmap.
TEST(BitBlt, CopiesOnlyWhereDestinationAndSourceOverlapTheirBitmaps) {
  const struct {
    int x, y, cx, cy, sx, sy;
  } cases[] = {
      {5, 7, kSrc, kSrc, 0, 0},    {-4, 3, kSrc, kSrc, 0, 0},   {3, -6, kSrc, kSrc, 0, 0},
      {kDst - 3, 3, kSrc, kSrc, 0, 0}, {3, kDst - 2, kSrc, kSrc, 0, 0}, {-9, -9, kSrc, kSrc, 0, 0},
      {kDst - 1, kDst - 1, kSrc, kSrc, 0, 0}, {kDst, 0, kSrc, kSrc, 0, 0}, {-kSrc, 0, kSrc, kSrc, 0, 0},
      {0, kDst + 5, kSrc, kSrc, 0, 0}, {0, -kSrc - 1, kSrc, kSrc, 0, 0}, {5, 5, kSrc, kSrc, -3, -2},
      {5, 5, kSrc, kSrc, 6, 4},    {5, 5, 4, 4, 20, 20},        {5, 5, 0, kSrc, 0, 0},
      {5, 5, -3, 4, 0, 0},
  };
  for (const auto& c : cases) Fixture().check(c.x, c.y, c.cx, c.cy, c.sx, c.sy);
}

TEST(BitBlt, ClippedByClipRegion) {
  Fixture f;
  HRGN rgn = CreateRectRgn(6, 6, 9, 12);
  SelectClipRgn(f.dst.dc, rgn);
  DeleteObject(rgn);
  BitBlt(f.dst.dc, 5, 5, kSrc, kSrc, f.src, 0, 0, SRCCOPY);
  SelectClipRgn(f.dst.dc, nullptr);
  device::Surface got = testpix::Pixels(f.dst.dc);
  EXPECT_EQ(got.at(5, 5), kWhite);
  EXPECT_EQ(got.at(6, 6), Pattern(1, 1));
  EXPECT_EQ(got.at(8, 11), Pattern(3, 6));
  EXPECT_EQ(got.at(9, 11), kWhite);
  EXPECT_EQ(got.at(8, 12), kWhite);
}
TEST(BitBlt, OverlappingWithinOneDc) {
  testpix::Canvas c(8, 8);
  for (int x = 0; x < 8; ++x) SetPixel(c.dc, x, 0, RGB(x * 10, 0, 0));
  for (int y = 0; y < 8; ++y) SetPixel(c.dc, 0, y, RGB(0, y * 10, 0));
  BitBlt(c.dc, 1, 0, 7, 8, c.dc, 0, 0, SRCCOPY);  // shift right by one
  for (int x = 1; x < 8; ++x) EXPECT_EQ(GetPixel(c.dc, x, 0), RGB((x - 1) * 10, 0, 0)) << x;
  BitBlt(c.dc, 0, 1, 8, 7, c.dc, 0, 0, SRCCOPY);  // shift down by one
  EXPECT_EQ(GetPixel(c.dc, 0, 7), RGB(0, 60, 0));  // row 6 moved down
  EXPECT_EQ(GetPixel(c.dc, 3, 1), RGB(20, 0, 0));
}
TEST(BitBlt, RasterOperationsWithoutSource) {
  testpix::Canvas c(4, 4, RGB(10, 20, 30));
  EXPECT_TRUE(BitBlt(c.dc, 0, 0, 2, 2, nullptr, 0, 0, BLACKNESS));
  EXPECT_EQ(GetPixel(c.dc, 1, 1), RGB(0, 0, 0));
  EXPECT_EQ(GetPixel(c.dc, 2, 2), RGB(10, 20, 30));
  EXPECT_TRUE(BitBlt(c.dc, 0, 0, 4, 4, nullptr, 0, 0, WHITENESS));
  EXPECT_EQ(GetPixel(c.dc, 3, 3), RGB(255, 255, 255));
  EXPECT_FALSE(BitBlt(c.dc, 0, 0, 4, 4, nullptr, 0, 0, SRCCOPY));  // needs a source DC
}

TEST(SelectClipRgn, EmptyAndBadRegions) {
  testpix::Canvas c(10, 10);
  HRGN empty = CreateRectRgn(4, 4, 4, 9);
  EXPECT_EQ(SelectClipRgn(c.dc, empty), NULLREGION);
  RECT all{0, 0, 10, 10};
  FillRect(c.dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  EXPECT_EQ(c.count(0), 0);
  EXPECT_EQ(SelectClipRgn(c.dc, reinterpret_cast<HRGN>(static_cast<uintptr_t>(0x7FFF1234))), ERROR);
  DeleteObject(empty);
  // SelectObject with a region acts as SelectClipRgn.
  HRGN rgn = CreateRectRgn(8, 8, 0, 0);  // corners normalised
  EXPECT_EQ(reinterpret_cast<intptr_t>(SelectObject(c.dc, rgn)), SIMPLEREGION);
  FillRect(c.dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  EXPECT_EQ(c.count(0), 64);
  DeleteObject(rgn);
}

}  // namespace
