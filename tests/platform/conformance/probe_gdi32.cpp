// The conformance probe's gdi32 observations: objects, and the back buffers written as pictures
// (shapes.ppm compared exactly, text.ppm counted).
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include "probe.h"

// Windows CE's headers lack it; the value is Win32's.
#ifndef COLOR_WINDOWTEXT
#define COLOR_WINDOWTEXT 8
#endif

void ProbeObjects() {
  // The stock objects' types, the default brush's colour, and a stock object outliving DeleteObject.
  static const int kStock[] = {WHITE_BRUSH, LTGRAY_BRUSH, GRAY_BRUSH, DKGRAY_BRUSH, BLACK_BRUSH,
                               NULL_BRUSH,  WHITE_PEN,    BLACK_PEN, NULL_PEN,     SYSTEM_FONT};
  char types[64] = "";
  for (int i : kStock)
    snprintf(types + strlen(types), sizeof types - strlen(types), "%lu ", static_cast<unsigned long>(GetObjectType(GetStockObject(i))));
  LOGBRUSH lb;
  memset(&lb, 0, sizeof lb);
  int got = GetObjectW(GetStockObject(WHITE_BRUSH), sizeof lb, &lb);
  Observe('I', "gdi32.GetStockObject", "[%s] %d %d %lx %d", types, GetStockObject(WHITE_BRUSH) == GetStockObject(0) ? 1 : 0,
          got, static_cast<unsigned long>(lb.lbColor), GetStockObject(99) == nullptr ? 1 : 0);
  BOOL deleted = DeleteObject(GetStockObject(WHITE_BRUSH));
  Observe('I', "gdi32.DeleteObject.stock", "%d %lu", deleted ? 1 : 0,
          static_cast<unsigned long>(GetObjectType(GetStockObject(WHITE_BRUSH))));
  HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
  deleted = DeleteObject(brush);
  Observe('I', "gdi32.DeleteObject.twice", "%d %lu %d", deleted ? 1 : 0, static_cast<unsigned long>(GetObjectType(brush)),
          DeleteObject(brush) ? 1 : 0);

  // A new memory DC's defaults, and the modes and colours set on it.
  HDC dc = CreateCompatibleDC(nullptr);
  BITMAP bm;
  memset(&bm, 0, sizeof bm);
  GetObjectW(GetCurrentObject(dc, OBJ_BITMAP), sizeof bm, &bm);
  Observe('I', "gdi32.CreateCompatibleDC.defaults", "%lu %d %lx %lx %d %d %ldx%ld", static_cast<unsigned long>(GetObjectType(dc)),
          GetBkMode(dc), static_cast<unsigned long>(GetBkColor(dc)), static_cast<unsigned long>(GetTextColor(dc)),
          GetCurrentObject(dc, OBJ_BRUSH) == GetStockObject(WHITE_BRUSH) ? 1 : 0,
          GetCurrentObject(dc, OBJ_PEN) == GetStockObject(BLACK_PEN) ? 1 : 0, static_cast<long>(bm.bmWidth),
          static_cast<long>(bm.bmHeight));
  const int transparent = SetBkMode(dc, TRANSPARENT), opaque = SetBkMode(dc, OPAQUE), bad = SetBkMode(dc, 7);
  const COLORREF bk = SetBkColor(dc, RGB(255, 252, 0)), text = SetTextColor(dc, RGB(1, 2, 3));
  Observe('I', "gdi32.SetBkMode", "%d %d %d %lx %lx %lx %lx", transparent, opaque, bad, static_cast<unsigned long>(bk),
          static_cast<unsigned long>(GetBkColor(dc)), static_cast<unsigned long>(text),
          static_cast<unsigned long>(SetBkColor(nullptr, 0)));
  HBRUSH solid = CreateSolidBrush(RGB(9, 9, 9));
  HGDIOBJ before = SelectObject(dc, solid);
  Observe('I', "gdi32.SelectObject.brush", "%d %d", before == GetStockObject(WHITE_BRUSH) ? 1 : 0,
          SelectObject(dc, before) == solid ? 1 : 0);
  DeleteObject(solid);
  const BOOL first = DeleteDC(dc), again = DeleteDC(dc);
  Observe('I', "gdi32.DeleteDC", "%d %d", first ? 1 : 0, again ? 1 : 0);
}

namespace {

const int kWidth = 240, kHeight = 260;

void WriteBuffer(HDC dc, const char* file, int width, int height) {
  FILE* f = fopen(file, "wb");
  if (!f) return;
  fprintf(f, "P6\n%d %d\n255\n", width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      COLORREF c = GetPixel(dc, x, y);
      unsigned char rgb[3] = {GetRValue(c), GetGValue(c), GetBValue(c)};
      fwrite(rgb, 1, 3, f);
    }
  }
  fclose(f);
}

void Fill(HDC dc, int l, int t, int r, int b, COLORREF color) {
  RECT rect{l, t, r, b};
  HBRUSH brush = CreateSolidBrush(color);
  FillRect(dc, &rect, brush);
  DeleteObject(brush);
}

void Line(HDC dc, int x0, int y0, int x1, int y1) {
  MoveToEx(dc, x0, y0, nullptr);
  LineTo(dc, x1, y1);
}

}  // namespace

void ProbeShapes(HDC windowDC) {
  HDC back = CreateCompatibleDC(windowDC);
  HBITMAP bitmap = CreateCompatibleBitmap(windowDC, kWidth, kHeight);
  HGDIOBJ oldBitmap = SelectObject(back, bitmap);
  Observe('I', "gdi32.SelectObject.bitmapOld", "%d", oldBitmap != nullptr ? 1 : 0);
  BITMAP bm;
  memset(&bm, 0, sizeof bm);
  int got = GetObjectW(bitmap, sizeof bm, &bm);
  Observe('I', "gdi32.GetObjectW.bitmap", "%d %d %ldx%ld bits=%u planes=%u row=%ld", got, GetObjectW(bitmap, 0, nullptr),
          static_cast<long>(bm.bmWidth), static_cast<long>(bm.bmHeight), bm.bmBitsPixel, bm.bmPlanes,
          static_cast<long>(bm.bmWidthBytes));
  // A bitmap is selected into one DC at a time.
  HDC other = CreateCompatibleDC(windowDC);
  Observe('I', "gdi32.SelectObject.bitmapElsewhere", "%d %d %d", SelectObject(back, bitmap) == bitmap ? 1 : 0,
          SelectObject(other, bitmap) != nullptr ? 1 : 0, SelectObject(nullptr, GetStockObject(BLACK_BRUSH)) != nullptr ? 1 : 0);
  DeleteDC(other);
  Observe('I', "gdi32.GetObjectType", "%lu %lu %lu", static_cast<unsigned long>(GetObjectType(back)),
          static_cast<unsigned long>(GetObjectType(bitmap)), static_cast<unsigned long>(GetObjectType(GetStockObject(BLACK_PEN))));

  Fill(back, 0, 0, kWidth, kHeight, RGB(255, 255, 255));
  // Fills: ordinary, inverted, empty, partly outside the bitmap, and a system colour.
  Fill(back, 4, 4, 40, 20, RGB(200, 30, 30));
  Fill(back, 80, 20, 50, 4, RGB(30, 160, 30));  // inverted corners
  Fill(back, 90, 4, 90, 20, RGB(0, 0, 0));      // empty
  Fill(back, 230, 250, 260, 280, RGB(30, 30, 200));
  RECT sys{100, 4, 120, 20};
  FillRect(back, &sys, reinterpret_cast<HBRUSH>(static_cast<ULONG_PTR>(COLOR_WINDOWTEXT + 1)));
  // A null brush paints nothing, even on the white paper.
  RECT paper{124, 4, 140, 20};
  Observe('I', "gdi32.FillRect.nullBrush", "%d", FillRect(back, &paper, static_cast<HBRUSH>(GetStockObject(NULL_BRUSH))));

  // 1-pixel lines in every octant and on the half pixel (slopes of 1/2 and 2).
  HPEN pen = CreatePen(PS_SOLID, 1, RGB(0, 0, 160));
  HGDIOBJ oldPen = SelectObject(back, pen);
  const int cx = 60, cy = 70;
  static const int kEnds[][2] = {{30, 0}, {30, 11}, {30, 15}, {20, 20}, {15, 30}, {11, 30}, {0, 30}, {-11, 30},
                                 {-15, 30}, {-30, 15}, {-30, 0}, {-30, -11}, {-20, -20}, {-11, -30}, {0, -30},
                                 {11, -30}, {30, -15}, {4, 1}, {-4, 1}, {1, 4}, {6, 3}, {-6, -3}};
  for (const auto& e : kEnds) Line(back, cx, cy, cx + e[0], cy + e[1]);
  Line(back, 100, 40, 101, 40);  // one pixel
  Line(back, 104, 40, 104, 40);  // nothing
  POINT pos;
  MoveToEx(back, 0, 0, &pos);
  Observe('I', "gdi32.MoveToEx.previous", "%ld,%ld", static_cast<long>(pos.x), static_cast<long>(pos.y));
  // 3-pixel pens: the ends and the joins of a path.
  HPEN wide = CreatePen(PS_SOLID, 3, RGB(160, 0, 120));
  SelectObject(back, wide);
  Line(back, 110, 50, 150, 50);
  Line(back, 110, 60, 110, 90);
  Line(back, 120, 60, 150, 90);
  Line(back, 160, 50, 200, 70);
  MoveToEx(back, 120, 100, nullptr);
  LineTo(back, 150, 100);
  LineTo(back, 150, 120);
  LineTo(back, 125, 125);
  HPEN two = CreatePen(PS_SOLID, 2, RGB(0, 120, 120));
  SelectObject(back, two);
  Line(back, 170, 90, 210, 90);
  Line(back, 170, 100, 170, 130);
  HPEN nullPen = static_cast<HPEN>(GetStockObject(NULL_PEN));
  SelectObject(back, nullPen);
  Line(back, 10, 200, 100, 200);
  SelectObject(back, oldPen);
  DeleteObject(pen);
  DeleteObject(wide);
  DeleteObject(two);

  // Clipping: a clip rectangle cuts fills, lines and pixels.
  HRGN region = CreateRectRgn(20, 140, 60, 170);
  int kind = SelectClipRgn(back, region);
  DeleteObject(region);
  RECT box;
  int boxKind = GetClipBox(back, &box);
  Observe('I', "gdi32.SelectClipRgn.rect", "%d", kind);
  Observe('I', "gdi32.GetClipBox.rect", "%d %s", boxKind, ShowRect(box));
  Fill(back, 10, 130, 50, 160, RGB(250, 200, 0));
  HPEN clipPen = CreatePen(PS_SOLID, 1, RGB(0, 0, 0));
  SelectObject(back, clipPen);
  Line(back, 10, 175, 70, 135);
  SelectObject(back, oldPen);
  DeleteObject(clipPen);
  COLORREF set = SetPixel(back, 5, 150, RGB(1, 2, 3));
  Observe('I', "gdi32.SetPixel.outsideClip", "%lx", static_cast<unsigned long>(set));
  set = SetPixel(back, 25, 145, RGB(1, 2, 3));
  Observe('I', "gdi32.SetPixel.insideClip", "%lx", static_cast<unsigned long>(set));
  Observe('I', "gdi32.GetPixel.outsideClip", "%lx", static_cast<unsigned long>(GetPixel(back, 5, 5)));
  HRGN inverted = CreateRectRgn(60, 170, 20, 140);
  Observe('I', "gdi32.SelectClipRgn.inverted", "%d", SelectClipRgn(back, inverted));
  GetClipBox(back, &box);
  Observe('I', "gdi32.GetClipBox.inverted", "%s", ShowRect(box));
  DeleteObject(inverted);
  HRGN empty = CreateRectRgn(10, 10, 10, 30);
  Observe('I', "gdi32.SelectClipRgn.empty", "%d", SelectClipRgn(back, empty));
  Observe('I', "gdi32.GetClipBox.empty", "%d", GetClipBox(back, &box));
  DeleteObject(empty);
  Observe('I', "gdi32.SelectClipRgn.none", "%d", SelectClipRgn(back, nullptr));
  GetClipBox(back, &box);
  Observe('I', "gdi32.GetClipBox.none", "%s", ShowRect(box));
  Observe('I', "gdi32.GetPixel.outsideBitmap", "%lx %lx", static_cast<unsigned long>(GetPixel(back, -1, 0)),
          static_cast<unsigned long>(GetPixel(back, kWidth, 0)));

  // Blits: a pattern from a second bitmap, cut at the source's and the destination's edges.
  HDC source = CreateCompatibleDC(windowDC);
  HBITMAP sourceBitmap = CreateCompatibleBitmap(windowDC, 20, 20);
  HGDIOBJ oldSource = SelectObject(source, sourceBitmap);
  Fill(source, 0, 0, 20, 20, RGB(20, 120, 220));
  Fill(source, 5, 5, 15, 15, RGB(240, 240, 0));
  BOOL blitted = BitBlt(back, 80, 140, 20, 20, source, 0, 0, SRCCOPY);
  Observe('I', "gdi32.BitBlt.copy", "%d", blitted ? 1 : 0);
  BitBlt(back, 110, 140, 30, 30, source, 10, 10, SRCCOPY);   // beyond the source
  BitBlt(back, 230, 140, 20, 20, source, 0, 0, SRCCOPY);     // beyond the destination
  BitBlt(back, 150, 140, 20, 20, source, -10, -5, SRCCOPY);  // before the source
  BitBlt(back, 180, 140, 20, 20, source, 0, 0, NOTSRCCOPY);
  BitBlt(back, 80, 180, 20, 20, source, 0, 0, SRCINVERT);
  BitBlt(back, 110, 180, 20, 20, nullptr, 0, 0, DSTINVERT);
  BitBlt(back, 140, 180, 20, 20, nullptr, 0, 0, BLACKNESS);
  BitBlt(back, 170, 180, 20, 20, source, 0, 0, SRCAND);
  BitBlt(back, 0, 220, 40, 30, back, 0, 0, SRCCOPY);          // overlapping within one bitmap
  SelectObject(source, oldSource);
  DeleteObject(sourceBitmap);
  DeleteDC(source);

  WriteBuffer(back, "shapes.ppm", kWidth, kHeight);
  SelectObject(back, oldBitmap);
  DeleteObject(bitmap);
  DeleteDC(back);
}

// ---- gdi32: fonts and text -----------------------------------------------------------------

HFONT MakeFont(LONG height, LONG weight, BYTE quality) {
  LOGFONTW lf;
  memset(&lf, 0, sizeof lf);
  lf.lfHeight = height;
  lf.lfWeight = weight;
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfQuality = quality;
  lf.lfPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
  // The face is named so that both runs use the same file (the runner installs it for Wine).
  const WCHAR* face = TEXT("Liberation Sans");
  for (int i = 0; face[i] && i < LF_FACESIZE - 1; ++i) lf.lfFaceName[i] = face[i];
  return CreateFontIndirectW(&lf);
}

void ProbeText(HDC windowDC) {
  // The layouts above, the smoothing samples in four rows of 28 pixels below.
  const int textHeight = kHeight + 112;
  HDC back = CreateCompatibleDC(windowDC);
  HBITMAP bitmap = CreateCompatibleBitmap(windowDC, kWidth, textHeight);
  HGDIOBJ oldBitmap = SelectObject(back, bitmap);
  Fill(back, 0, 0, kWidth, textHeight, RGB(255, 255, 255));

  static const struct {
    const char* name;
    LONG height;
    LONG weight;
  } kFonts[] = {{"h-12", -12, FW_NORMAL}, {"h-11", -11, FW_NORMAL}, {"h-13", -13, FW_NORMAL},
                {"h-16", -16, FW_NORMAL}, {"h-16b", -16, FW_BOLD},  {"h14", 14, FW_NORMAL},
                {"h-20", -20, FW_NORMAL}, {"h-24b", -24, FW_BOLD},  {"h16", 16, FW_NORMAL},
                {"h13", 13, FW_NORMAL},   {"h18", 18, FW_NORMAL},   {"h16b", 16, FW_BOLD}};
  static const WCHAR* const kWords[] = {TEXT("Artist:"), TEXT("W"), TEXT("Melodex"), TEXT("0123456789"),
                                        TEXT("Tap to identify the song"), TEXT("ll.ii"), TEXT("\u00C9t\u00E9 \u20AC")};
  for (const auto& f : kFonts) {
    HFONT font = MakeFont(f.height, f.weight, CLEARTYPE_QUALITY);
    HGDIOBJ old = SelectObject(back, font);
    TEXTMETRICW tm;
    memset(&tm, 0, sizeof tm);
    GetTextMetricsW(back, &tm);
    Observe('F', Key("gdi32.GetTextMetricsW.%s", f.name),
            "height=%ld ascent=%ld descent=%ld internal=%ld external=%ld ave=%ld max=%ld weight=%ld",
            static_cast<long>(tm.tmHeight), static_cast<long>(tm.tmAscent), static_cast<long>(tm.tmDescent),
            static_cast<long>(tm.tmInternalLeading), static_cast<long>(tm.tmExternalLeading),
            static_cast<long>(tm.tmAveCharWidth), static_cast<long>(tm.tmMaxCharWidth), static_cast<long>(tm.tmWeight));
    Observe('F', Key("gdi32.GetTextMetricsW.%s.flags", f.name), "pitch=%x charset=%u italic=%u first=%u last=%u break=%u",
            tm.tmPitchAndFamily & 0x0F, tm.tmCharSet, tm.tmItalic, static_cast<unsigned>(tm.tmFirstChar), static_cast<unsigned>(tm.tmLastChar),
            static_cast<unsigned>(tm.tmBreakChar));
    for (size_t w = 0; w < sizeof kWords / sizeof kWords[0]; ++w) {
      SIZE size{0, 0};
      GetTextExtentPoint32W(back, kWords[w], lstrlenW(kWords[w]), &size);
      char* key = const_cast<char*>(Key("gdi32.GetTextExtentPoint32W.%s.%s", f.name, Show(kWords[w])));
      for (char* k = key; *k; ++k)
        if (*k == ' ') *k = '_';
      Observe('F', key, "%ldx%ld", static_cast<long>(size.cx), static_cast<long>(size.cy));
    }
    SelectObject(back, old);
    DeleteObject(font);
  }

  // The advance of every printable ASCII character at the sizes small text uses: one line per
  // size, the widths of " " to "~" in order.
  for (LONG height = -24; height <= 24; ++height) {
    if (height > -8 && height < 8) continue;
    for (int bold = 0; bold < 2; ++bold) {
      HFONT font = MakeFont(height, bold ? FW_BOLD : FW_NORMAL, CLEARTYPE_QUALITY);
      HGDIOBJ old = SelectObject(back, font);
      char widths[512] = "";
      for (WCHAR c = 0x20; c < 0x7F; ++c) {
        SIZE size{0, 0};
        GetTextExtentPoint32W(back, &c, 1, &size);
        snprintf(widths + strlen(widths), sizeof widths - strlen(widths), "%ld ", static_cast<long>(size.cx));
      }
      Observe('F', Key("gdi32.advances.h%ld%s", static_cast<long>(height), bold ? "b" : ""), "%s", widths);
      SelectObject(back, old);
      DeleteObject(font);
    }
  }

  // DrawTextW layouts, measured (DT_CALCRECT) and drawn.
  HFONT font = MakeFont(-12, FW_NORMAL, CLEARTYPE_QUALITY);
  HGDIOBJ oldFont = SelectObject(back, font);
  SetTextColor(back, RGB(0, 0, 0));
  SetBkMode(back, TRANSPARENT);
  static const struct {
    const char* name;
    const WCHAR* text;
    UINT format;
    RECT rect;
    int count = -1;
  } kLayouts[] = {
      {"plain", TEXT("Artist:"), 0, {4, 4, 120, 40}},
      {"center", TEXT("Melodex"), DT_CENTER | DT_VCENTER | DT_SINGLELINE, {4, 20, 120, 50}},
      {"right", TEXT("1 of 10"), DT_SINGLELINE | DT_VCENTER | DT_RIGHT, {120, 4, 236, 30}},
      {"wordbreak", TEXT("Hold the phone near the music and tap to identify the song"), DT_WORDBREAK, {4, 50, 120, 130}},
      {"centerBreak", TEXT("Could not reach the service. Try again later."), DT_CENTER | DT_WORDBREAK, {124, 40, 236, 130}},
      {"lines", TEXT("one\r\ntwo\nthree\rfour"), 0, {4, 130, 80, 200}},
      {"tabs", TEXT("a\tb\tc"), DT_EXPANDTABS | DT_SINGLELINE, {84, 130, 236, 150}},
      {"prefix", TEXT("&File && more"), DT_SINGLELINE, {84, 150, 236, 170}},
      {"noprefix", TEXT("&File"), DT_SINGLELINE | DT_NOPREFIX, {84, 170, 236, 190}},
      {"longword", TEXT("Supercalifragilistic word"), DT_WORDBREAK, {4, 200, 60, 240}},
      {"vcenterMulti", TEXT("top"), DT_VCENTER, {84, 190, 236, 230}},
      {"bottom", TEXT("low"), DT_BOTTOM | DT_SINGLELINE, {124, 230, 236, 258}},
      {"leadingTabs", TEXT("\t\tx"), DT_EXPANDTABS | DT_SINGLELINE, {4, 240, 120, 258}},
      {"linesCut", TEXT("one\r\ntwo\r\nthree"), 0, {124, 180, 160, 196}},
      // Line ends: LF CR is one break, two equal ones in a row are two.
      {"lfcr", TEXT("a\n\rb"), 0, {200, 4, 236, 60}},
      {"lflf", TEXT("a\n\nb"), 0, {200, 4, 236, 60}},
      {"crcr", TEXT("a\r\rb"), 0, {200, 4, 236, 60}},
      {"crlfcrlf", TEXT("a\r\n\r\nb"), 0, {200, 4, 236, 60}},
      {"singleLineBreaks", TEXT("a\r\nb"), DT_SINGLELINE, {200, 4, 236, 60}},
      {"count", TEXT("short\r\nsecond"), 0, {200, 4, 236, 60}, 5},
  };
  for (const auto& c : kLayouts) {
    RECT measured = c.rect;
    int h = DrawTextW(back, c.text, c.count, &measured, c.format | DT_CALCRECT);
    Observe('F', Key("gdi32.DrawTextW.%s.calcrect", c.name), "%d %s", h, ShowRect(measured));
    RECT drawn = c.rect;
    h = DrawTextW(back, c.text, c.count, &drawn, c.format);
    Observe('F', Key("gdi32.DrawTextW.%s.height", c.name), "%d %s", h, ShowRect(drawn));
  }
  // DT_WORDBREAK where a word ends exactly at the right edge: the rectangle is as wide as
  // "Hold the", measured first.
  {
    SIZE fit{0, 0};
    GetTextExtentPoint32W(back, TEXT("Hold the"), 8, &fit);
    RECT exact{4, 0, 4 + static_cast<int>(fit.cx), 100};
    int h = DrawTextW(back, TEXT("Hold the phone near"), -1, &exact, DT_WORDBREAK | DT_CALCRECT);
    Observe('F', "gdi32.DrawTextW.wordEndsAtTheEdge", "%d %s", h, ShowRect(exact));
  }

  // ExtTextOutW: opaque, clipped, and with given advances.
  SetBkColor(back, RGB(220, 220, 255));
  RECT cell{150, 200, 236, 216};
  ExtTextOutW(back, 152, 202, ETO_OPAQUE | ETO_CLIPPED, &cell, TEXT("Opaque text cut"), 15, nullptr);
  static const INT kDx[] = {10, 10, 10, 10};
  ExtTextOutW(back, 4, 242, 0, nullptr, TEXT("abcd"), 4, kDx);
  SetBkMode(back, OPAQUE);
  ExtTextOutW(back, 60, 242, 0, nullptr, TEXT("bk"), 2, nullptr);
  SelectObject(back, oldFont);
  DeleteObject(font);

  // Smoothing follows lfQuality: count the pixels that are neither the paper nor the ink.
  static const struct {
    const char* name;
    BYTE quality;
    LONG height;
  } kQualities[] = {{"cleartype-12", CLEARTYPE_QUALITY, -12}, {"antialiased-12", ANTIALIASED_QUALITY, -12},
                    {"nonantialiased-12", NONANTIALIASED_QUALITY, -12}, {"default-12", DEFAULT_QUALITY, -12},
                    {"default-24", DEFAULT_QUALITY, -24}, {"nonantialiased-24", NONANTIALIASED_QUALITY, -24},
                    {"antialiased-20", ANTIALIASED_QUALITY, -20}};
  int y = 0;
  for (const auto& q : kQualities) {
    HFONT f = MakeFont(q.height, FW_NORMAL, q.quality);
    HGDIOBJ old = SelectObject(back, f);
    HDC scratch = CreateCompatibleDC(windowDC);
    HBITMAP scratchBitmap = CreateCompatibleBitmap(windowDC, 120, 40);
    HGDIOBJ oldScratch = SelectObject(scratch, scratchBitmap);
    Fill(scratch, 0, 0, 120, 40, RGB(255, 255, 255));
    HGDIOBJ oldScratchFont = SelectObject(scratch, f);
    SetBkMode(scratch, TRANSPARENT);
    SetTextColor(scratch, RGB(0, 0, 0));
    ExtTextOutW(scratch, 2, 0, 0, nullptr, TEXT("Wag"), 3, nullptr);
    int grey = 0, ink = 0;
    for (int yy = 0; yy < 40; ++yy)
      for (int xx = 0; xx < 120; ++xx) {
        COLORREF c = GetPixel(scratch, xx, yy);
        if (c == RGB(0, 0, 0)) ++ink;
        else if (c != RGB(255, 255, 255)) ++grey;
      }
    Observe('F', Key("gdi32.smoothing.%s", q.name), "%s", grey > 0 ? "smoothed" : "bilevel");
    // Shown below the layouts, for a person comparing the two pictures.
    BitBlt(back, (y % 2) * 120, kHeight + (y / 2) * 28, 120, 28, scratch, 0, 0, SRCCOPY);
    ++y;
    SelectObject(scratch, oldScratchFont);
    SelectObject(scratch, oldScratch);
    DeleteObject(scratchBitmap);
    DeleteDC(scratch);
    SelectObject(back, old);
    DeleteObject(f);
  }

  WriteBuffer(back, "text.ppm", kWidth, textHeight);
  SelectObject(back, oldBitmap);
  DeleteObject(bitmap);
  DeleteDC(back);
}
