// wsprintfW / wsprintfA / _snwprintf / swprintf: Windows' formatting.
// In the wide functions %s is a wide string and %S an 8-bit one; in wsprintfA the reverse.
// The l prefix means 32 bits, as Windows' long; I64 and ll mean 64 bits. No floating point.
#include <string>

#include "kernel32/kernel32.h"

namespace {

// Windows' wsprintf writes at most 1024 units, terminator included.
constexpr size_t kWsprintfMax = 1024;

template <typename Out>
void AppendNarrow(std::basic_string<Out>& out, const char* s, size_t max) {
  for (size_t i = 0; i < max && s[i]; ++i) {
    if constexpr (sizeof(Out) == 1) out.push_back(s[i]);
    else out.push_back(CodePage1252ToUnit(static_cast<unsigned char>(s[i])));
  }
}

template <typename Out>
void AppendWide(std::basic_string<Out>& out, const WCHAR* s, size_t max) {
  for (size_t i = 0; i < max && s[i]; ++i) {
    if constexpr (sizeof(Out) == 1) {
      int byte = UnitToCodePage1252(s[i]);
      out.push_back(static_cast<char>(byte < 0 ? '?' : byte));
    } else {
      out.push_back(s[i]);
    }
  }
}

template <typename Ch>
size_t Length(const Ch* s, size_t max) {
  size_t n = 0;
  while (n < max && s[n]) ++n;
  return n;
}

// Formats `format` (units of Ch) into a string of Ch. `wideOutput` picks which string type %s
// reads: WCHAR for the W functions, char for wsprintfA.
template <typename Ch>
std::basic_string<Ch> Format(const Ch* format, va_list args) {
  constexpr bool kWide = sizeof(Ch) == 2;
  std::basic_string<Ch> out;
  for (const Ch* p = format; *p; ++p) {
    if (*p != '%') {
      out.push_back(*p);
      continue;
    }
    const Ch* start = p++;
    if (*p == '%') {
      out.push_back('%');
      continue;
    }
    bool left = false, zero = false, alt = false, plus = false, space = false;
    for (;; ++p) {
      if (*p == '-') left = true;
      else if (*p == '0') zero = true;
      else if (*p == '#') alt = true;
      else if (*p == '+') plus = true;
      else if (*p == ' ') space = true;
      else break;
    }
    size_t width = 0;
    if (*p == '*') {
      int w = va_arg(args, int);
      if (w < 0) left = true, w = -w;
      width = static_cast<size_t>(w);
      ++p;
    }
    for (; *p >= '0' && *p <= '9'; ++p) width = width * 10 + static_cast<size_t>(*p - '0');
    bool hasPrecision = false;
    size_t precision = 0;
    if (*p == '.') {
      hasPrecision = true;
      ++p;
      if (*p == '*') {
        int pr = va_arg(args, int);
        precision = pr < 0 ? 0 : static_cast<size_t>(pr), hasPrecision = pr >= 0;
        ++p;
      }
      for (; *p >= '0' && *p <= '9'; ++p) precision = precision * 10 + static_cast<size_t>(*p - '0');
    }
    // Size prefixes: h (short, narrow string/char), l/w (32-bit, wide string/char), ll and I64.
    enum { kNone, kShort, kLong, kLongLong } size = kNone;
    if (*p == 'h') size = kShort, ++p;
    else if (*p == 'l' && p[1] == 'l') size = kLongLong, p += 2;
    else if (*p == 'l' || *p == 'w') size = kLong, ++p;
    else if (*p == 'I' && p[1] == '6' && p[2] == '4') size = kLongLong, p += 3;
    else if (*p == 'I' && p[1] == '3' && p[2] == '2') size = kLong, p += 3;
    else if (*p == 'z' || *p == 'I') size = kLongLong, ++p;
    if (!*p) {  // a format ending inside a conversion: copy it as text
      for (const Ch* q = start; *q; ++q) out.push_back(*q);
      break;
    }

    std::basic_string<Ch> body;
    std::basic_string<Ch> prefix;
    bool numeric = false;
    Ch type = *p;
    switch (type) {
      case 'c':
      case 'C': {
        // %c is the function's own character width, %C the other; h forces narrow, l wide.
        bool wideArg = size == kLong || (size != kShort && ((type == 'c') == kWide));
        int value = va_arg(args, int);
        if (wideArg) {
          WCHAR unit = static_cast<WCHAR>(value);
          AppendWide(body, &unit, 1);
          if (unit == 0) body.push_back(0);
        } else {
          char byte = static_cast<char>(value);
          if (byte == 0) body.push_back(0);
          else AppendNarrow(body, &byte, 1);
        }
        break;
      }
      case 's':
      case 'S': {
        bool wideArg = size == kLong || (size != kShort && ((type == 's') == kWide));
        size_t max = hasPrecision ? precision : static_cast<size_t>(-1);
        if (wideArg) {
          const WCHAR* s = va_arg(args, const WCHAR*);
          if (!s) s = u"(null)";
          AppendWide(body, s, Length(s, max));
        } else {
          const char* s = va_arg(args, const char*);
          if (!s) s = "(null)";
          AppendNarrow(body, s, Length(s, max));
        }
        break;
      }
      case 'd':
      case 'i':
      case 'u':
      case 'x':
      case 'X':
      case 'o':
      case 'p': {
        numeric = true;
        bool isSigned = type == 'd' || type == 'i';
        uint64_t magnitude = 0;
        bool negative = false;
        if (type == 'p') {
          magnitude = reinterpret_cast<uintptr_t>(va_arg(args, void*));
          type = 'X';
          hasPrecision = true;
          precision = sizeof(void*) * 2;
        } else if (size == kLongLong) {
          int64_t v = va_arg(args, int64_t);
          negative = isSigned && v < 0;
          magnitude = negative ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
        } else {
          int v = va_arg(args, int);
          if (size == kShort) v = isSigned ? static_cast<short>(v) : static_cast<unsigned short>(v);
          negative = isSigned && v < 0;
          magnitude = isSigned ? (negative ? 0 - static_cast<int64_t>(v) : v)
                               : static_cast<uint32_t>(v);
        }
        unsigned base = (type == 'x' || type == 'X') ? 16 : type == 'o' ? 8 : 10;
        const char* digits = type == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
        std::basic_string<Ch> number;
        do {
          number.insert(number.begin(), static_cast<Ch>(digits[magnitude % base]));
          magnitude /= base;
        } while (magnitude);
        if (hasPrecision) {
          if (precision == 0 && number.size() == 1 && number[0] == '0') number.clear();
          while (number.size() < precision) number.insert(number.begin(), static_cast<Ch>('0'));
        }
        if (negative) prefix.push_back('-');
        else if (isSigned && plus) prefix.push_back('+');
        else if (isSigned && space) prefix.push_back(' ');
        if (alt && base == 16 && !number.empty() && number != std::basic_string<Ch>(1, '0')) {
          prefix.push_back('0');
          prefix.push_back(static_cast<Ch>(type == 'X' ? 'X' : 'x'));
        }
        if (alt && base == 8 && (number.empty() || number[0] != '0')) number.insert(number.begin(), '0');
        body = number;
        break;
      }
      default:
        // Windows prints an unknown conversion's character as it is.
        body.push_back(type);
        break;
    }
    size_t length = prefix.size() + body.size();
    size_t pad = width > length ? width - length : 0;
    if (left) {
      out += prefix + body;
      out.append(pad, ' ');
    } else if (zero && numeric && !hasPrecision) {
      out += prefix;
      out.append(pad, '0');
      out += body;
    } else {
      out.append(pad, ' ');
      out += prefix + body;
    }
  }
  return out;
}

// Copies as wsprintf does: at most max-1 units and a terminator; returns the units copied.
template <typename Ch>
int CopyLimited(Ch* buffer, const std::basic_string<Ch>& text, size_t max) {
  size_t n = text.size() < max ? text.size() : max - 1;
  std::copy(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n), buffer);
  buffer[n] = 0;
  return static_cast<int>(n);
}

}  // namespace

int wvsprintfW(LPWSTR buffer, LPCWSTR format, va_list args) {
  if (!buffer || !format) return 0;
  return CopyLimited(buffer, Format(format, args), kWsprintfMax);
}

int wsprintfW(LPWSTR buffer, LPCWSTR format, ...) {
  va_list args;
  va_start(args, format);
  int n = wvsprintfW(buffer, format, args);
  va_end(args);
  return n;
}

int wsprintfA(LPSTR buffer, LPCSTR format, ...) {
  if (!buffer || !format) return 0;
  va_list args;
  va_start(args, format);
  int n = CopyLimited(buffer, Format(format, args), kWsprintfMax);
  va_end(args);
  return n;
}

int _vsnwprintf(WCHAR* buffer, size_t count, const WCHAR* format, va_list args) {
  std::u16string text = Format(format, args);
  if (text.size() < count) {
    std::copy(text.begin(), text.end(), buffer);
    buffer[text.size()] = 0;
    return static_cast<int>(text.size());
  }
  // Windows' _snwprintf: exactly count units fit → no terminator, length returned; more → -1.
  std::copy(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(count), buffer);
  return text.size() == count ? static_cast<int>(count) : -1;
}

int _snwprintf(WCHAR* buffer, size_t count, const WCHAR* format, ...) {
  va_list args;
  va_start(args, format);
  int n = _vsnwprintf(buffer, count, format, args);
  va_end(args);
  return n;
}

int swprintf(WCHAR* buffer, size_t count, const WCHAR* format, ...) {
  if (count == 0) return -1;
  va_list args;
  va_start(args, format);
  std::u16string text = Format(format, args);
  va_end(args);
  // C99/ISO swprintf: fails with -1 when the text and its terminator do not fit.
  if (text.size() >= count) {
    buffer[0] = 0;
    return -1;
  }
  return CopyLimited(buffer, text, count);
}
