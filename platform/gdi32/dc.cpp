// Device contexts: memory DCs, object selection, colours and modes, and the locking helper
// every drawing call goes through.
#include "device/Trace.h"
#include "gdi32/handles.h"

namespace gdi {

void Locked::drew() const {
  if (isWindow && dc->window->changed) dc->window->changed();
}

namespace {

// Fills in the target of an already looked-up DC. `windowClient` is the window's client area
// on the screen, queried before the DC was locked.
void Resolve(Locked* l, bool windowVisible, const RECT& windowClient) {
  DcObj& dc = *l->dc;
  l->surface = nullptr;
  l->bounds = l->clip = RECT{0, 0, 0, 0};
  if (dc.window) {
    l->isWindow = true;
    if (!windowVisible || !dc.window->screen) return;
    device::Surface& s = dc.window->screen();
    l->surface = &s;
    l->origin = POINT{windowClient.left, windowClient.top};
    l->bounds = Intersect(windowClient, RECT{0, 0, s.width, s.height});
  } else {
    if (!dc.bitmap || dc.bitmap->isDefault) return;
    device::Surface& s = dc.bitmap->surface;
    l->surface = &s;
    l->origin = POINT{0, 0};
    l->bounds = RECT{0, 0, s.width, s.height};
  }
  l->clip = l->bounds;
  if (dc.clip) l->clip = Intersect(l->clip, l->toSurface(*dc.clip));
  if (Empty(l->clip)) l->surface = nullptr;
}

bool QueryWindow(const DcObj& dc, RECT* client) {
  if (!dc.window || !dc.window->clientOnScreen) return false;
  return dc.window->clientOnScreen(dc.window->hwnd, client);
}

}  // namespace

bool LockDc(HDC hdc, Locked* out) {
  auto dc = Get<DcObj>(hdc);
  if (!dc) return false;
  RECT client{0, 0, 0, 0};
  bool visible = QueryWindow(*dc, &client);
  out->lock = std::unique_lock<std::mutex>(dc->mu);
  out->dc = std::move(dc);
  Resolve(out, visible, client);
  return true;
}

bool LockDcPair(HDC a, HDC b, Locked* outA, Locked* outB) {
  auto da = Get<DcObj>(a);
  auto db = Get<DcObj>(b);
  if (!da || !db) return false;
  RECT ca{0, 0, 0, 0}, cb{0, 0, 0, 0};
  bool va = QueryWindow(*da, &ca);
  bool vb = QueryWindow(*db, &cb);
  if (da == db) {
    outA->lock = std::unique_lock<std::mutex>(da->mu);
  } else {
    std::lock(da->mu, db->mu);
    outA->lock = std::unique_lock<std::mutex>(da->mu, std::adopt_lock);
    outB->lock = std::unique_lock<std::mutex>(db->mu, std::adopt_lock);
  }
  outA->dc = std::move(da);
  outB->dc = std::move(db);
  Resolve(outA, va, ca);
  Resolve(outB, vb, cb);
  return true;
}

void FillSurface(device::Surface& s, const RECT& r, uint32_t pixel) {
  for (int y = r.top; y < r.bottom; ++y) {
    uint32_t* row = s.row(y);
    std::fill(row + r.left, row + r.right, pixel);
  }
}

// Gives a new DC Windows' defaults: white brush, black pen, system font, 1x1 bitmap.
void InitDcDefaults(DcObj& dc) {
  dc.brushHandle = Stock(WHITE_BRUSH);
  dc.brush = Get<BrushObj>(dc.brushHandle);
  dc.penHandle = Stock(BLACK_PEN);
  dc.pen = Get<PenObj>(dc.penHandle);
  dc.fontHandle = Stock(SYSTEM_FONT);
  dc.font = Get<FontObj>(dc.fontHandle);
}

void ReleaseDcSelections(DcObj& dc) {
  // Deselect everything so that objects deleted while selected are freed now.
  if (dc.bitmap) dc.bitmap->selectedInto.store(0);
  for (HGDIOBJ h : {dc.bitmapHandle, dc.brushHandle, dc.penHandle, dc.fontHandle})
    if (h) ReleaseSelection(h);
  dc.bitmap.reset();
  dc.brush.reset();
  dc.pen.reset();
  dc.font.reset();
  dc.bitmapHandle = dc.brushHandle = dc.penHandle = dc.fontHandle = nullptr;
}

}  // namespace gdi

using namespace gdi;

HDC WINAPI CreateCompatibleDC(HDC hdc) {
  // Any DC (or none) is compatible: every surface here is 32-bit.
  auto dc = std::make_shared<DcObj>();
  InitDcDefaults(*dc);
  dc->bitmapHandle = Stock(kStockDefaultBitmap);
  dc->bitmap = Get<BitmapObj>(dc->bitmapHandle);
  HGDIOBJ h = Insert(dc);
  if (!h) return nullptr;
  for (HGDIOBJ o : {dc->bitmapHandle, dc->brushHandle, dc->penHandle, dc->fontHandle}) AddSelection(o);
  TRACE_CALL("gdi32", "CreateCompatibleDC hdc=%p -> %p", static_cast<void*>(hdc), h);
  return static_cast<HDC>(h);
}

BOOL WINAPI DeleteDC(HDC hdc) {
  auto dc = Get<DcObj>(hdc);
  TRACE_CALL("gdi32", "DeleteDC hdc=%p", static_cast<void*>(hdc));
  if (!dc) return FALSE;
  {
    std::lock_guard lk(dc->mu);
    ReleaseDcSelections(*dc);
  }
  return Remove(hdc) ? TRUE : FALSE;
}

HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ h) {
  auto obj = Lookup(h);
  auto dc = Get<DcObj>(hdc);
  if (!obj || !dc) return nullptr;
  if (obj->kind == Kind::Region) {
    // Windows: selecting a region sets the clip region and returns its complexity.
    return reinterpret_cast<HGDIOBJ>(static_cast<intptr_t>(SelectClipRgn(hdc, static_cast<HRGN>(h))));
  }
  std::lock_guard lk(dc->mu);
  HGDIOBJ old = nullptr;
  switch (obj->kind) {
    case Kind::Bitmap: {
      if (dc->window) return nullptr;  // only memory DCs take bitmaps
      auto bmp = std::static_pointer_cast<BitmapObj>(obj);
      auto me = reinterpret_cast<uintptr_t>(hdc);
      if (!bmp->isDefault) {
        uintptr_t expected = 0;
        // A bitmap is in one DC at a time; selecting it again into the same DC is fine.
        if (!bmp->selectedInto.compare_exchange_strong(expected, me) && expected != me) return nullptr;
      }
      if (dc->bitmap && dc->bitmap != bmp) dc->bitmap->selectedInto.store(0);
      old = dc->bitmapHandle;
      dc->bitmapHandle = h;
      dc->bitmap = std::move(bmp);
      break;
    }
    case Kind::Brush:
      old = dc->brushHandle;
      dc->brushHandle = h;
      dc->brush = std::static_pointer_cast<BrushObj>(obj);
      break;
    case Kind::Pen:
      old = dc->penHandle;
      dc->penHandle = h;
      dc->pen = std::static_pointer_cast<PenObj>(obj);
      break;
    case Kind::Font:
      old = dc->fontHandle;
      dc->fontHandle = h;
      dc->font = std::static_pointer_cast<FontObj>(obj);
      break;
    default:
      return nullptr;
  }
  AddSelection(h);
  if (old) ReleaseSelection(old);
  return old;
}

HGDIOBJ WINAPI GetCurrentObject(HDC hdc, UINT type) {
  auto dc = Get<DcObj>(hdc);
  if (!dc) return nullptr;
  std::lock_guard lk(dc->mu);
  switch (type) {
    case OBJ_PEN: return dc->penHandle;
    case OBJ_BRUSH: return dc->brushHandle;
    case OBJ_FONT: return dc->fontHandle;
    case OBJ_BITMAP: return dc->bitmapHandle;
    default: return nullptr;
  }
}

COLORREF WINAPI SetBkColor(HDC hdc, COLORREF color) {
  auto dc = Get<DcObj>(hdc);
  if (!dc) return CLR_INVALID;
  std::lock_guard lk(dc->mu);
  COLORREF old = dc->bkColor;
  dc->bkColor = color & 0x00FFFFFF;
  return old;
}

COLORREF WINAPI GetBkColor(HDC hdc) {
  auto dc = Get<DcObj>(hdc);
  if (!dc) return CLR_INVALID;
  std::lock_guard lk(dc->mu);
  return dc->bkColor;
}

COLORREF WINAPI SetTextColor(HDC hdc, COLORREF color) {
  auto dc = Get<DcObj>(hdc);
  if (!dc) return CLR_INVALID;
  std::lock_guard lk(dc->mu);
  COLORREF old = dc->textColor;
  dc->textColor = color & 0x00FFFFFF;
  return old;
}

COLORREF WINAPI GetTextColor(HDC hdc) {
  auto dc = Get<DcObj>(hdc);
  if (!dc) return CLR_INVALID;
  std::lock_guard lk(dc->mu);
  return dc->textColor;
}

int WINAPI SetBkMode(HDC hdc, int mode) {
  auto dc = Get<DcObj>(hdc);
  if (!dc || (mode != TRANSPARENT && mode != OPAQUE)) return 0;
  std::lock_guard lk(dc->mu);
  int old = dc->bkMode;
  dc->bkMode = mode;
  return old;
}

int WINAPI GetBkMode(HDC hdc) {
  auto dc = Get<DcObj>(hdc);
  if (!dc) return 0;
  std::lock_guard lk(dc->mu);
  return dc->bkMode;
}
