// gdi32's private header: the GDI objects and the handle table that names them.
//
// As in Wine (dlls/gdi32/objects.c) and Windows, a GDI handle is a value — a slot index in a
// table plus a generation count — never a pointer the client could dereference.
// Objects are reference-counted (std::shared_ptr): a call that looked an object up keeps it alive
// even if another thread deletes its handle meanwhile. Like Windows, DeleteObject on an object
// still selected into a device context succeeds but the object lives on (and its handle stays
// valid) until it is deselected.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

#include "device/Surface.h"

namespace gdi {

enum class Kind : uint8_t { DC = 1, Bitmap, Brush, Pen, Font, Region };

struct Object {
  explicit Object(Kind k) : kind(k) {}
  virtual ~Object() = default;
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;
  const Kind kind;
};

struct BitmapObj : Object {
  static constexpr Kind kKind = Kind::Bitmap;
  BitmapObj(int w, int h, uint32_t fill = 0x00000000) : Object(kKind), surface(w, h, fill) {}
  explicit BitmapObj(device::Surface s) : Object(kKind), surface(std::move(s)) {}
  device::Surface surface;
  // The DC it is selected into (handle value), 0 when none: Windows lets a bitmap be selected
  // into one DC at a time.
  std::atomic<uintptr_t> selectedInto{0};
  // The stock 1x1 bitmap of a fresh memory DC: drawing into it has no visible effect here.
  bool isDefault = false;
};

struct BrushObj : Object {
  static constexpr Kind kKind = Kind::Brush;
  BrushObj(UINT st, COLORREF c) : Object(kKind), style(st), color(c) {}
  UINT style;  // BS_SOLID or BS_NULL
  COLORREF color;
};

struct PenObj : Object {
  static constexpr Kind kKind = Kind::Pen;
  PenObj(int st, int w, COLORREF c) : Object(kKind), style(st), width(w), color(c) {}
  int style;  // PS_SOLID or PS_NULL (dashes are drawn solid)
  int width;
  COLORREF color;
};

struct RegionObj : Object {
  static constexpr Kind kKind = Kind::Region;
  explicit RegionObj(RECT r) : Object(kKind), rect(r) {}
  RECT rect;  // normalised; empty when left >= right or top >= bottom
};

class Face;  // a realised font: font.h

struct FontObj : Object {
  static constexpr Kind kKind = Kind::Font;
  explicit FontObj(const LOGFONTW& l) : Object(kKind), lf(l) {}
  LOGFONTW lf;
  // Realised on first use (FreeType face at the requested size); shared between fonts with the
  // same description.
  std::shared_ptr<Face> face();

 private:
  std::once_flag once_;
  std::shared_ptr<Face> face_;
};

// Where a window DC draws: filled by windowdc.cpp, which alone talks to user32 and the screen.
struct WindowTarget {
  HWND hwnd = nullptr;
  // The client area in screen pixels (false: no window, or hidden: nothing is drawn).
  bool (*clientOnScreen)(HWND, RECT*) = nullptr;
  device::Surface& (*screen)() = nullptr;
  void (*changed)() = nullptr;
};

struct DcObj : Object {
  static constexpr Kind kKind = Kind::DC;
  DcObj() : Object(kKind) {}
  std::mutex mu;  // held for the length of every call that reads or draws through this DC

  std::optional<WindowTarget> window;  // set: a window DC; unset: a memory DC
  HGDIOBJ bitmapHandle = nullptr;      // memory DC: the selected bitmap
  std::shared_ptr<BitmapObj> bitmap;

  HGDIOBJ brushHandle = nullptr;
  std::shared_ptr<BrushObj> brush;
  HGDIOBJ penHandle = nullptr;
  std::shared_ptr<PenObj> pen;
  HGDIOBJ fontHandle = nullptr;
  std::shared_ptr<FontObj> font;

  COLORREF textColor = 0x00000000;  // black, as a new DC on Windows
  COLORREF bkColor = 0x00FFFFFF;    // white
  int bkMode = OPAQUE;              // Windows' default
  POINT pos{0, 0};                  // current position (MoveToEx / LineTo)
  std::optional<RECT> clip;         // clip region in DC coordinates; unset = none
};

// --- The handle table (handles.cpp) ---------------------------------------------------------

// Adds an object; returns its new handle, or null when the table is full.
HGDIOBJ Insert(std::shared_ptr<Object> obj);
// The object a handle names, or null for a stale or foreign handle.
std::shared_ptr<Object> Lookup(HGDIOBJ h);
template <class T>
std::shared_ptr<T> Get(HGDIOBJ h) {
  auto o = Lookup(h);
  if (!o || o->kind != T::kKind) return nullptr;
  return std::static_pointer_cast<T>(o);
}
// DeleteObject/DeleteDC: frees the slot (deferred while selected); stock objects stay.
bool Remove(HGDIOBJ h);
// Selection counts, for deferred deletion.
void AddSelection(HGDIOBJ h);
void ReleaseSelection(HGDIOBJ h);
// Stock objects, created on first use: GetStockObject's indices and the DC defaults.
HGDIOBJ Stock(int index);
constexpr int kStockDefaultBitmap = 21;  // Windows' DEFAULT_BITMAP (not in the public header)
bool IsStock(HGDIOBJ h);
// Number of live (non-stock) objects: the tests' leak check.
size_t LiveObjectCount();

// --- Drawing helpers (dc.cpp) ---------------------------------------------------------------

// A DC locked for one call, with the surface it draws into resolved.
struct Locked {
  std::shared_ptr<DcObj> dc;
  std::unique_lock<std::mutex> lock;
  device::Surface* surface = nullptr;  // null: nothing visible to draw into
  POINT origin{0, 0};                   // DC (0,0) in surface pixels
  RECT bounds{0, 0, 0, 0};              // the DC's visible area (bitmap, window client)
  RECT clip{0, 0, 0, 0};                // bounds ∩ clip region: where drawing may touch
  bool isWindow = false;

  // DC coordinates to surface pixels.
  RECT toSurface(const RECT& r) const {
    return RECT{r.left + origin.x, r.top + origin.y, r.right + origin.x, r.bottom + origin.y};
  }
  // After drawing into a window DC: tell the display.
  void drew() const;
};
// Looks the DC up, resolves its target (asking user32 for a window's place before locking, so
// no user32 lock is ever taken while a DC lock is held) and locks it. False for a bad handle.
bool LockDc(HDC hdc, Locked* out);
// Locks two DCs (which may be the same) without deadlock, for BitBlt.
bool LockDcPair(HDC a, HDC b, Locked* outA, Locked* outB);

// Rectangle helpers.
inline RECT Intersect(const RECT& a, const RECT& b) {
  RECT r{a.left > b.left ? a.left : b.left, a.top > b.top ? a.top : b.top,
         a.right < b.right ? a.right : b.right, a.bottom < b.bottom ? a.bottom : b.bottom};
  if (r.right <= r.left || r.bottom <= r.top) r = RECT{0, 0, 0, 0};
  return r;
}
inline bool Empty(const RECT& r) { return r.right <= r.left || r.bottom <= r.top; }

// COLORREF (0x00BBGGRR) to a surface pixel (0x00RRGGBB) and back.
inline uint32_t ToPixel(COLORREF c) {
  return ((c & 0xFFu) << 16) | (c & 0xFF00u) | ((c >> 16) & 0xFFu);
}
inline COLORREF ToColorRef(uint32_t p) {
  return ((p & 0xFFu) << 16) | (p & 0xFF00u) | ((p >> 16) & 0xFFu);
}

// A new DC's defaults (white brush, black pen, system font), selected; and the reverse.
void InitDcDefaults(DcObj& dc);
void ReleaseDcSelections(DcObj& dc);

// Fills a surface rectangle (already clipped) with one pixel value.
void FillSurface(device::Surface& s, const RECT& r, uint32_t pixel);

// --- Internal API for aygshell and the platform's tests -------------------------------------

// A new bitmap holding these pixels.
HBITMAP CreateBitmapFromSurface(device::Surface surface);
// A copy of a bitmap's pixels; false for a bad handle.
bool CopyBitmapSurface(HBITMAP bitmap, device::Surface* out);

}  // namespace gdi
