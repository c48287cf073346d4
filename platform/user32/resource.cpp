// user32 resources: LoadStringW, LoadIconW, DestroyIcon, LoadAcceleratorsW,
// CopyAcceleratorTableW, DestroyAcceleratorTable, with Win32's semantics, over the module table
// of platform/kernel32/module.h. The program loads strings 1 and 2, icon 101 and the accelerator
// table 2 (which the resource set does not define, so LoadAcceleratorsW returns null);
// the help screen loads the help texts 3 to 5 into a 512-unit buffer.
#include <algorithm>
#include <cstdlib>
#include <string>
#include <cstring>

#include "device/Trace.h"
#include "kernel32/module.h"
#include "windows.h"

namespace {

using platform::ResourceEntry;
using platform::ResourceHandleKind;

uint16_t Word(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Dword(const unsigned char* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
int32_t Long(const unsigned char* p) { return static_cast<int32_t>(Dword(p)); }

// The icon size the shell asks for: Windows Mobile's large icon on a hi-res-aware program is
// 44 pixels at 192 dpi scaled to QVGA; the one image of icon 101 is 44 x 44.
constexpr int kPreferredIconSize = 44;

// Picks from an RT_GROUP_ICON directory the entry closest to the preferred size, the deepest
// colour on a tie (as LookupIconIdFromDirectoryEx does); 0 when the directory is malformed.
uint16_t PickIconId(const ResourceEntry& group) {
  const unsigned char* d = group.data;
  if (group.size < 6 || Word(d) != 0 || Word(d + 2) != 1) return 0;
  const size_t count = Word(d + 4);
  if (group.size < 6 + count * 14) return 0;
  uint16_t best = 0;
  int bestDistance = 1 << 30;
  int bestBits = -1;
  for (size_t i = 0; i < count; ++i) {
    const unsigned char* e = d + 6 + i * 14;
    const int width = e[0] == 0 ? 256 : e[0];
    const int bits = Word(e + 6);
    const int distance = std::abs(width - kPreferredIconSize);
    if (distance < bestDistance || (distance == bestDistance && bits > bestBits)) {
      best = Word(e + 12);
      bestDistance = distance;
      bestBits = bits;
    }
  }
  return best;
}

}  // namespace

// Win32's LoadStringW: the string lives in block id / 16 + 1 of RT_STRING, at position id % 16,
// as a length unit followed by that many UTF-16 units without a terminator.
// - cchBufferMax 0: lpBuffer receives a read-only pointer to the string (not terminated) and
//   the result is its length.
// - cchBufferMax 1: the buffer gets only a terminator; the result is 0.
// - otherwise at most cchBufferMax - 1 units are copied, a terminator follows, and the result
//   is the number of units copied (0 for an empty or absent entry of an existing block).
// A missing block, a null buffer or a negative size give 0 and leave the buffer untouched.
int WINAPI LoadStringW(HINSTANCE hInstance, UINT uID, LPWSTR lpBuffer, int cchBufferMax) {
  int result = 0;
  const HRSRC block = FindResourceW(hInstance, MAKEINTRESOURCEW((LOWORD(uID) >> 4) + 1), RT_STRING);
  const auto* data = static_cast<const unsigned char*>(LockResource(LoadResource(hInstance, block)));
  const DWORD size = SizeofResource(hInstance, block);
  if (lpBuffer != nullptr && data != nullptr && cchBufferMax >= 0) {
    // Walk to the string's length unit, never past the block's end.
    size_t offset = 0;
    bool inside = true;
    for (UINT i = 0; i < (uID & 0x0F) && inside; ++i) {
      inside = offset + 2 <= size;
      if (inside) offset += 2 + size_t{Word(data + offset)} * 2;
    }
    inside = inside && offset + 2 <= size;
    const size_t length = inside ? Word(data + offset) : 0;
    if (inside && offset + 2 + length * 2 <= size) {
      const unsigned char* text = data + offset + 2;
      if (cchBufferMax == 0) {
        // The caller passed the address of a pointer disguised as LPWSTR.
        const auto* pointer = reinterpret_cast<const WCHAR*>(text);
        std::memcpy(lpBuffer, &pointer, sizeof pointer);
        result = static_cast<int>(length);
      } else {
        const size_t copied = std::min(length, static_cast<size_t>(cchBufferMax - 1));
        for (size_t i = 0; i < copied; ++i) lpBuffer[i] = static_cast<WCHAR>(Word(text + 2 * i));
        lpBuffer[copied] = 0;
        result = static_cast<int>(copied);
      }
    }
  }
  TRACE_CALL("user32", "LoadString id=%u max=%d -> %d", uID, cchBufferMax, result);
  return result;
}

HICON WINAPI LoadIconW(HINSTANCE hInstance, LPCWSTR lpIconName) {
  uintptr_t handle = 0;
  // A null instance asks for the system's predefined icons (IDI_APPLICATION …), which the
  // emulated phone does not have; the program's own icons need its instance handle.
  if (hInstance != nullptr) {
    const ResourceEntry* group = platform::FindResourceEntry(hInstance, lpIconName, RT_GROUP_ICON);
    const uint16_t id = group == nullptr ? 0 : PickIconId(*group);
    const ResourceEntry* image =
        id == 0 ? nullptr : platform::FindResourceEntry(hInstance, MAKEINTRESOURCEW(id), RT_ICON);
    handle = platform::MakeResourceHandle(ResourceHandleKind::Icon, image);
  }
  TRACE_CALL("user32", "LoadIcon name=%s -> %#lx", platform::DescribeResourceName(lpIconName).c_str(),
             static_cast<unsigned long>(handle));
  return reinterpret_cast<HICON>(handle);
}

// Icons loaded from resources are shared on Windows and DestroyIcon on them does nothing
// harmful; ours are views of constant data, so there is nothing to free.
BOOL WINAPI DestroyIcon(HICON hIcon) {
  return platform::ResourceFromHandle(ResourceHandleKind::Icon, reinterpret_cast<uintptr_t>(hIcon))
             != nullptr;
}

// Null when the module has no RT_ACCELERATOR resource of that name: WinMain's table 2
// does not exist, and TranslateAcceleratorW with a null table takes no message.
HACCEL WINAPI LoadAcceleratorsW(HINSTANCE hInstance, LPCWSTR lpTableName) {
  const ResourceEntry* table = platform::FindResourceEntry(hInstance, lpTableName, RT_ACCELERATOR);
  const uintptr_t handle = platform::MakeResourceHandle(ResourceHandleKind::Accelerators, table);
  TRACE_CALL("user32", "LoadAccelerators name=%s -> %#lx", platform::DescribeResourceName(lpTableName).c_str(),
             static_cast<unsigned long>(handle));
  return reinterpret_cast<HACCEL>(handle);
}

// The resource holds 8-byte entries (flags, key, command, padding); the last has flag 0x80.
// With a null destination the result is the number of entries, else the number copied.
int WINAPI CopyAcceleratorTableW(HACCEL hAccelSrc, LPACCEL lpAccelDst, int cAccelEntries) {
  const ResourceEntry* table = platform::ResourceFromHandle(ResourceHandleKind::Accelerators,
                                                            reinterpret_cast<uintptr_t>(hAccelSrc));
  if (table == nullptr) return 0;
  int count = 0;
  for (size_t offset = 0; offset + 8 <= table->size; offset += 8) {
    const unsigned char* e = table->data + offset;
    if (lpAccelDst != nullptr) {
      if (count >= cAccelEntries) break;
      lpAccelDst[count] = ACCEL{static_cast<BYTE>(e[0] & 0x7F), Word(e + 2), Word(e + 4)};
    }
    ++count;
    if (e[0] & 0x80) break;
  }
  return count;
}

BOOL WINAPI DestroyAcceleratorTable(HACCEL hAccel) {
  return platform::ResourceFromHandle(ResourceHandleKind::Accelerators,
                                      reinterpret_cast<uintptr_t>(hAccel)) != nullptr;
}

namespace platform {

// Decodes the RT_ICON image of a loaded icon: a BITMAPINFOHEADER with the doubled height
// (colour rows then the 1-bit AND mask, both bottom-up, rows padded to 4 bytes), 24 or 32 bits.
bool GetIconPixels(HICON icon, IconPixels* out) {
  const ResourceEntry* e = ResourceFromHandle(ResourceHandleKind::Icon, reinterpret_cast<uintptr_t>(icon));
  if (e == nullptr || out == nullptr || e->size < 40) return false;
  const unsigned char* d = e->data;
  const uint32_t headerSize = Dword(d);
  const int32_t width = Long(d + 4);
  const int32_t height = Long(d + 8) / 2;
  const int bits = Word(d + 14);
  if (headerSize < 40 || headerSize > e->size || width <= 0 || height <= 0 || width > 256 ||
      height > 256 || (bits != 24 && bits != 32) || Dword(d + 16) != 0) {
    return false;
  }
  const size_t colourStride = (static_cast<size_t>(width) * bits / 8 + 3) & ~size_t{3};
  const size_t maskStride = ((static_cast<size_t>(width) + 31) / 32) * 4;
  const size_t colourBytes = colourStride * static_cast<size_t>(height);
  if (headerSize + colourBytes + maskStride * static_cast<size_t>(height) > e->size) return false;
  const unsigned char* colours = d + headerSize;
  const unsigned char* mask = colours + colourBytes;
  out->width = width;
  out->height = height;
  out->bitsPerPixel = bits;
  out->pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
  out->opaque.assign(out->pixels.size(), true);
  for (int y = 0; y < height; ++y) {
    const size_t srcRow = static_cast<size_t>(height - 1 - y);
    for (int x = 0; x < width; ++x) {
      const unsigned char* p = colours + srcRow * colourStride + static_cast<size_t>(x) * (bits / 8);
      const size_t at = static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x);
      out->pixels[at] = (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
      const unsigned char m = mask[srcRow * maskStride + static_cast<size_t>(x) / 8];
      out->opaque[at] = ((m >> (7 - x % 8)) & 1) == 0;
    }
  }
  return true;
}

}  // namespace platform
