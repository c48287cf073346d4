// swscanf for 16-bit WCHAR, with the C run-time's rules (the history store reads file names with
// "%d": leading white space skipped, an optional sign, digits, the rest ignored).
#include <string>

#include "kernel32/kernel32.h"

namespace {

bool IsSpace(WCHAR c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }

int DigitValue(WCHAR c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'z') return c - u'a' + 10;
  if (c >= u'A' && c <= u'Z') return c - u'A' + 10;
  return 99;
}

// Parses an integer of `base` (0: C's automatic base) from at most `width` units.
// Returns false when no digit was read.
bool ScanInteger(const WCHAR*& in, size_t width, int base, uint64_t* magnitude, bool* negative) {
  size_t used = 0;
  *negative = false;
  if (used < width && (*in == u'-' || *in == u'+')) {
    *negative = *in == u'-';
    ++in, ++used;
  }
  if (base == 0) {
    base = 10;
    if (used < width && *in == u'0') {
      base = 8;
      if (used + 1 < width && (in[1] == u'x' || in[1] == u'X') && DigitValue(in[2]) < 16) {
        base = 16;
        in += 2, used += 2;
      }
    }
  } else if (base == 16 && used + 1 < width && *in == u'0' && (in[1] == u'x' || in[1] == u'X') &&
             DigitValue(in[2]) < 16) {
    in += 2, used += 2;
  }
  bool any = false;
  uint64_t value = 0;
  while (used < width && DigitValue(*in) < base) {
    value = value * static_cast<unsigned>(base) + static_cast<unsigned>(DigitValue(*in));
    ++in, ++used;
    any = true;
  }
  *magnitude = value;
  return any;
}

// A %[...] set: `negated` and the members (ranges a-z expanded on test).
struct ScanSet {
  bool negated = false;
  std::u16string spec;
  bool contains(WCHAR c) const {
    bool found = false;
    for (size_t i = 0; i < spec.size(); ++i) {
      if (i + 2 < spec.size() && spec[i + 1] == u'-') {
        if (c >= spec[i] && c <= spec[i + 2]) found = true;
        i += 2;
      } else if (spec[i] == c) {
        found = true;
      }
    }
    return found != negated;
  }
};

}  // namespace

int vswscanf(const WCHAR* input, const WCHAR* format, va_list args) {
  const WCHAR* in = input;
  int stored = 0;
  bool converted = false;  // any conversion attempted on available input
  for (const WCHAR* f = format; *f; ++f) {
    if (IsSpace(*f)) {
      while (IsSpace(*in)) ++in;
      continue;
    }
    if (*f != u'%' || f[1] == u'%') {
      if (*f == u'%') ++f;
      if (*in == 0) return converted ? stored : EOF;
      if (*in != *f) return stored;
      ++in;
      continue;
    }
    ++f;
    bool suppress = false;
    if (*f == u'*') suppress = true, ++f;
    size_t width = 0;
    for (; *f >= u'0' && *f <= u'9'; ++f) width = width * 10 + (*f - u'0');
    enum { kNone, kShort, kLong, kLongLong } size = kNone;
    if (*f == u'h') size = kShort, ++f;
    else if (*f == u'l' && f[1] == u'l') size = kLongLong, f += 2;
    else if (*f == u'l' || *f == u'w') size = kLong, ++f;
    else if (*f == u'I' && f[1] == u'6' && f[2] == u'4') size = kLongLong, f += 3;
    WCHAR type = *f;
    if (!type) break;
    if (type == u'n') {
      if (!suppress) *va_arg(args, int*) = static_cast<int>(in - input);
      continue;
    }
    if (type != u'c' && type != u'C' && type != u'[') {
      while (IsSpace(*in)) ++in;
    }
    if (*in == 0) return converted ? stored : EOF;
    converted = true;
    if (width == 0) width = (type == u'c' || type == u'C') ? 1 : static_cast<size_t>(-1);

    switch (type) {
      case u'd':
      case u'i':
      case u'u':
      case u'x':
      case u'X':
      case u'o': {
        int base = type == u'i' ? 0 : (type == u'x' || type == u'X') ? 16 : type == u'o' ? 8 : 10;
        uint64_t magnitude;
        bool negative;
        if (!ScanInteger(in, width, base, &magnitude, &negative)) return stored;
        if (suppress) break;
        uint64_t value = negative ? 0 - magnitude : magnitude;
        // The l prefix stores 32 bits: Windows' long (and DWORD) is 32-bit.
        if (size == kShort) *va_arg(args, uint16_t*) = static_cast<uint16_t>(value);
        else if (size == kLongLong) *va_arg(args, uint64_t*) = value;
        else *va_arg(args, uint32_t*) = static_cast<uint32_t>(value);
        ++stored;
        break;
      }
      case u'c':
      case u'C':
      case u's':
      case u'S':
      case u'[': {
        ScanSet set;
        if (type == u'[') {
          ++f;
          if (*f == u'^') set.negated = true, ++f;
          if (*f == u']') set.spec.push_back(*f++);
          while (*f && *f != u']') set.spec.push_back(*f++);
          if (!*f) return stored;
        }
        bool narrow = size == kShort || ((type == u'C' || type == u'S') && size != kLong);
        bool isChars = type == u'c' || type == u'C';
        void* target = suppress ? nullptr : va_arg(args, void*);
        size_t n = 0;
        while (n < width && *in) {
          if (type == u'[' && !set.contains(*in)) break;
          if ((type == u's' || type == u'S') && IsSpace(*in)) break;
          if (target) {
            if (narrow) {
              int byte = UnitToCodePage1252(*in);
              static_cast<char*>(target)[n] = static_cast<char>(byte < 0 ? '?' : byte);
            } else {
              static_cast<WCHAR*>(target)[n] = *in;
            }
          }
          ++in, ++n;
        }
        if (n == 0) return stored;  // %[ matching nothing is a matching failure
        if (target && !isChars) {
          if (narrow) static_cast<char*>(target)[n] = 0;
          else static_cast<WCHAR*>(target)[n] = 0;
        }
        if (target) ++stored;
        break;
      }
      default:
        return stored;
    }
  }
  return stored;
}

int swscanf(const WCHAR* input, const WCHAR* format, ...) {
  va_list args;
  va_start(args, format);
  int n = vswscanf(input, format, args);
  va_end(args);
  return n;
}
