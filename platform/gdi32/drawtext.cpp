// DrawTextW with Windows' layout rules for the formats the program uses (0, DT_CENTER|DT_VCENTER,
// DT_VCENTER alone, DT_SINGLELINE|DT_VCENTER|DT_RIGHT, DT_WORDBREAK, DT_CALCRECT), as
// documented and as Wine's conformance tests record them:
//  - without DT_SINGLELINE, lines end at CR LF, LF CR, CR or LF; DT_VCENTER and DT_BOTTOM act
//    only with DT_SINGLELINE (the results screen draws with 0x04 and its text stays at the top);
//  - DT_WORDBREAK breaks at the last space that fits; a word wider than the rectangle stays
//    whole (cut at the edge); one space after the break is swallowed;
//  - '&' is a prefix unless DT_NOPREFIX: it is not shown, "&&" shows one '&', and the character
//    after a single '&' is underlined;
//  - every line is cut at the rectangle unless DT_NOCLIP; lines stop after the first one that
//    reaches past the bottom; opaque mode fills each line's cell with the background colour;
//  - DT_EXPANDTABS moves the pen at a tab to the next multiple of eight average character
//    widths from the rectangle's left edge (without it a tab is a glyph like any other);
//  - DT_CALCRECT draws nothing and sets right/bottom to the measured text;
//  - the result is the text's height (with DT_VCENTER|DT_SINGLELINE: from the top to the
//    bottom of the text).
#include <vector>

#include "device/Trace.h"
#include "gdi32/font.h"

using namespace gdi;

namespace {

constexpr char16_t kCR = u'\r', kLF = u'\n', kSpace = u' ', kPrefix = u'&', kTab = u'\t';
constexpr int kTabStopChars = 8;

// Advances through a line: glyph advances, and with DT_EXPANDTABS a tab's move to the next
// stop (stops every tabWidth pixels from the line's start).
struct Pen {
  int tabWidth = 0;  // 0: tabs are glyphs
  int x = 0;
  int advance(char16_t c, const Glyph* g) const {
    if (c == kTab && tabWidth > 0) return (x / tabWidth + 1) * tabWidth - x;
    return g ? g->advance : 0;
  }
};

int RunWidth(Face& face, const std::vector<char16_t>& text, size_t n, int tabWidth) {
  thread_local std::vector<const Glyph*> glyphs;
  face.glyphs(text.data(), n, &glyphs);
  Pen pen{tabWidth};
  for (size_t i = 0; i < n; ++i) pen.x += pen.advance(text[i], glyphs[i]);
  return pen.x;
}

struct Line {
  std::vector<char16_t> text;  // what is shown (prefixes removed)
  int underline = -1;          // index in text of the underlined character, or -1
  int width = 0;
};

// Takes one line from str[pos, n) into *line and returns the position after it (after its
// line break, unless the line was word-broken).
size_t NextLine(Face& face, const char16_t* str, size_t pos, size_t n, UINT fmt, int maxWidth, int tabWidth,
                Line* line) {
  const bool single = fmt & DT_SINGLELINE;
  const bool prefix = !(fmt & DT_NOPREFIX);
  // The segment up to the line break, with prefixes resolved; src[i] is the source index of
  // shown character i.
  line->text.clear();
  line->underline = -1;
  std::vector<size_t> src;
  size_t i = pos;
  while (i < n && (single || (str[i] != kCR && str[i] != kLF))) {
    if (prefix && str[i] == kPrefix && i + 1 < n) {
      ++i;
      if (str[i] != kPrefix && line->underline < 0) line->underline = static_cast<int>(line->text.size());
    }
    src.push_back(i);
    line->text.push_back(str[i]);
    ++i;
  }
  const size_t segEnd = i;
  const size_t len = line->text.size();

  thread_local std::vector<const Glyph*> glyphs;
  face.glyphs(line->text.data(), len, &glyphs);
  size_t fit = 0;
  Pen pen{tabWidth};
  for (; fit < len; ++fit) {
    int a = pen.advance(line->text[fit], glyphs[fit]);
    if (pen.x + a > maxWidth) break;
    pen.x += a;
  }
  bool broken = false;
  size_t used = len;
  if (fit < len && (fmt & DT_WORDBREAK)) {
    broken = true;
    const auto& t = line->text;
    size_t p = fit;  // the first character that does not fit
    bool wordFits = true;
    if (fit == 0) {
      // Not even one character fits: it is shown anyway.
    } else if (t[p] == kSpace) {
      --p;  // the word before it just fitted
    } else {
      while (p > 0 && t[--p] != kSpace) {
      }
      wordFits = p != 0 || t[p] == kSpace;
    }
    size_t keep;
    if (wordFits) {
      // Left-aligned text keeps the spaces that fit after its last word; centred and right-
      // aligned text breaks before the space.
      if (!(fmt & (DT_RIGHT | DT_CENTER)) || t[p] != kSpace) ++p;
      keep = p;
      used = keep + ((keep < len && t[keep] == kSpace) ? 1 : 0);
    } else {
      // One word wider than the line: kept whole, ending at the next space (swallowed).
      p = fit;
      while (p < len && t[p] != kSpace) ++p;
      keep = p;
      used = p + (p < len ? 1 : 0);
    }
    line->text.resize(keep);
    if (line->underline >= static_cast<int>(keep)) line->underline = -1;
  }
  line->width = RunWidth(face, line->text, line->text.size(), tabWidth);

  // A word-broken line leaves any line break for the next line (which may then be empty, as
  // on Windows when the break swallows the segment's last space).
  if (broken) return used < len ? src[used] : segEnd;
  // The whole segment is used: step over its line break (CR LF and LF CR count as one).
  size_t next = segEnd;
  if (!single && next < n && (str[next] == kCR || str[next] == kLF)) {
    ++next;
    if (next < n && (str[next] == kCR || str[next] == kLF) && str[next] != str[next - 1]) ++next;
  }
  return next;
}

}  // namespace

int WINAPI DrawTextW(HDC hdc, LPCWSTR lpchText, int cchText, LPRECT lprc, UINT format) {
  if (!lpchText || !lprc) return 0;
  size_t n = 0;
  if (cchText < 0) {
    while (lpchText[n]) ++n;  // -1: zero-terminated
  } else {
    n = static_cast<size_t>(cchText);
  }
  Locked l;
  if (!LockDc(hdc, &l)) return 0;
  TRACE_CALL("gdi32", "DrawTextW hdc=%p len=%zu (%d,%d)-(%d,%d) format=%#x", static_cast<void*>(hdc), n,
             lprc->left, lprc->top, lprc->right, lprc->bottom, format);
  auto face = DcFace(*l.dc);
  const TEXTMETRICW& tm = face->metrics();
  UINT fmt = format;
  if (fmt & DT_SINGLELINE) fmt &= ~DT_WORDBREAK;
  if (fmt & DT_CALCRECT) fmt |= DT_NOCLIP;
  const int lh = static_cast<int>(tm.tmHeight + ((fmt & DT_EXTERNALLEADING) ? tm.tmExternalLeading : 0));
  const int tabWidth = (fmt & DT_EXPANDTABS) ? kTabStopChars * static_cast<int>(tm.tmAveCharWidth) : 0;

  if (n == 0) {
    if (fmt & DT_CALCRECT) {
      lprc->right = lprc->left;
      lprc->bottom = lprc->top + ((fmt & DT_SINGLELINE) ? lh : 0);
    }
    return lh;
  }

  const RECT rect = *lprc;
  const int width = rect.right - rect.left;
  int x = rect.left, y = rect.top;
  int maxWidth = 0;
  Line line;
  size_t pos = 0;
  bool last = false;
  do {
    last = !(fmt & DT_NOCLIP) && y + lh > rect.bottom;
    pos = NextLine(*face, lpchText, pos, n, fmt, width, tabWidth, &line);
    const int cy = static_cast<int>(tm.tmHeight);
    if (fmt & DT_CENTER) {
      x = (rect.left + rect.right - line.width) / 2;
    } else if (fmt & DT_RIGHT) {
      x = rect.right - line.width;
    }
    if (fmt & DT_SINGLELINE) {
      if (fmt & DT_VCENTER) {
        y = rect.top + (rect.bottom - rect.top) / 2 - cy / 2;
      } else if (fmt & DT_BOTTOM) {
        y = rect.bottom - cy;
      }
    }
    if (!(fmt & DT_CALCRECT)) {
      // Drawn in runs between tabs, each from its stop.
      const RECT* clip = (fmt & DT_NOCLIP) ? nullptr : &rect;
      size_t start = 0;
      for (size_t i = 0; i <= line.text.size(); ++i) {
        if (i < line.text.size() && !(tabWidth > 0 && line.text[i] == kTab)) continue;
        int at = x + RunWidth(*face, line.text, start, tabWidth);
        DrawRun(l, *face, at, y, line.text.data() + start, i - start, clip);
        start = i + 1;
      }
      if (line.underline >= 0 && l.surface) {
        // The prefix underline: one pixel below the baseline, in the text colour, cut only by
        // the DC's clipping (Windows draws it with a pen, outside the text clip).
        int from = x + RunWidth(*face, line.text, static_cast<size_t>(line.underline), tabWidth);
        int to = x + RunWidth(*face, line.text, static_cast<size_t>(line.underline) + 1, tabWidth) - 1;
        RECT u = Intersect(l.toSurface(RECT{from, y + static_cast<int>(tm.tmAscent) + 1, to,
                                            y + static_cast<int>(tm.tmAscent) + 2}),
                           l.clip);
        if (!Empty(u)) FillSurface(*l.surface, u, ToPixel(l.dc->textColor));
      }
    } else if (line.width > maxWidth) {
      maxWidth = line.width;
    }
    y += lh;
  } while (pos < n && !last);

  if (fmt & DT_CALCRECT) {
    lprc->right = lprc->left + maxWidth;
    lprc->bottom = y;
  }
  return y - rect.top;
}
