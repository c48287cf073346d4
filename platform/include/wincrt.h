// wincrt.h — the wide C run-time for 16-bit WCHAR (char16_t here), with Windows semantics (wide
// characters are 16-bit, as on the phone). The functions are C++ overloads on WCHAR, so they
// coexist with libc's wchar_t ones of the same names. The 8-bit code page is Windows-1252, one byte
// per UTF-16 unit. Owned by platform/kernel32/ (wide_string.cpp, wide_format.cpp, wide_scan.cpp,
// codepage.cpp).
#pragma once

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>
#include <wctype.h>

#include "windef.h"

// --- strings (wide_string.cpp) ----------------------------------------------------------------
size_t wcslen(const WCHAR* s);
size_t wcsnlen(const WCHAR* s, size_t max);
WCHAR* wcscpy(WCHAR* dst, const WCHAR* src);
// As the C run-time: copies at most n units and pads with zeros; no terminator when src is longer.
WCHAR* wcsncpy(WCHAR* dst, const WCHAR* src, size_t n);
WCHAR* wcscat(WCHAR* dst, const WCHAR* src);
WCHAR* wcsncat(WCHAR* dst, const WCHAR* src, size_t n);
int wcscmp(const WCHAR* a, const WCHAR* b);
int wcsncmp(const WCHAR* a, const WCHAR* b, size_t n);
// Case-insensitive comparisons fold both sides to lower case (ASCII, Latin-1, Latin Extended-A,
// Greek and Cyrillic), as the Windows C run-time does in the "C" locale and beyond.
int _wcsicmp(const WCHAR* a, const WCHAR* b);
int _wcsnicmp(const WCHAR* a, const WCHAR* b, size_t n);
WCHAR* wcschr(WCHAR* s, WCHAR c);
const WCHAR* wcschr(const WCHAR* s, WCHAR c);
WCHAR* wcsrchr(WCHAR* s, WCHAR c);
const WCHAR* wcsrchr(const WCHAR* s, WCHAR c);
WCHAR* wcsstr(WCHAR* s, const WCHAR* sub);
const WCHAR* wcsstr(const WCHAR* s, const WCHAR* sub);
WCHAR* _wcsdup(const WCHAR* s);  // malloc'd copy, freed with free
WCHAR towlower(WCHAR c);
WCHAR towupper(WCHAR c);
WCHAR* _wcslwr(WCHAR* s);
WCHAR* _wcsupr(WCHAR* s);
// No WCHAR overloads of wcstol/wcstoul/vswprintf: libstdc++ takes their addresses (std::stol on
// wstring), which an overload set would make ambiguous.
int _wtoi(const WCHAR* s);
long _wtol(const WCHAR* s);
WCHAR* _itow(int value, WCHAR* buffer, int radix);

// Win32's string functions of the same family (kernel32 exports them on the phone).
int lstrlenW(LPCWSTR s);
LPWSTR lstrcpyW(LPWSTR dst, LPCWSTR src);
LPWSTR lstrcpynW(LPWSTR dst, LPCWSTR src, int max);  // copies max-1 units, always terminates
LPWSTR lstrcatW(LPWSTR dst, LPCWSTR src);
int lstrcmpW(LPCWSTR a, LPCWSTR b);
int lstrcmpiW(LPCWSTR a, LPCWSTR b);

// --- formatting (wide_format.cpp) -------------------------------------------------------------
// Windows' wsprintfW: %s is a wide string, %S (or %hs) an 8-bit one, %c/%C a unit or a byte;
// %d %i %u %x %X with the l and h size prefixes, flags '-', '0', '#', width and precision;
// no floating point. Writes at most 1024 units including the terminator, as Windows does, and
// returns the number of units written without the terminator. A null %s prints "(null)".
int wsprintfW(LPWSTR buffer, LPCWSTR format, ...);
int wvsprintfW(LPWSTR buffer, LPCWSTR format, va_list args);
// The same conversions into a buffer of `count` units, without the 1024 limit. Returns the
// units written, or -1 when the text (with its terminator) does not fit — then count units are
// written and the last is not a terminator, as the Windows C run-time's _snwprintf does.
int _snwprintf(WCHAR* buffer, size_t count, const WCHAR* format, ...);
int _vsnwprintf(WCHAR* buffer, size_t count, const WCHAR* format, va_list args);
// The Windows C run-time's swprintf(buffer, format, ...) has no count; ours takes the count as
// C99 does, which is how the Windows CRT spells it since 2005 with _CRT_NON_CONFORMING off.
int swprintf(WCHAR* buffer, size_t count, const WCHAR* format, ...);
// Windows' 8-bit wsprintfA: same conversions, %s an 8-bit string, %S a wide one.
int wsprintfA(LPSTR buffer, LPCSTR format, ...);

// --- scanning (wide_scan.cpp) -----------------------------------------------------------------
// %d %i %u %x %o %c %s %[...] %[^...] %n, the '*' suppression, widths and the h/l prefixes.
// %s, %c and %[ store WCHAR units; %S, %C and %h[ store 8-bit bytes (CP1252). Returns the number
// of fields stored, or EOF when the input ends before the first conversion.
int swscanf(const WCHAR* input, const WCHAR* format, ...);
int vswscanf(const WCHAR* input, const WCHAR* format, va_list args);

// --- code page (codepage.cpp) -----------------------------------------------------------------
// Windows-1252 <-> UTF-16, one byte per unit. The five bytes Windows-1252 leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to U+0081 … as MultiByteToWideChar does; a unit
// with no byte in the code page becomes '?'. Both follow the C run-time: they stop after the
// terminator (which is written when it fits and not counted), convert at most n units or bytes,
// and with a null destination return the length the whole text needs.
size_t mbstowcs(WCHAR* dst, const char* src, size_t n);
size_t wcstombs(char* dst, const WCHAR* src, size_t n);
WCHAR CodePage1252ToUnit(unsigned char byte);
// The byte for a unit, or -1 when Windows-1252 has none.
int UnitToCodePage1252(WCHAR unit);

// --- files (files.cpp) ------------------------------------------------------------------------
// _wfopen on a host path (UTF-16 converted to UTF-8). The client's sources reach the device's
// file system instead through melodex_client_crt.h, which maps _wfopen and fopen to device paths.
FILE* _wfopen(const WCHAR* path, const WCHAR* mode);
