// Font realisation: fontconfig finds the face file for a LOGFONTW, FreeType renders it. Metrics
// follow Windows' TrueType rules (ascent and descent from the OS/2 table's usWinAscent and
// usWinDescent, rounded; a positive lfHeight is the cell height, a negative one the character
// height), so that layouts computed from tmHeight (the history and help lists) come out as on the
// phone.
#include "gdi32/font.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H

#include <cmath>
#include <map>
#include <tuple>

#include "device/Trace.h"

namespace gdi {
namespace {

struct Library {
  std::mutex mu;  // FT_Library and fontconfig calls that create faces are serialised here
  FT_Library ft = nullptr;
  bool fcReady = false;
  // Realised faces by (file, face index, 26.6 em size, mono, embolden, weight, underline,
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

long Round(double v) { return std::lround(v); }

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

  // Size: the em in pixels (see the file comment).
  int upem = ft && ft->units_per_EM ? ft->units_per_EM : 2048;
  int winAscent = 1854, winDescent = 434, lineGap = 67, hheaAscent = 1854, hheaDescent = -434;  // Liberation Sans
  int avgWidth = 0;
  if (ft) {
    if (auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(ft, FT_SFNT_OS2)); os2 && os2->usWinAscent) {
      winAscent = os2->usWinAscent;
      winDescent = os2->usWinDescent;
      avgWidth = os2->xAvgCharWidth;
    } else {
      winAscent = ft->ascender;
      winDescent = -ft->descender;
    }
    if (auto* hhea = static_cast<TT_HoriHeader*>(FT_Get_Sfnt_Table(ft, FT_SFNT_HHEA))) {
      lineGap = hhea->Line_Gap;
      hheaAscent = hhea->Ascender;
      hheaDescent = hhea->Descender;
    }
  }
  double em;
  if (lf.lfHeight < 0) {
    em = -static_cast<double>(lf.lfHeight);
  } else if (lf.lfHeight > 0) {
    em = lf.lfHeight * static_cast<double>(upem) / (winAscent + winDescent);
  } else {
    em = kDefaultCharHeightPx;
  }
  const double scale = em / upem;
  long em26 = Round(em * 64);
  bool mono = lf.lfQuality == NONANTIALIASED_QUALITY;
  bool embolden = lf.lfWeight >= FW_SEMIBOLD && m.weight < FC_WEIGHT_DEMIBOLD;

  auto key = std::make_tuple(m.file, m.index, em26, mono, embolden, lf.lfWeight, lf.lfUnderline,
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
  if (ft) FT_Set_Char_Size(ft, 0, em26, 72, 72);

  TEXTMETRICW& tm = face->tm_;
  tm.tmAscent = Round(winAscent * scale);
  tm.tmDescent = Round(winDescent * scale);
  if (lf.lfHeight > 0) tm.tmDescent = lf.lfHeight - tm.tmAscent;  // Windows keeps the asked cell
  tm.tmHeight = tm.tmAscent + tm.tmDescent;
  tm.tmInternalLeading = tm.tmHeight - Round(em);
  if (tm.tmInternalLeading < 0) tm.tmInternalLeading = 0;
  long ext = Round((lineGap - ((winAscent + winDescent) - (hheaAscent - hheaDescent))) * scale);
  tm.tmExternalLeading = ext > 0 ? ext : 0;
  tm.tmAveCharWidth = avgWidth ? Round(avgWidth * scale) : Round(em / 2);
  tm.tmMaxCharWidth = ft ? Round((ft->bbox.xMax - ft->bbox.xMin) * scale) : Round(em);
  tm.tmWeight = lf.lfWeight > 0 ? lf.lfWeight : FW_NORMAL;
  tm.tmOverhang = 0;
  tm.tmDigitizedAspectX = 96;
  tm.tmDigitizedAspectY = 96;
  tm.tmFirstChar = 0x20;
  tm.tmLastChar = 0xFFFC;
  tm.tmDefaultChar = 0x1F;
  tm.tmBreakChar = 0x20;
  tm.tmItalic = lf.lfItalic ? 255 : 0;
  tm.tmUnderlined = lf.lfUnderline ? 255 : 0;
  tm.tmStruckOut = lf.lfStrikeOut ? 255 : 0;
  bool fixed = ft && FT_IS_FIXED_WIDTH(ft);
  int family = lf.lfPitchAndFamily & 0xF0;
  // Win32's inverted bit: TMPF_FIXED_PITCH set means variable pitch.
  tm.tmPitchAndFamily = static_cast<BYTE>((fixed ? 0 : TMPF_FIXED_PITCH) | TMPF_VECTOR | TMPF_TRUETYPE |
                                          (family ? family : FF_SWISS));
  tm.tmCharSet = lf.lfCharSet == DEFAULT_CHARSET ? ANSI_CHARSET : lf.lfCharSet;

  TRACE_CALL("gdi32", "font height=%d weight=%d -> %s em=%.2f tmHeight=%d", lf.lfHeight, lf.lfWeight,
             m.file.c_str(), em, tm.tmHeight);
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
    FT_Int32 flags = mono_ ? (FT_LOAD_TARGET_MONO | FT_LOAD_MONOCHROME) : FT_LOAD_TARGET_LIGHT;
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
