// The GDI handle table: slots of reference-counted objects named by (generation << 16 | slot),
// after Wine's gdi handle table. Handles are never pointers; a stale handle (its
// slot freed or reused) is simply not found. Thread-safe: one mutex guards the table; the
// objects themselves are kept alive by whoever looked them up.
#include <array>
#include <vector>

#include "device/Trace.h"
#include "gdi32/handles.h"

namespace gdi {
namespace {

constexpr size_t kMaxSlots = 0xFFFF;
constexpr int kStockCount = 22;

struct Slot {
  std::shared_ptr<Object> obj;
  uint16_t generation = 0;
  int selections = 0;
  bool deletePending = false;
  bool stock = false;
};

struct Table {
  std::mutex mu;
  std::vector<Slot> slots;
  std::vector<uint32_t> freeList;
  size_t live = 0;
  std::array<HGDIOBJ, kStockCount> stock{};
  bool stockMade = false;
};

Table& table() {
  static Table t;
  return t;
}

HGDIOBJ MakeHandle(uint32_t slot, uint16_t generation) {
  return reinterpret_cast<HGDIOBJ>(static_cast<uintptr_t>((uint32_t{generation} << 16) | slot));
}

// The slot a handle names, or null; caller holds the table mutex.
Slot* Find(Table& t, HGDIOBJ h) {
  auto v = reinterpret_cast<uintptr_t>(h);
  if (v > 0xFFFFFFFFu) return nullptr;
  uint32_t slot = v & 0xFFFF;
  auto gen = static_cast<uint16_t>(v >> 16);
  if (gen == 0 || slot >= t.slots.size()) return nullptr;
  Slot& s = t.slots[slot];
  if (!s.obj || s.generation != gen) return nullptr;
  return &s;
}

HGDIOBJ InsertLocked(Table& t, std::shared_ptr<Object> obj, bool stock) {
  uint32_t index;
  if (!t.freeList.empty()) {
    index = t.freeList.back();
    t.freeList.pop_back();
  } else {
    if (t.slots.size() >= kMaxSlots) return nullptr;
    index = static_cast<uint32_t>(t.slots.size());
    t.slots.emplace_back();
  }
  Slot& s = t.slots[index];
  // Generations run 1..0x7FFF so that handle values stay positive 31-bit numbers and never 0.
  s.generation = static_cast<uint16_t>(s.generation % 0x7FFF + 1);
  s.obj = std::move(obj);
  s.selections = 0;
  s.deletePending = false;
  s.stock = stock;
  if (!stock) ++t.live;
  return MakeHandle(index, s.generation);
}

// The object leaves the table; returns it so that it is destroyed after the mutex is released.
std::shared_ptr<Object> FreeLocked(Table& t, Slot& s) {
  std::shared_ptr<Object> obj = std::move(s.obj);
  s.obj.reset();
  t.freeList.push_back(static_cast<uint32_t>(&s - t.slots.data()));
  --t.live;
  return obj;
}

void MakeStockLocked(Table& t) {
  if (t.stockMade) return;
  t.stockMade = true;
  auto brush = [&](int i, COLORREF c, UINT style = BS_SOLID) {
    t.stock[static_cast<size_t>(i)] = InsertLocked(t, std::make_shared<BrushObj>(style, c), true);
  };
  brush(WHITE_BRUSH, RGB(255, 255, 255));
  brush(LTGRAY_BRUSH, RGB(192, 192, 192));
  brush(GRAY_BRUSH, RGB(128, 128, 128));
  brush(DKGRAY_BRUSH, RGB(64, 64, 64));
  brush(BLACK_BRUSH, RGB(0, 0, 0));
  brush(NULL_BRUSH, 0, BS_NULL);
  t.stock[WHITE_PEN] = InsertLocked(t, std::make_shared<PenObj>(PS_SOLID, 1, RGB(255, 255, 255)), true);
  t.stock[BLACK_PEN] = InsertLocked(t, std::make_shared<PenObj>(PS_SOLID, 1, RGB(0, 0, 0)), true);
  t.stock[NULL_PEN] = InsertLocked(t, std::make_shared<PenObj>(PS_NULL, 1, RGB(0, 0, 0)), true);
  // SYSTEM_FONT and DEFAULT_GUI_FONT: the platform default font (height 0, the results screen's
  // font description but with DEFAULT_QUALITY), which is what a new DC draws with.
  LOGFONTW lf{};
  lf.lfWeight = FW_NORMAL;
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
  t.stock[SYSTEM_FONT] = InsertLocked(t, std::make_shared<FontObj>(lf), true);
  t.stock[DEFAULT_GUI_FONT] = InsertLocked(t, std::make_shared<FontObj>(lf), true);
  auto bitmap = std::make_shared<BitmapObj>(1, 1);
  bitmap->isDefault = true;
  t.stock[kStockDefaultBitmap] = InsertLocked(t, std::move(bitmap), true);
}

}  // namespace

HGDIOBJ Insert(std::shared_ptr<Object> obj) {
  Table& t = table();
  std::lock_guard lk(t.mu);
  return InsertLocked(t, std::move(obj), false);
}

std::shared_ptr<Object> Lookup(HGDIOBJ h) {
  Table& t = table();
  std::lock_guard lk(t.mu);
  Slot* s = Find(t, h);
  return s ? s->obj : nullptr;
}

bool Remove(HGDIOBJ h) {
  Table& t = table();
  std::shared_ptr<Object> doomed;
  {
    std::lock_guard lk(t.mu);
    Slot* s = Find(t, h);
    if (!s) return false;
    if (s->stock) return true;  // Windows: deleting a stock object succeeds and does nothing
    if (s->selections > 0) {
      s->deletePending = true;  // freed when deselected, as Wine and Windows do
      return true;
    }
    doomed = FreeLocked(t, *s);
  }
  return true;
}

void AddSelection(HGDIOBJ h) {
  Table& t = table();
  std::lock_guard lk(t.mu);
  if (Slot* s = Find(t, h)) ++s->selections;
}

void ReleaseSelection(HGDIOBJ h) {
  Table& t = table();
  std::shared_ptr<Object> doomed;
  {
    std::lock_guard lk(t.mu);
    Slot* s = Find(t, h);
    if (!s) return;
    if (s->selections > 0) --s->selections;
    if (s->selections == 0 && s->deletePending) doomed = FreeLocked(t, *s);
  }
}

HGDIOBJ Stock(int index) {
  if (index < 0 || index >= kStockCount) return nullptr;
  Table& t = table();
  std::lock_guard lk(t.mu);
  MakeStockLocked(t);
  return t.stock[static_cast<size_t>(index)];
}

bool IsStock(HGDIOBJ h) {
  Table& t = table();
  std::lock_guard lk(t.mu);
  Slot* s = Find(t, h);
  return s && s->stock;
}

size_t LiveObjectCount() {
  Table& t = table();
  std::lock_guard lk(t.mu);
  return t.live;
}

}  // namespace gdi
