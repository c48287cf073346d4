// Windows-1252 <-> UTF-16 (the phone's 8-bit code page), UTF-8 for host
// names, and the C run-time's mbstowcs/wcstombs on WCHAR.
#include <array>

#include "kernel32/kernel32.h"

namespace {

// 0x80..0x9F of Windows-1252. The five undefined bytes (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to
// the C1 controls of the same value, as MultiByteToWideChar(1252) does on Windows.
constexpr std::array<char16_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

WCHAR CodePage1252ToUnit(unsigned char byte) {
  if (byte >= 0x80 && byte <= 0x9F) return kHigh[byte - 0x80];
  return byte;
}

int UnitToCodePage1252(WCHAR unit) {
  if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) return unit;
  for (size_t i = 0; i < kHigh.size(); ++i) {
    if (kHigh[i] == unit) return static_cast<int>(0x80 + i);
  }
  return -1;
}

size_t mbstowcs(WCHAR* dst, const char* src, size_t n) {
  if (!src) return static_cast<size_t>(-1);
  size_t length = strlen(src);
  if (!dst) return length;
  size_t i = 0;
  for (; i < n; ++i) {
    dst[i] = CodePage1252ToUnit(static_cast<unsigned char>(src[i]));
    if (src[i] == '\0') return i;  // terminator written, not counted
  }
  return i;
}

// A character with no byte in the code page fails the whole conversion with (size_t)-1, as
// Microsoft's C run-time does; the bytes before it are written. The failing position gets a
// terminator (Windows leaves it undefined), so a caller that ignores the result reads a cut
// string rather than past the buffer.
size_t wcstombs(char* dst, const WCHAR* src, size_t n) {
  if (!src) return static_cast<size_t>(-1);
  if (!dst) {
    size_t length = 0;
    for (; src[length]; ++length)
      if (UnitToCodePage1252(src[length]) < 0) return static_cast<size_t>(-1);
    return length;
  }
  size_t i = 0;
  for (; i < n; ++i) {
    int byte = UnitToCodePage1252(src[i]);
    if (byte < 0) {
      dst[i] = '\0';
      return static_cast<size_t>(-1);
    }
    dst[i] = static_cast<char>(byte);
    if (src[i] == 0) return i;
  }
  return i;
}

namespace kernel32 {

std::u16string Cp1252ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (char c : text) out.push_back(CodePage1252ToUnit(static_cast<unsigned char>(c)));
  return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

namespace {

// Decodes one UTF-8 sequence at text[i]; returns the code point or -1 when malformed.
int32_t DecodeUtf8(std::string_view text, size_t& i) {
  unsigned char b = static_cast<unsigned char>(text[i]);
  if (b < 0x80) {
    ++i;
    return b;
  }
  int extra = (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : -1;
  if (extra < 0 || i + static_cast<size_t>(extra) >= text.size()) return -1;
  int32_t c = b & (0x3F >> extra);
  for (int k = 1; k <= extra; ++k) {
    unsigned char n = static_cast<unsigned char>(text[i + k]);
    if ((n & 0xC0) != 0x80) return -1;
    c = (c << 6) | (n & 0x3F);
  }
  static constexpr int32_t kMin[] = {0, 0x80, 0x800, 0x10000};
  if (c < kMin[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return -1;
  i += extra + 1;
  return c;
}

}  // namespace

bool IsValidUtf8(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    if (DecodeUtf8(text, i) < 0) return false;
  }
  return true;
}

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    int32_t c = DecodeUtf8(text, i);
    if (c < 0) {
      out.push_back(0xFFFD);
      ++i;
    } else if (c >= 0x10000) {
      out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
  }
  return out;
}

}  // namespace kernel32
