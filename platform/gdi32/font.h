// gdi32's fonts: a LOGFONTW realised as a FreeType face found through fontconfig, with its
// Win32 text metrics and a glyph cache, and the text-run drawing shared by ExtTextOutW and
// DrawTextW.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "gdi32/handles.h"

namespace gdi {

// The platform default font (LOGFONTW height 0): 12-pixel characters, i.e. 9 pt at 96 dpi —
// Tahoma 9 pt, the Windows Mobile QVGA system font. With Liberation Sans this gives
// tmHeight 14 (ascent 11, descent 3), the cell Tahoma 9 pt has on Windows.
constexpr int kDefaultCharHeightPx = 12;

// One rendered glyph: 8-bit coverage, positioned relative to the pen on the baseline.
struct Glyph {
  int left = 0;     // from the pen position to the bitmap's left column
  int top = 0;      // from the baseline up to the bitmap's top row
  int width = 0;
  int rows = 0;
  int advance = 0;  // whole pixels, as GDI advances are
  std::vector<uint8_t> coverage;
};

class Face {
 public:
  // The realised face for a font description; shared between equal descriptions. Never null:
  // if no font can be loaded at all, a face with metrics but no glyphs is returned.
  static std::shared_ptr<Face> Realize(const LOGFONTW& lf);
  ~Face();
  Face(const Face&) = delete;
  Face& operator=(const Face&) = delete;

  const TEXTMETRICW& metrics() const { return tm_; }
  // The glyphs of a run of UTF-16 units (surrogate pairs give one glyph and a null for the
  // low half). Glyphs live as long as the face.
  void glyphs(const char16_t* text, size_t n, std::vector<const Glyph*>* out);
  // The run's width: the sum of its advances.
  int width(const char16_t* text, size_t n);
  // The family file that was matched (for tests and the trace).
  const std::string& file() const { return file_; }

 private:
  Face() = default;
  const Glyph* glyphLocked(char32_t c);

  std::mutex mu_;
  void* ft_ = nullptr;  // FT_Face; kept opaque so that this header needs no FreeType include
  bool mono_ = false;
  bool embolden_ = false;
  std::string file_;
  TEXTMETRICW tm_{};
  std::unordered_map<char32_t, Glyph> cache_;
  const Glyph* latin_[256] = {};
};

// The face of the DC's selected font.
std::shared_ptr<Face> DcFace(DcObj& dc);

// Draws a run with its cell's top-left at (x, y) in DC coordinates, in the DC's text colour.
// clipRect (DC coordinates) cuts the glyphs when given; in opaque background mode the cell
// (run width x tmHeight) is first filled with the background colour, also cut by clipRect.
// lpDx, when given, are the advances to use. The caller holds the DC lock.
void DrawRun(Locked& l, Face& face, int x, int y, const char16_t* text, size_t n, const RECT* clipRect,
             const INT* lpDx = nullptr);

}  // namespace gdi
