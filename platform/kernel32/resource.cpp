// kernel32 resources: the module table (module.h) and FindResourceW, FindResourceExW,
// LoadResource, SizeofResource, LockResource, FreeResource with Win32's semantics.
// The program's only resource set is res/melodex.rc, compiled by llvm-rc and read from the .res
// image the build embeds (ResImageModule).
#include <array>
#include <atomic>
#include <cstring>
#include <string>

#include "device/Trace.h"
#include "kernel32/module.h"
#include "windows.h"

namespace platform {
namespace {

// Fifteen slots: the program's module and, in tests, a few hand-made ones. A slot is written
// once and never cleared, so a lookup on any thread sees either null or a complete module.
constexpr size_t kModuleSlots = 15;
std::array<std::atomic<const ResourceModule*>, kModuleSlots> g_modules{};

// Module handles look like the image bases of a Windows process (0x00400000 for the
// executable) so that traces read naturally; slot n is 0x00400000 + n * 0x00100000.
constexpr uintptr_t kModuleBase = 0x00400000;
constexpr uintptr_t kModuleStride = 0x00100000;

// Resource-backed handles: kind in bits 28-31, slot + 1 in bits 20-27, entry index + 1 below.
constexpr uintptr_t kIndexBits = 20;
constexpr uintptr_t kIndexMask = (uintptr_t{1} << kIndexBits) - 1;

// A type or name argument as Win32 reads it: an integer id, "#123" as id 123, or a string.
struct Query {
  bool isId = false;
  uint16_t id = 0;
  LPCWSTR text = nullptr;
};

Query ReadQuery(LPCWSTR value) {
  Query q;
  if (IS_INTRESOURCE(value)) {
    q.isId = true;
    q.id = static_cast<uint16_t>(reinterpret_cast<uintptr_t>(value));
    return q;
  }
  if (value[0] == u'#') {
    // FindResourceW treats "#159" as MAKEINTRESOURCEW(159): PlaySoundW(L"#159", …, SND_RESOURCE) of
    // the listening and analyzing screens depends on it. Non-digits end the number, as in Windows.
    uint32_t n = 0;
    for (LPCWSTR p = value + 1; *p >= u'0' && *p <= u'9'; ++p) n = n * 10 + uint32_t(*p - u'0');
    q.isId = true;
    q.id = static_cast<uint16_t>(n);
    return q;
  }
  q.text = value;
  return q;
}

bool Matches(const ResourceKey& key, const Query& q) {
  if (q.isId) return key.text == nullptr && key.id == q.id;
  if (key.text == nullptr) return false;
  return _wcsicmp(key.text, q.text) == 0;  // names and types match without regard to case
}

// Finds the slot and index of an entry by address; entries belong to exactly one module.
bool Locate(const ResourceEntry* entry, size_t* slot, size_t* index) {
  for (size_t i = 0; i < kModuleSlots; ++i) {
    const ResourceModule* m = g_modules[i].load(std::memory_order_acquire);
    if (m == nullptr) break;
    if (entry >= m->entries && entry < m->entries + m->count) {
      *slot = i;
      *index = static_cast<size_t>(entry - m->entries);
      return true;
    }
  }
  return false;
}

}  // namespace

std::string DescribeResourceName(LPCWSTR value) {
  if (value == nullptr) return "null";
  if (IS_INTRESOURCE(value)) return std::to_string(reinterpret_cast<uintptr_t>(value));
  std::string s = "\"";
  for (LPCWSTR p = value; *p; ++p) s += (*p < 0x80) ? static_cast<char>(*p) : '?';
  return s + "\"";
}

HINSTANCE RegisterModule(const ResourceModule* module) {
  if (module == nullptr) return nullptr;
  for (size_t i = 0; i < kModuleSlots; ++i) {
    const ResourceModule* expected = nullptr;
    if (g_modules[i].compare_exchange_strong(expected, module, std::memory_order_acq_rel) ||
        expected == module) {
      return reinterpret_cast<HINSTANCE>(kModuleBase + i * kModuleStride);
    }
  }
  return nullptr;
}

const ResourceModule* ModuleFromHandle(HMODULE handle) {
  if (handle == nullptr) return g_modules[0].load(std::memory_order_acquire);
  const uintptr_t value = reinterpret_cast<uintptr_t>(handle);
  if (value < kModuleBase || (value - kModuleBase) % kModuleStride != 0) return nullptr;
  const uintptr_t slot = (value - kModuleBase) / kModuleStride;
  if (slot >= kModuleSlots) return nullptr;
  return g_modules[slot].load(std::memory_order_acquire);
}

HMODULE ProgramModule() {
  if (g_modules[0].load(std::memory_order_acquire) == nullptr) return nullptr;
  return reinterpret_cast<HMODULE>(kModuleBase);
}

const ResourceEntry* FindResourceEntry(HMODULE handle, LPCWSTR name, LPCWSTR type,
                                       uint16_t language) {
  const ResourceModule* module = ModuleFromHandle(handle);
  if (module == nullptr || name == nullptr || type == nullptr) return nullptr;
  const Query qType = ReadQuery(type);
  const Query qName = ReadQuery(name);
  const ResourceEntry* anyLanguage = nullptr;
  for (size_t i = 0; i < module->count; ++i) {
    const ResourceEntry& e = module->entries[i];
    if (!Matches(e.type, qType) || !Matches(e.name, qName)) continue;
    if (language == 0 || e.language == language) return &e;
    if (anyLanguage == nullptr) anyLanguage = &e;
  }
  // Like Windows' fallback to the neutral or first language when the asked one is absent.
  return anyLanguage;
}

std::span<const unsigned char> FindResourceBytes(HMODULE handle, LPCWSTR name, LPCWSTR type) {
  const ResourceEntry* e = FindResourceEntry(handle, name, type);
  if (e == nullptr) return {};
  return {e->data, e->size};
}

uintptr_t MakeResourceHandle(ResourceHandleKind kind, const ResourceEntry* entry) {
  size_t slot = 0;
  size_t index = 0;
  if (entry == nullptr || !Locate(entry, &slot, &index) || index + 1 > kIndexMask) return 0;
  return (static_cast<uintptr_t>(kind) << 28) | ((slot + 1) << kIndexBits) | (index + 1);
}

const ResourceEntry* ResourceFromHandle(ResourceHandleKind kind, uintptr_t handle) {
  if ((handle >> 28) != static_cast<uintptr_t>(kind)) return nullptr;
  const uintptr_t slotPlusOne = (handle >> kIndexBits) & 0xFF;
  const uintptr_t indexPlusOne = handle & kIndexMask;
  if (slotPlusOne == 0 || slotPlusOne > kModuleSlots || indexPlusOne == 0) return nullptr;
  const ResourceModule* m = g_modules[slotPlusOne - 1].load(std::memory_order_acquire);
  if (m == nullptr || indexPlusOne > m->count) return nullptr;
  return &m->entries[indexPlusOne - 1];
}

}  // namespace platform

using platform::ResourceHandleKind;

HRSRC WINAPI FindResourceExW(HMODULE hModule, LPCWSTR lpType, LPCWSTR lpName, WORD wLanguage) {
  const platform::ResourceEntry* e = platform::FindResourceEntry(hModule, lpName, lpType, wLanguage);
  const uintptr_t h = platform::MakeResourceHandle(ResourceHandleKind::Resource, e);
  TRACE_CALL("kernel32", "FindResource module=%#lx name=%s type=%s -> %#lx",
             static_cast<unsigned long>(reinterpret_cast<uintptr_t>(hModule)),
             platform::DescribeResourceName(lpName).c_str(), platform::DescribeResourceName(lpType).c_str(),
             static_cast<unsigned long>(h));
  return reinterpret_cast<HRSRC>(h);
}

HRSRC WINAPI FindResourceW(HMODULE hModule, LPCWSTR lpName, LPCWSTR lpType) {
  return FindResourceExW(hModule, lpType, lpName, 0);
}

// On Win32 the HGLOBAL of a resource is the address of its bytes in the mapped image, and
// LockResource returns it unchanged; the bytes are read-only and live as long as the module.
HGLOBAL WINAPI LoadResource(HMODULE hModule, HRSRC hResInfo) {
  const platform::ResourceEntry* e =
      platform::ResourceFromHandle(ResourceHandleKind::Resource, reinterpret_cast<uintptr_t>(hResInfo));
  if (e == nullptr) return nullptr;
  return const_cast<unsigned char*>(e->data);
}

DWORD WINAPI SizeofResource(HMODULE hModule, HRSRC hResInfo) {
  const platform::ResourceEntry* e =
      platform::ResourceFromHandle(ResourceHandleKind::Resource, reinterpret_cast<uintptr_t>(hResInfo));
  return e == nullptr ? 0 : e->size;
}

LPVOID WINAPI LockResource(HGLOBAL hResData) { return hResData; }

// Obsolete on Win32 (resources are freed with their module); always FALSE, as there.
BOOL WINAPI FreeResource(HGLOBAL hResData) { return FALSE; }
