// Fonts and DrawTextW with the screens' default font: its metrics, and DrawTextW's ink, clipping
// and colours. The layouts of every format the screens pass are held against Windows by the probe.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "gdi32/font.h"
#include "gdi32/handles.h"
#include "pixels.h"

static bool operator==(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

namespace {

constexpr uint32_t kWhite = 0x00FFFFFF;

// The screens' fonts: height 0 (results, SMS, history) and 16 (help).
HFONT ScreenFont(LONG height) {
  LOGFONTW lf{};
  lf.lfHeight = height;
  lf.lfWeight = FW_NORMAL;
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfQuality = CLEARTYPE_QUALITY;
  lf.lfPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
  return CreateFontIndirectW(&lf);
}

struct TextCanvas : testpix::Canvas {
  HFONT font;
  HGDIOBJ oldFont;
  explicit TextCanvas(LONG height = 0, int w = 240, int h = 200) : Canvas(w, h) {
    font = ScreenFont(height);
    oldFont = SelectObject(dc, font);
  }
  ~TextCanvas() {
    SelectObject(dc, oldFont);
    DeleteObject(font);
  }
  TEXTMETRICW tm() const {
    TEXTMETRICW m{};
    GetTextMetricsW(dc, &m);
    return m;
  }
  int width(const char16_t* s) const {
    SIZE sz{};
    GetTextExtentPoint32W(dc, s, static_cast<int>(std::char_traits<char16_t>::length(s)), &sz);
    return sz.cx;
  }
};

// The bounding box of every pixel that is not `bg`.
RECT Ink(const device::Surface& s, uint32_t bg = kWhite) {
  RECT r{s.width, s.height, -1, -1};
  for (int y = 0; y < s.height; ++y)
    for (int x = 0; x < s.width; ++x)
      if (s.at(x, y) != bg) {
        r.left = std::min<LONG>(r.left, x);
        r.top = std::min<LONG>(r.top, y);
        r.right = std::max<LONG>(r.right, x + 1);
        r.bottom = std::max<LONG>(r.bottom, y + 1);
      }
  return r;
}

TEST(GetTextMetricsW, DefaultFontLooksLikeTahoma9pt) {
  TextCanvas c(0);
  TEXTMETRICW tm = c.tm();
  // 12 pixels per em (9 pt at 96 dpi): the cell of Tahoma 9 pt on the phone.
  EXPECT_EQ(tm.tmHeight, 14);
  EXPECT_EQ(tm.tmAscent + tm.tmDescent, tm.tmHeight);
  EXPECT_EQ(tm.tmWeight, FW_NORMAL);
  EXPECT_GE(tm.tmAveCharWidth, 5);
  EXPECT_LE(tm.tmAveCharWidth, 7);
  EXPECT_EQ(tm.tmPitchAndFamily & 0xF0, FF_SWISS);
  EXPECT_TRUE(tm.tmPitchAndFamily & TMPF_FIXED_PITCH);  // Win32's bit for *variable* pitch
  EXPECT_TRUE(tm.tmPitchAndFamily & TMPF_TRUETYPE);
  EXPECT_EQ(tm.tmCharSet, ANSI_CHARSET);
  EXPECT_EQ(CreateFontIndirectW(nullptr), nullptr);
  // A new DC's system font is the same default.
  HDC plain = CreateCompatibleDC(nullptr);
  TEXTMETRICW sys{};
  ASSERT_TRUE(GetTextMetricsW(plain, &sys));
  EXPECT_EQ(sys.tmHeight, tm.tmHeight);
  DeleteDC(plain);
}

// DT_CALCRECT keeps the left and top, measures and draws nothing (the widths and line counts
// themselves are held against Windows by the probe); an empty text keeps the rectangle empty
// but counts a line; bad arguments give 0.
TEST(DrawTextW, CalcRectMeasuresWithoutDrawing) {
  TextCanvas c;
  RECT r{10, 20, 30, 25};
  EXPECT_EQ(DrawTextW(c.dc, u"Simon && Garfunkel", -1, &r, DT_CALCRECT), c.tm().tmHeight);
  EXPECT_EQ(r, (RECT{10, 20, 10 + c.width(u"Simon & Garfunkel"), 20 + c.tm().tmHeight}));
  EXPECT_EQ(Ink(testpix::Pixels(c.dc)).right, -1);
  r = RECT{5, 5, 50, 50};
  EXPECT_EQ(DrawTextW(c.dc, u"", -1, &r, DT_CALCRECT), c.tm().tmHeight);
  EXPECT_EQ(r, (RECT{5, 5, 5, 5}));
  EXPECT_EQ(DrawTextW(c.dc, nullptr, -1, &r, 0), 0);
  EXPECT_EQ(DrawTextW(c.dc, u"x", -1, nullptr, 0), 0);
  EXPECT_EQ(DrawTextW(nullptr, u"x", -1, &r, 0), 0);
}

// At a word break the space is swallowed: centred, the next line starts with its word.
TEST(DrawTextW, WordBreakSwallowsTheSpaceAtTheBreak) {
  TextCanvas c;
  RECT r{0, 0, c.width(u"bbbb") + 1, 300};
  EXPECT_EQ(DrawTextW(c.dc, u"a bbbb", -1, &r, DT_CENTER | DT_WORDBREAK | DT_CALCRECT), 2 * c.tm().tmHeight);
  EXPECT_EQ(r.right - r.left, c.width(u"bbbb"));
}

// Text stays inside its rectangle and below its top, and the result counts its lines: the SMS
// prompt's three CR LF lines (flags 0), DT_VCENTER alone (no effect without DT_SINGLELINE: the
// text stays at the top), and a line longer and taller than its rectangle, cut at it.
TEST(DrawTextW, InkStaysInItsRectangleFromTheTop) {
  const struct {
    const char16_t* text;
    RECT rect;
    UINT flags;
    int lines;
  } cases[] = {
      {u"Enter a number to send the\r\nsong details and a link to\r\nmore information:", {30, 66, 230, 166}, 0, 3},
      {u"Hg", {0, 0, 200, 100}, DT_VCENTER, 1},
      {u"A very long artist name indeed", {20, 10, 60, 18}, DT_VCENTER, 1},
  };
  for (const auto& k : cases) {
    TextCanvas c;
    RECT r = k.rect;
    const int tmH = c.tm().tmHeight;
    EXPECT_EQ(DrawTextW(c.dc, k.text, -1, &r, k.flags), k.lines * tmH) << (&k - cases);
    RECT ink = Ink(testpix::Pixels(c.dc));
    EXPECT_GE(ink.left, k.rect.left) << (&k - cases);
    EXPECT_LE(ink.right, k.rect.right) << (&k - cases);
    EXPECT_GE(ink.top, k.rect.top) << (&k - cases);
    EXPECT_LE(ink.bottom, std::min<LONG>(k.rect.bottom, k.rect.top + k.lines * tmH)) << (&k - cases);
    EXPECT_LT(ink.left, k.rect.left + 3) << "left-aligned " << (&k - cases);
  }
  // DT_NOCLIP lets a long line run on.
  TextCanvas d;
  RECT r{20, 10, 60, 18};
  DrawTextW(d.dc, u"A very long artist name indeed", -1, &r, DT_NOCLIP);
  EXPECT_GT(Ink(testpix::Pixels(d.dc)).right, 60);
}

TEST(DrawTextW, ClipRegionCutsScrolledText) {
  // The results screen's marquee: the value rectangle as clip region, the text moved left.
  TextCanvas c;
  RECT value{58, 46, 240, 65};
  HRGN rgn = CreateRectRgnIndirect(&value);
  SelectClipRgn(c.dc, rgn);
  RECT moved = value;
  moved.left -= 15;
  DrawTextW(c.dc, u"Wolfgang Amadeus Mozart and the Orchestra of Vienna", -1, &moved, DT_VCENTER);
  SelectClipRgn(c.dc, nullptr);
  DeleteObject(rgn);
  RECT ink = Ink(testpix::Pixels(c.dc));
  EXPECT_GE(ink.left, 58);
  EXPECT_LE(ink.right, 240);
}

TEST(DrawTextW, OpaqueModeFillsTheCell) {
  TextCanvas c;
  SetBkColor(c.dc, RGB(255, 252, 0));
  RECT r{0, 0, 200, 60};
  DrawTextW(c.dc, u"IDing a Song", -1, &r, 0);
  device::Surface s = testpix::Pixels(c.dc);
  const int tmH = c.tm().tmHeight, w = c.width(u"IDing a Song");
  EXPECT_EQ(s.at(0, 0), 0x00FFFC00u);  // the cell's corner is background, not glyph
  EXPECT_EQ(s.at(w - 1, tmH - 1), 0x00FFFC00u);
  EXPECT_EQ(s.at(w, 0), kWhite);        // beyond the cell: untouched
  EXPECT_EQ(s.at(0, tmH), kWhite);

  TextCanvas t;
  SetBkMode(t.dc, TRANSPARENT);
  SetBkColor(t.dc, RGB(255, 252, 0));
  DrawTextW(t.dc, u"IDing a Song", -1, &r, 0);
  s = testpix::Pixels(t.dc);
  for (uint32_t p : s.pixels) ASSERT_NE(p, 0x00FFFC00u);
}

TEST(DrawTextW, TextColourAndAntiAliasing) {
  TextCanvas c;
  SetTextColor(c.dc, RGB(0, 120, 193));
  RECT r{0, 0, 200, 40};
  DrawTextW(c.dc, u"Melodex", -1, &r, 0);
  device::Surface s = testpix::Pixels(c.dc);
  int full = 0, partial = 0;
  for (uint32_t p : s.pixels) {
    if (p == 0x000078C1u) ++full;
    else if (p != kWhite) ++partial;
  }
  EXPECT_GT(full, 5);
  EXPECT_GT(partial, 10);  // grey anti-aliased edges (CLEARTYPE_QUALITY)
}

}  // namespace
