// The wide C run-time's string functions for 16-bit WCHAR, and Win32's lstr* family.
#include "kernel32/kernel32.h"

size_t wcslen(const WCHAR* s) {
  size_t n = 0;
  while (s[n]) ++n;
  return n;
}

size_t wcsnlen(const WCHAR* s, size_t max) {
  size_t n = 0;
  while (n < max && s[n]) ++n;
  return n;
}

WCHAR* wcscpy(WCHAR* dst, const WCHAR* src) {
  WCHAR* d = dst;
  while ((*d++ = *src++) != 0) {
  }
  return dst;
}

WCHAR* wcsncpy(WCHAR* dst, const WCHAR* src, size_t n) {
  size_t i = 0;
  for (; i < n && src[i]; ++i) dst[i] = src[i];
  for (; i < n; ++i) dst[i] = 0;
  return dst;
}

WCHAR* wcscat(WCHAR* dst, const WCHAR* src) {
  wcscpy(dst + wcslen(dst), src);
  return dst;
}

WCHAR* wcsncat(WCHAR* dst, const WCHAR* src, size_t n) {
  WCHAR* d = dst + wcslen(dst);
  size_t i = 0;
  for (; i < n && src[i]; ++i) d[i] = src[i];
  d[i] = 0;
  return dst;
}

int wcscmp(const WCHAR* a, const WCHAR* b) {
  while (*a && *a == *b) ++a, ++b;
  return *a < *b ? -1 : *a > *b ? 1 : 0;
}

int wcsncmp(const WCHAR* a, const WCHAR* b, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    if (!a[i]) return 0;
  }
  return 0;
}

WCHAR towlower(WCHAR c) {
  if (c < 0x80) return (c >= u'A' && c <= u'Z') ? static_cast<WCHAR>(c + 32) : c;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<WCHAR>(c + 32);
  if (c == 0x178) return 0xFF;
  // Latin Extended-A: pairs, upper case first, except 0x139..0x148 and 0x179..0x17E (odd first).
  if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) return static_cast<WCHAR>(c | 1);
  if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
    return (c & 1) ? static_cast<WCHAR>(c + 1) : c;
  if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return static_cast<WCHAR>(c + 32);  // Greek
  if (c == 0x386) return 0x3AC;
  if (c >= 0x388 && c <= 0x38A) return static_cast<WCHAR>(c + 37);
  if (c == 0x38C) return 0x3CC;
  if (c == 0x38E || c == 0x38F) return static_cast<WCHAR>(c + 63);
  if (c >= 0x410 && c <= 0x42F) return static_cast<WCHAR>(c + 32);  // Cyrillic
  if (c >= 0x400 && c <= 0x40F) return static_cast<WCHAR>(c + 80);
  return c;
}

WCHAR towupper(WCHAR c) {
  if (c < 0x80) return (c >= u'a' && c <= u'z') ? static_cast<WCHAR>(c - 32) : c;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<WCHAR>(c - 32);
  if (c == 0xFF) return 0x178;
  if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) return static_cast<WCHAR>(c & ~1);
  if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
    return (c & 1) ? c : static_cast<WCHAR>(c - 1);
  if (c >= 0x3B1 && c <= 0x3CB && c != 0x3C2) return static_cast<WCHAR>(c - 32);
  if (c == 0x3AC) return 0x386;
  if (c >= 0x3AD && c <= 0x3AF) return static_cast<WCHAR>(c - 37);
  if (c == 0x3CC) return 0x38C;
  if (c == 0x3CD || c == 0x3CE) return static_cast<WCHAR>(c - 63);
  if (c >= 0x430 && c <= 0x44F) return static_cast<WCHAR>(c - 32);
  if (c >= 0x450 && c <= 0x45F) return static_cast<WCHAR>(c - 80);
  return c;
}

int _wcsicmp(const WCHAR* a, const WCHAR* b) {
  for (;; ++a, ++b) {
    WCHAR x = towlower(*a), y = towlower(*b);
    if (x != y) return x < y ? -1 : 1;
    if (!x) return 0;
  }
}

int _wcsnicmp(const WCHAR* a, const WCHAR* b, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    WCHAR x = towlower(a[i]), y = towlower(b[i]);
    if (x != y) return x < y ? -1 : 1;
    if (!x) return 0;
  }
  return 0;
}

const WCHAR* wcschr(const WCHAR* s, WCHAR c) {
  for (;; ++s) {
    if (*s == c) return s;
    if (!*s) return nullptr;
  }
}
WCHAR* wcschr(WCHAR* s, WCHAR c) { return const_cast<WCHAR*>(wcschr(static_cast<const WCHAR*>(s), c)); }

const WCHAR* wcsrchr(const WCHAR* s, WCHAR c) {
  const WCHAR* found = nullptr;
  for (;; ++s) {
    if (*s == c) found = s;
    if (!*s) return found;
  }
}
WCHAR* wcsrchr(WCHAR* s, WCHAR c) { return const_cast<WCHAR*>(wcsrchr(static_cast<const WCHAR*>(s), c)); }

const WCHAR* wcsstr(const WCHAR* s, const WCHAR* sub) {
  size_t n = wcslen(sub);
  if (n == 0) return s;
  for (; *s; ++s) {
    if (wcsncmp(s, sub, n) == 0) return s;
  }
  return nullptr;
}
WCHAR* wcsstr(WCHAR* s, const WCHAR* sub) {
  return const_cast<WCHAR*>(wcsstr(static_cast<const WCHAR*>(s), sub));
}

WCHAR* _wcsdup(const WCHAR* s) {
  if (!s) return nullptr;
  size_t bytes = (wcslen(s) + 1) * sizeof(WCHAR);
  auto* copy = static_cast<WCHAR*>(malloc(bytes));
  if (copy) memcpy(copy, s, bytes);
  return copy;
}

WCHAR* _wcslwr(WCHAR* s) {
  for (WCHAR* p = s; *p; ++p) *p = towlower(*p);
  return s;
}

WCHAR* _wcsupr(WCHAR* s) {
  for (WCHAR* p = s; *p; ++p) *p = towupper(*p);
  return s;
}

long _wtol(const WCHAR* s) {
  while (*s == u' ' || (*s >= u'\t' && *s <= u'\r')) ++s;
  bool negative = *s == u'-';
  if (*s == u'-' || *s == u'+') ++s;
  unsigned long value = 0;
  for (; *s >= u'0' && *s <= u'9'; ++s) value = value * 10 + static_cast<unsigned long>(*s - u'0');
  // Windows' long is 32-bit: the value wraps as the phone's would.
  auto result = static_cast<int32_t>(static_cast<uint32_t>(value));
  return negative ? -result : result;
}

int _wtoi(const WCHAR* s) { return static_cast<int>(_wtol(s)); }

WCHAR* _itow(int value, WCHAR* buffer, int radix) {
  if (radix < 2 || radix > 36) {
    buffer[0] = 0;
    return buffer;
  }
  bool negative = radix == 10 && value < 0;  // other radixes print the two's complement
  uint32_t v = negative ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
  WCHAR digits[40];
  int n = 0;
  do {
    uint32_t d = v % static_cast<uint32_t>(radix);
    digits[n++] = static_cast<WCHAR>(d < 10 ? u'0' + d : u'a' + d - 10);
    v /= static_cast<uint32_t>(radix);
  } while (v);
  WCHAR* p = buffer;
  if (negative) *p++ = u'-';
  while (n) *p++ = digits[--n];
  *p = 0;
  return buffer;
}

int lstrlenW(LPCWSTR s) { return s ? static_cast<int>(wcslen(s)) : 0; }

LPWSTR lstrcpyW(LPWSTR dst, LPCWSTR src) { return wcscpy(dst, src); }

LPWSTR lstrcpynW(LPWSTR dst, LPCWSTR src, int max) {
  if (max <= 0) return dst;
  int i = 0;
  for (; i < max - 1 && src[i]; ++i) dst[i] = src[i];
  dst[i] = 0;
  return dst;
}

LPWSTR lstrcatW(LPWSTR dst, LPCWSTR src) { return wcscat(dst, src); }

int lstrcmpW(LPCWSTR a, LPCWSTR b) { return wcscmp(a, b); }

int lstrcmpiW(LPCWSTR a, LPCWSTR b) { return _wcsicmp(a, b); }

namespace kernel32 {

bool NamesEqualNoCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (towlower(a[i]) != towlower(b[i])) return false;
  }
  return true;
}

}  // namespace kernel32
