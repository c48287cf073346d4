// Font realisation: fontconfig finds the face file for a LOGFONTW, FreeType renders it, as
// Windows realises a TrueType font:
//  - the size is whole pixels per em: a negative lfHeight is the em itself; a positive one is
//    the cell height, found in the font's VDMX table when it has one, else scaled from the OS/2
//    table's usWinAscent + usWinDescent and rounded down to a cell no taller than asked;
//  - the metrics are the font's units scaled by that em (VDMX extents where the table gives
//    them), so that layouts computed from tmHeight (the history and help lists) come out as on
//    the phone;
//  - glyphs are hinted to the pixel grid and advance by whole pixels, as Windows measures them
//    (the conformance suite holds every printable character's advance at every small size
//    against Windows' GDI); smoothing follows lfQuality and the font's gasp table (Smoothed).
#include "gdi32/font.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <tuple>

#include "device/Trace.h"

namespace gdi {
namespace {

struct Library {
  std::mutex mu;  // FT_Library and fontconfig calls that create faces are serialised here
  FT_Library ft = nullptr;
  bool fcReady = false;
  // Realised faces by (file, face index, pixels per em, mono, embolden, weight, underline,
  // strike-out, charset): everything the metrics depend on.
  std::map<std::tuple<std::string, int, long, bool, bool, LONG, BYTE, BYTE, BYTE>, std::shared_ptr<Face>> faces;
};

Library& library() {
  static Library lib;
  return lib;
}

std::string Utf8(const WCHAR* s, size_t max) {
  std::string out;
  for (size_t i = 0; i < max && s[i]; ++i) {
    char32_t c = s[i];
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

struct Match {
  std::string file;
  int index = 0;
  int weight = FC_WEIGHT_REGULAR;
};

// Finds the file for a description. The program asks for VARIABLE_PITCH | FF_SWISS with no face
// name: Liberation Sans first (Arial's metrics, the closest installed match to Tahoma's
// proportions), then DejaVu Sans, then whatever fontconfig calls sans-serif.
bool FindFile(const LOGFONTW& lf, Match* out) {
  FcPattern* pat = FcPatternCreate();
  if (!pat) return false;
  std::string face = Utf8(lf.lfFaceName, LF_FACESIZE);
  if (!face.empty()) FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>(face.c_str()));
  int family = lf.lfPitchAndFamily & 0xF0;
  if ((lf.lfPitchAndFamily & 3) == FIXED_PITCH || family == FF_MODERN) {
    FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>("Liberation Mono"));
    FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>("monospace"));
  } else if (family == FF_ROMAN) {
    FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>("Liberation Serif"));
    FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>("serif"));
  } else {
    FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>("Liberation Sans"));
    FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>("DejaVu Sans"));
    FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>("sans-serif"));
  }
  int weight = lf.lfWeight > 0 ? static_cast<int>(lf.lfWeight) : FW_NORMAL;
  FcPatternAddInteger(pat, FC_WEIGHT, FcWeightFromOpenType(weight));
  FcPatternAddInteger(pat, FC_SLANT, lf.lfItalic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddBool(pat, FC_SCALABLE, FcTrue);
  FcConfigSubstitute(nullptr, pat, FcMatchPattern);
  FcDefaultSubstitute(pat);
  FcResult result;
  FcPattern* match = FcFontMatch(nullptr, pat, &result);
  FcPatternDestroy(pat);
  if (!match) return false;
  FcChar8* file = nullptr;
  bool ok = FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file;
  if (ok) {
    out->file = reinterpret_cast<const char*>(file);
    if (FcPatternGetInteger(match, FC_INDEX, 0, &out->index) != FcResultMatch) out->index = 0;
    if (FcPatternGetInteger(match, FC_WEIGHT, 0, &out->weight) != FcResultMatch) out->weight = FC_WEIGHT_REGULAR;
  }
  FcPatternDestroy(match);
  return ok;
}


// MulDiv: a * b / c rounded half away from zero.
int MulDivRound(long a, long b, long c) {
  if (c == 0) return 0;
  long long n = static_cast<long long>(a) * b;
  long long q = (2 * (n < 0 ? -n : n) + (c < 0 ? -c : c)) / (2 * (c < 0 ? -c : c));
  return static_cast<int>((n < 0) != (c < 0) ? -q : q);
}

// What the metrics are computed from, with Liberation Sans' values when no font loaded.
struct SfntMetrics {
  long upem = 2048;
  long winAscent = 1854, winDescent = 434, lineGap = 67, hheaAscent = 1854, hheaDescent = -434;
  long avgWidth = 0;
  LONG weightClass = 0;
  WCHAR firstChar = 0x20, lastChar = 0xFFFC;
};

SfntMetrics ReadSfntMetrics(FT_Face ft) {
  SfntMetrics sm;
  if (!ft) return sm;
  if (ft->units_per_EM) sm.upem = ft->units_per_EM;
  auto* hhea = static_cast<TT_HoriHeader*>(FT_Get_Sfnt_Table(ft, FT_SFNT_HHEA));
  if (hhea) {
    sm.lineGap = hhea->Line_Gap;
    sm.hheaAscent = hhea->Ascender;
    sm.hheaDescent = hhea->Descender;
  }
  auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(ft, FT_SFNT_OS2));
  if (os2 && os2->version != 0xFFFF) {
    // A descent stored as a negative number by some font tools is read as its size.
    long descent = std::abs(static_cast<int16_t>(os2->usWinDescent));
    if (os2->usWinAscent + descent) {
      sm.winAscent = os2->usWinAscent;
      sm.winDescent = descent;
    } else if (hhea) {
      sm.winAscent = hhea->Ascender;
      sm.winDescent = -hhea->Descender;
    }
    sm.avgWidth = os2->xAvgCharWidth;
    sm.weightClass = os2->usWeightClass;
    sm.firstChar = os2->usFirstCharIndex;
    sm.lastChar = os2->usLastCharIndex;
  } else {
    sm.winAscent = ft->ascender;
    sm.winDescent = -ft->descender;
  }
  return sm;
}

// The font's sfnt table with this tag, or empty.
std::vector<uint8_t> LoadTable(FT_Face ft, FT_ULong tag) {
  FT_ULong length = 0;
  if (FT_Load_Sfnt_Table(ft, tag, 0, nullptr, &length) != 0 || length == 0) return {};
  std::vector<uint8_t> table(length);
  if (FT_Load_Sfnt_Table(ft, tag, 0, table.data(), &length) != 0) return {};
  return table;
}

unsigned Be16(const std::vector<uint8_t>& t, size_t at) {
  return at + 2 <= t.size() ? static_cast<unsigned>(t[at] << 8 | t[at + 1]) : 0;
}

// The VDMX table's answer for a height: the pixel size whose ascent and descent (yMax, -yMin)
// make a positive height exactly, or the largest that stays within it; for a negative height
// (a pixel size) the extents the font gives that size. ppem 0: the table has no answer.
struct Vdmx {
  int ppem = 0;
  int yMax = 0, yMin = 0;
};

Vdmx LookUpVdmx(FT_Face ft, LONG height) {
  std::vector<uint8_t> t = LoadTable(ft, FT_MAKE_TAG('V', 'D', 'M', 'X'));
  const unsigned ratios = Be16(t, 4);
  if (t.size() < 6 + ratios * 6u) return {};
  // The group for a 1:1 device, from the first ratio record for a character subset that
  // covers it (a 0:0:0 record covers every ratio).
  size_t group = 0;
  for (unsigned i = 0; i < ratios && !group; ++i) {
    const uint8_t* r = &t[6 + 4 * i];
    if (r[0] == 0) continue;
    if ((r[1] == 0 && r[2] == 0 && r[3] == 0) || (r[1] == 1 && r[2] <= 1 && r[3] >= 1))
      group = Be16(t, 6 + 4 * ratios + 2 * i);
  }
  if (!group || group + 4 > t.size()) return {};
  const unsigned records = Be16(t, group);
  const unsigned first = t[group + 2], last = t[group + 3];
  auto record = [&](unsigned i) {
    size_t at = group + 4 + 6 * i;
    return Vdmx{static_cast<int>(Be16(t, at)), static_cast<int16_t>(Be16(t, at + 2)),
                static_cast<int16_t>(Be16(t, at + 4))};
  };
  if (group + 4 + 6 * records > t.size()) return {};
  if (height > 0) {
    for (unsigned i = 0; i < records; ++i) {
      Vdmx v = record(i);
      if (v.yMax - v.yMin == height) return v;
      if (v.yMax - v.yMin > height) return i > 0 ? record(i - 1) : Vdmx{};
    }
    return {};
  }
  const int ppem = -height;
  if (ppem < static_cast<int>(first) || ppem > static_cast<int>(last)) return {};
  for (unsigned i = 0; i < records; ++i) {
    Vdmx v = record(i);
    if (v.ppem > ppem) return {};
    if (v.ppem == ppem) return v;
  }
  return {};
}

// Whether text of this quality is drawn smoothed: never without anti-aliasing, always with
// ClearType (which smooths at every size), and otherwise as the font's gasp table asks for
// grey smoothing at this size (a font without one is smoothed).
bool Smoothed(FT_Face ft, BYTE quality, int ppem) {
  if (quality == NONANTIALIASED_QUALITY) return false;
  if (quality == CLEARTYPE_QUALITY || quality == CLEARTYPE_COMPAT_QUALITY) return true;
  if (!ft) return true;
  std::vector<uint8_t> t = LoadTable(ft, FT_MAKE_TAG('g', 'a', 's', 'p'));
  const unsigned ranges = Be16(t, 2);
  if (t.size() < 4 + 4 * ranges || Be16(t, 0) > 1) return true;
  constexpr unsigned kGaspDoGray = 0x0002;
  for (unsigned i = 0; i < ranges; ++i) {
    if (static_cast<unsigned>(ppem) <= Be16(t, 4 + 4 * i)) return (Be16(t, 6 + 4 * i) & kGaspDoGray) != 0;
  }
  return ranges ? (Be16(t, 4 + 4 * (ranges - 1) + 2) & kGaspDoGray) != 0 : true;
}

}  // namespace

std::shared_ptr<Face> FontObj::face() {
  std::call_once(once_, [this] { face_ = Face::Realize(lf); });
  return face_;
}

Face::~Face() {
  if (ft_) {
    std::lock_guard lk(library().mu);
    FT_Done_Face(static_cast<FT_Face>(ft_));
  }
}

std::shared_ptr<Face> Face::Realize(const LOGFONTW& lf) {
  Library& lib = library();
  std::lock_guard lk(lib.mu);
  if (!lib.ft && FT_Init_FreeType(&lib.ft) != 0) lib.ft = nullptr;
  if (!lib.fcReady) lib.fcReady = FcInit() == FcTrue;

  Match m;
  FT_Face ft = nullptr;
  if (lib.ft && lib.fcReady && FindFile(lf, &m) &&
      FT_New_Face(lib.ft, m.file.c_str(), m.index, &ft) != 0) {
    ft = nullptr;
  }

  SfntMetrics sm = ReadSfntMetrics(ft);
  // The size: whole pixels per em, as Windows realises a TrueType font (see the file comment).
  Vdmx vdmx;
  int ppem;
  if (lf.lfHeight == 0) {
    ppem = kDefaultCharHeightPx;
  } else if (ft && (vdmx = LookUpVdmx(ft, lf.lfHeight)).ppem) {
    ppem = vdmx.ppem;
  } else if (lf.lfHeight < 0) {
    ppem = -lf.lfHeight;
  } else {
    // Rounded, unless rounding up makes the cell taller than asked.
    const long cell = sm.winAscent + sm.winDescent;
    ppem = MulDivRound(sm.upem, lf.lfHeight, cell);
    if (ppem > 1 && MulDivRound(cell, ppem, sm.upem) > lf.lfHeight) --ppem;
  }
  if (ppem < 1) ppem = 1;
  const bool mono = !Smoothed(ft, lf.lfQuality, ppem);
  const bool embolden = lf.lfWeight >= FW_SEMIBOLD && m.weight < FC_WEIGHT_DEMIBOLD;

  auto key = std::make_tuple(m.file, m.index, static_cast<long>(ppem), mono, embolden, lf.lfWeight, lf.lfUnderline,
                             lf.lfStrikeOut, lf.lfCharSet);
  if (ft) {
    if (auto it = lib.faces.find(key); it != lib.faces.end()) {
      FT_Done_Face(ft);
      return it->second;
    }
  }

  std::shared_ptr<Face> face(new Face());
  face->ft_ = ft;
  face->mono_ = mono;
  face->embolden_ = embolden;
  face->file_ = m.file;
  if (ft) FT_Set_Pixel_Sizes(ft, 0, static_cast<FT_UInt>(ppem));

  // Font units to pixels with the em's 16.16 scale, rounded, as GDI scales its metrics.
  const FT_Fixed emScale = FT_MulDiv(ppem, 1 << 16, sm.upem);
  auto scale = [&](long units) { return static_cast<LONG>(FT_MulFix(units, emScale)); };
  TEXTMETRICW& tm = face->tm_;
  if (vdmx.ppem) {
    tm.tmAscent = vdmx.yMax;
    tm.tmDescent = -vdmx.yMin;
    tm.tmInternalLeading = tm.tmAscent + tm.tmDescent - ppem;
  } else {
    tm.tmAscent = scale(sm.winAscent);
    tm.tmDescent = scale(sm.winDescent);
    tm.tmInternalLeading = scale(sm.winAscent + sm.winDescent - sm.upem);
  }
  tm.tmHeight = tm.tmAscent + tm.tmDescent;
  tm.tmExternalLeading =
      std::max<LONG>(0, scale(sm.lineGap - ((sm.winAscent + sm.winDescent) - (sm.hheaAscent - sm.hheaDescent))));
  tm.tmAveCharWidth = sm.avgWidth ? std::max<LONG>(1, scale(sm.avgWidth)) : std::max(1, ppem / 2);
  tm.tmMaxCharWidth = ft ? scale(ft->bbox.xMax - ft->bbox.xMin) : ppem;
  tm.tmWeight = embolden ? FW_BOLD : sm.weightClass ? sm.weightClass : (lf.lfWeight > 0 ? lf.lfWeight : FW_NORMAL);
  tm.tmOverhang = 0;
  tm.tmDigitizedAspectX = 96;
  tm.tmDigitizedAspectY = 96;
  // The character range is the OS/2 table's; the break character is its first character (a
  // space for fonts that start below it), and the default character the one before.
  tm.tmFirstChar = sm.firstChar;
  tm.tmLastChar = sm.lastChar;
  tm.tmBreakChar = sm.firstChar <= 1 ? static_cast<WCHAR>(sm.firstChar + 2) : sm.firstChar > 0xFF ? 0x20 : sm.firstChar;
  tm.tmDefaultChar = static_cast<WCHAR>(tm.tmBreakChar - 1);
  tm.tmItalic = lf.lfItalic ? 255 : 0;
  tm.tmUnderlined = lf.lfUnderline ? 255 : 0;
  tm.tmStruckOut = lf.lfStrikeOut ? 255 : 0;
  bool fixed = ft && FT_IS_FIXED_WIDTH(ft);
  int family = lf.lfPitchAndFamily & 0xF0;
  // Win32's inverted bit: TMPF_FIXED_PITCH set means variable pitch.
  tm.tmPitchAndFamily = static_cast<BYTE>((fixed ? 0 : TMPF_FIXED_PITCH) | TMPF_VECTOR | TMPF_TRUETYPE |
                                          (family ? family : FF_SWISS));
  tm.tmCharSet = lf.lfCharSet == DEFAULT_CHARSET ? ANSI_CHARSET : lf.lfCharSet;

  TRACE_CALL("gdi32", "font height=%d weight=%d quality=%d -> %s ppem=%d tmHeight=%d %s", lf.lfHeight, lf.lfWeight,
             lf.lfQuality, m.file.c_str(), ppem, tm.tmHeight, mono ? "bilevel" : "smoothed");
  if (ft) lib.faces.emplace(key, face);
  return face;
}

const Glyph* Face::glyphLocked(char32_t c) {
  if (c < 256 && latin_[c]) return latin_[c];
  auto it = cache_.find(c);
  if (it != cache_.end()) return &it->second;
  Glyph g;
  if (auto* ft = static_cast<FT_Face>(ft_)) {
    FT_UInt index = FT_Get_Char_Index(ft, c);
    FT_Int32 flags = mono_ ? (FT_LOAD_TARGET_MONO | FT_LOAD_MONOCHROME) : FT_LOAD_TARGET_NORMAL;
    if (FT_Load_Glyph(ft, index, flags) == 0) {
      FT_GlyphSlot slot = ft->glyph;
      if (embolden_) FT_GlyphSlot_Embolden(slot);
      if (FT_Render_Glyph(slot, mono_ ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL) == 0) {
        const FT_Bitmap& bm = slot->bitmap;
        g.left = slot->bitmap_left;
        g.top = slot->bitmap_top;
        g.width = static_cast<int>(bm.width);
        g.rows = static_cast<int>(bm.rows);
        g.coverage.resize(static_cast<size_t>(g.width) * static_cast<size_t>(g.rows));
        for (int y = 0; y < g.rows; ++y) {
          const unsigned char* src = bm.buffer + static_cast<ptrdiff_t>(y) * bm.pitch;
          uint8_t* dst = g.coverage.data() + static_cast<size_t>(y) * static_cast<size_t>(g.width);
          for (int x = 0; x < g.width; ++x) {
            if (bm.pixel_mode == FT_PIXEL_MODE_MONO) {
              dst[x] = (src[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
            } else {
              dst[x] = src[x];
            }
          }
        }
      }
      g.advance = static_cast<int>((slot->advance.x + 32) >> 6);
    }
  }
  auto [pos, inserted] = cache_.emplace(c, std::move(g));
  if (c < 256) latin_[c] = &pos->second;
  return &pos->second;
}

void Face::glyphs(const char16_t* text, size_t n, std::vector<const Glyph*>* out) {
  out->clear();
  out->reserve(n);
  std::lock_guard lk(mu_);
  for (size_t i = 0; i < n; ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < n && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      out->push_back(glyphLocked(c));
      out->push_back(nullptr);
      ++i;
      continue;
    }
    out->push_back(glyphLocked(c));
  }
}

int Face::width(const char16_t* text, size_t n) {
  thread_local std::vector<const Glyph*> run;
  glyphs(text, n, &run);
  int w = 0;
  for (const Glyph* g : run)
    if (g) w += g->advance;
  return w;
}

std::shared_ptr<Face> DcFace(DcObj& dc) {
  if (dc.font) return dc.font->face();
  auto stock = Get<FontObj>(Stock(SYSTEM_FONT));
  return stock ? stock->face() : Face::Realize(LOGFONTW{});
}

}  // namespace gdi
