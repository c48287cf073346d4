// Text output: CreateFontIndirectW, GetTextMetricsW, GetTextExtentPoint32W, ExtTextOutW, and
// the run drawing DrawTextW shares. Glyphs are coverage blended with the text colour: grey
// anti-aliased where the font is smoothed (CLEARTYPE_QUALITY always, other qualities as the
// font's gasp table asks; font.cpp), 1-bit otherwise.
#include "device/Trace.h"
#include "gdi32/font.h"

namespace gdi {
namespace {

// dst + (src - dst) * a / 255 for each of the three channels.
inline uint32_t Blend(uint32_t dst, uint32_t src, unsigned a) {
  if (a == 255) return src;
  unsigned inv = 255 - a;
  auto ch = [&](int shift) {
    unsigned v = ((src >> shift) & 0xFF) * a + ((dst >> shift) & 0xFF) * inv + 128;
    return ((v + (v >> 8)) >> 8) << shift;
  };
  return ch(16) | ch(8) | ch(0);
}

}  // namespace

void DrawRun(Locked& l, Face& face, int x, int y, const char16_t* text, size_t n, const RECT* clipRect,
             const INT* lpDx) {
  if (!l.surface) return;
  thread_local std::vector<const Glyph*> run;
  face.glyphs(text, n, &run);
  const TEXTMETRICW& tm = face.metrics();
  RECT clip = l.clip;
  if (clipRect) clip = Intersect(clip, l.toSurface(*clipRect));
  if (Empty(clip)) return;
  device::Surface& s = *l.surface;

  int width = 0;
  for (size_t i = 0; i < run.size(); ++i) width += lpDx ? lpDx[i] : (run[i] ? run[i]->advance : 0);
  if (l.dc->bkMode == OPAQUE) {
    // Opaque mode fills the text cell behind the glyphs with the background colour.
    RECT cell = Intersect(l.toSurface(RECT{x, y, x + width, y + static_cast<int>(tm.tmHeight)}), clip);
    if (!Empty(cell)) FillSurface(s, cell, ToPixel(l.dc->bkColor));
  }

  const uint32_t fg = ToPixel(l.dc->textColor);
  int penX = x + l.origin.x;
  const int baseline = y + l.origin.y + static_cast<int>(tm.tmAscent);
  for (size_t i = 0; i < run.size(); ++i) {
    const Glyph* g = run[i];
    if (g && g->width > 0) {
      int gx = penX + g->left, gy = baseline - g->top;
      int x0 = std::max<int>(gx, clip.left), x1 = std::min<int>(gx + g->width, clip.right);
      int y0 = std::max<int>(gy, clip.top), y1 = std::min<int>(gy + g->rows, clip.bottom);
      for (int yy = y0; yy < y1; ++yy) {
        const uint8_t* cov = g->coverage.data() + static_cast<size_t>(yy - gy) * static_cast<size_t>(g->width);
        uint32_t* row = s.row(yy);
        for (int xx = x0; xx < x1; ++xx) {
          unsigned a = cov[xx - gx];
          if (a) row[xx] = Blend(row[xx], fg, a);
        }
      }
    }
    penX += lpDx ? lpDx[i] : (g ? g->advance : 0);
  }
  l.drew();
}

}  // namespace gdi

using namespace gdi;

HFONT WINAPI CreateFontIndirectW(const LOGFONTW* lplf) {
  if (!lplf) return nullptr;
  HGDIOBJ h = Insert(std::make_shared<FontObj>(*lplf));
  TRACE_CALL("gdi32", "CreateFontIndirectW height=%d weight=%d charset=%d quality=%d pitch=%#x -> %p",
             lplf->lfHeight, lplf->lfWeight, lplf->lfCharSet, lplf->lfQuality, lplf->lfPitchAndFamily, h);
  return static_cast<HFONT>(h);
}

BOOL WINAPI GetTextMetricsW(HDC hdc, LPTEXTMETRICW lptm) {
  auto dc = Get<DcObj>(hdc);
  if (!dc || !lptm) return FALSE;
  std::lock_guard lk(dc->mu);
  *lptm = DcFace(*dc)->metrics();
  return TRUE;
}

BOOL WINAPI GetTextExtentPoint32W(HDC hdc, LPCWSTR lpString, int c, LPSIZE psizl) {
  auto dc = Get<DcObj>(hdc);
  if (!dc || !psizl || c < 0 || (!lpString && c > 0)) return FALSE;
  std::lock_guard lk(dc->mu);
  auto face = DcFace(*dc);
  psizl->cx = c ? face->width(lpString, static_cast<size_t>(c)) : 0;
  psizl->cy = face->metrics().tmHeight;
  return TRUE;
}

BOOL WINAPI ExtTextOutW(HDC hdc, int x, int y, UINT options, const RECT* lprect, LPCWSTR lpString, UINT c,
                        const INT* lpDx) {
  Locked l;
  if (!LockDc(hdc, &l)) return FALSE;
  if (!lpString) c = 0;
  TRACE_CALL("gdi32", "ExtTextOutW hdc=%p %d,%d options=%#x len=%u", static_cast<void*>(hdc), x, y, options, c);
  if (lprect && (options & ETO_OPAQUE) && l.surface) {
    RECT r = Intersect(l.toSurface(*lprect), l.clip);
    if (!Empty(r)) FillSurface(*l.surface, r, ToPixel(l.dc->bkColor));
  }
  if (c == 0) {
    l.drew();
    return TRUE;
  }
  auto face = DcFace(*l.dc);
  // With ETO_OPAQUE the rectangle was filled already; the cell fill of opaque mode is skipped.
  int mode = l.dc->bkMode;
  if (options & ETO_OPAQUE) l.dc->bkMode = TRANSPARENT;
  DrawRun(l, *face, x, y, lpString, c, (lprect && (options & ETO_CLIPPED)) ? lprect : nullptr, lpDx);
  l.dc->bkMode = mode;
  return TRUE;
}
