// Object-level calls common to every GDI object: DeleteObject, GetObjectW, GetObjectType,
// GetStockObject.
#include <cstring>

#include "device/Trace.h"
#include "gdi32/handles.h"

using namespace gdi;

BOOL WINAPI DeleteObject(HGDIOBJ ho) {
  TRACE_CALL("gdi32", "DeleteObject %p", ho);
  auto obj = Lookup(ho);
  // DeleteObject does not delete DCs (DeleteDC does).
  if (!obj || obj->kind == Kind::DC) return FALSE;
  return Remove(ho) ? TRUE : FALSE;
}

HGDIOBJ WINAPI GetStockObject(int i) { return Stock(i); }

DWORD WINAPI GetObjectType(HGDIOBJ h) {
  auto obj = Lookup(h);
  if (!obj) return 0;
  switch (obj->kind) {
    case Kind::DC: return std::static_pointer_cast<DcObj>(obj)->window ? OBJ_DC : OBJ_MEMDC;
    case Kind::Bitmap: return OBJ_BITMAP;
    case Kind::Brush: return OBJ_BRUSH;
    case Kind::Pen: return OBJ_PEN;
    case Kind::Font: return OBJ_FONT;
    case Kind::Region: return OBJ_REGION;
  }
  return 0;
}

namespace {

// Copies min(c, sizeof(T)) bytes of the description, as Windows does; with no buffer, reports
// the size needed.
template <class T>
int Describe(const T& value, int c, LPVOID pv) {
  if (!pv) return static_cast<int>(sizeof(T));
  if (c <= 0) return 0;
  size_t n = std::min(static_cast<size_t>(c), sizeof(T));
  std::memcpy(pv, &value, n);
  return static_cast<int>(n);
}

}  // namespace

int WINAPI GetObjectW(HGDIOBJ h, int c, LPVOID pv) {
  auto obj = Lookup(h);
  if (!obj) return 0;
  switch (obj->kind) {
    case Kind::Bitmap: {
      const auto& s = std::static_pointer_cast<BitmapObj>(obj)->surface;
      BITMAP bm{};
      bm.bmType = 0;
      bm.bmWidth = s.width;
      bm.bmHeight = s.height;
      bm.bmWidthBytes = s.width * 4;
      bm.bmPlanes = 1;
      bm.bmBitsPixel = 32;
      bm.bmBits = nullptr;  // a device-dependent bitmap: no bits pointer, as on Windows
      return Describe(bm, c, pv);
    }
    case Kind::Brush: {
      auto b = std::static_pointer_cast<BrushObj>(obj);
      LOGBRUSH lb{b->style, b->color, 0};
      return Describe(lb, c, pv);
    }
    case Kind::Pen: {
      auto p = std::static_pointer_cast<PenObj>(obj);
      LOGPEN lp{static_cast<UINT>(p->style), POINT{p->width, 0}, p->color};
      return Describe(lp, c, pv);
    }
    case Kind::Font:
      return Describe(std::static_pointer_cast<FontObj>(obj)->lf, c, pv);
    default:
      return 0;
  }
}
