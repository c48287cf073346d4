// The conformance probe: one program that exercises the Win32 subset the client calls and writes
// what it observes, one line per observation, plus its back buffers as pictures (drawn by
// probe_gdi32.cpp). It is built twice: against our platform, and with mingw-w64 against the
// Windows headers to run under Wine. compare.py then holds the two runs against each other.
//
// Output, in the working directory:
//   probe.txt        "I key value" (independent of fonts) or "F key value" (font-dependent)
//   shapes.ppm       the back buffer with fills, lines, clipping and blits (compared exactly)
//   text.ppm         the back buffer with text (its pixels are counted, not required equal)
// The files the file-system observations list are laid out by the runner before the start:
// \MelodexProbe\{b.dat, a.dat, C.DAT, 1234567890long.dat, note.txt} and \MelodexProbe\sub.
#include <windows.h>

#include <locale.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "probe.h"

// Windows CE's headers lack it; the value is Win32's.
#ifndef FILE_ATTRIBUTE_NOT_CONTENT_INDEXED
#define FILE_ATTRIBUTE_NOT_CONTENT_INDEXED 0x2000
#endif

namespace {

#ifdef __MINGW32__
// mingw-w64 links a C99 swscanf of its own; the phone's is Microsoft's C run-time, which Wine's
// msvcrt.dll provides.
typedef int(__cdecl* SwscanfFunction)(const wchar_t*, const wchar_t*, ...);
const SwscanfFunction ms_swscanf =
    reinterpret_cast<SwscanfFunction>(reinterpret_cast<void*>(GetProcAddress(LoadLibraryW(L"msvcrt.dll"), "swscanf")));
#define swscanf ms_swscanf
#endif

FILE* g_out = nullptr;

}  // namespace

void Observe(char kind, const char* key, const char* format, ...) {
  va_list args;
  va_start(args, format);
  fprintf(g_out, "%c %s ", kind, key);
  vfprintf(g_out, format, args);
  fputc('\n', g_out);
  va_end(args);
}

const char* Key(const char* format, ...) {
  static char buffers[4][96];
  static int next = 0;
  char* out = buffers[next++ & 3];
  va_list args;
  va_start(args, format);
  vsnprintf(out, sizeof buffers[0], format, args);
  va_end(args);
  return out;
}

// A UTF-16 string as printable ASCII: \uXXXX for everything outside 0x20..0x7E.
const char* Show(const WCHAR* s, int n) {
  static char buffers[4][512];
  static int next = 0;
  char* out = buffers[next++ & 3];
  size_t o = 0;
  for (int i = 0; (n < 0 ? s[i] != 0 : i < n) && o + 8 < sizeof buffers[0]; ++i) {
    unsigned c = static_cast<unsigned short>(s[i]);
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      out[o++] = static_cast<char>(c);
    } else {
      o += static_cast<size_t>(snprintf(out + o, 8, "\\u%04X", c));
    }
  }
  out[o] = 0;
  return out;
}

const char* ShowRect(const RECT& r) {
  static char buffers[4][64];
  static int next = 0;
  char* out = buffers[next++ & 3];
  snprintf(out, 64, "%ld,%ld,%ld,%ld", static_cast<long>(r.left), static_cast<long>(r.top),
           static_cast<long>(r.right), static_cast<long>(r.bottom));
  return out;
}

namespace {

// ---- kernel32: the code page --------------------------------------------------------------

void ProbeCodePage() {
  struct Case {
    const char* name;
    WCHAR text[4];
  };
  static const Case kNarrow[] = {
      {"ascii", {'A', 'z', '0', 0}},   {"latin1", {0x00E9, 0x00FF, 0x00A0, 0}},
      {"euro", {0x20AC, 0x2122, 0x0178, 0}}, {"U+0100", {'a', 0x0100, 'b', 0}},
      {"U+3042", {0x3042, 0}},         {"c1", {0x0081, 0x008D, 0}},
  };
  for (const Case& c : kNarrow) {
    char out[16];
    memset(out, 0x55, sizeof out);
    size_t r = wcstombs(out, c.text, sizeof out);
    Observe('I', Key("kernel32.wcstombs.%s.result", c.name), "%ld", r == static_cast<size_t>(-1) ? -1L : long(r));
    // The bytes written before the result (or before the failing character).
    size_t shown = r == static_cast<size_t>(-1) ? 0 : r;
    if (r == static_cast<size_t>(-1))
      while (c.text[shown] < 0x80 && c.text[shown]) ++shown;
    char hex[64] = "";
    for (size_t i = 0; i < shown; ++i)
      snprintf(hex + strlen(hex), sizeof hex - strlen(hex), "%02X", static_cast<unsigned char>(out[i]));
    Observe('I', Key("kernel32.wcstombs.%s.bytes", c.name), "[%s]", hex);
    size_t need = wcstombs(nullptr, c.text, 0);
    Observe('I', Key("kernel32.wcstombs.%s.length", c.name), "%ld", need == static_cast<size_t>(-1) ? -1L : long(need));
  }
  static const struct {
    const char* name;
    const char* bytes;
  } kWide[] = {{"ascii", "Az0"}, {"latin1", "\xE9\xFF\xA0"}, {"euro", "\x80\x99\x9F"}, {"quotes", "\x91\x92\x93\x94"}};
  for (const auto& c : kWide) {
    WCHAR out[8];
    memset(out, 0, sizeof out);
    size_t r = mbstowcs(out, c.bytes, 8);
    Observe('I', Key("kernel32.mbstowcs.%s", c.name), "%ld [%s]", static_cast<long>(r), Show(out));
  }
  // Every byte to its unit and back; the terminator is written, not counted.
  char bytes[256], back[257];
  for (int i = 0; i < 255; ++i) bytes[i] = static_cast<char>(i + 1);
  bytes[255] = 0;
  WCHAR wide[257];
  const size_t there = mbstowcs(wide, bytes, 256);
  char units[256 * 5] = "";
  for (int i = 0; i < 255; ++i) snprintf(units + 5 * i, 6, "%04X ", static_cast<unsigned>(wide[i]));
  Observe('I', "kernel32.mbstowcs.everyByte", "%ld [%s] %04X", static_cast<long>(there), units, static_cast<unsigned>(wide[255]));
  const size_t again = wcstombs(back, wide, 256);
  Observe('I', "kernel32.wcstombs.everyUnit", "%ld %d", static_cast<long>(again), memcmp(back, bytes, 256) == 0 ? 1 : 0);
  wide[3] = '#';
  const size_t two = mbstowcs(wide, "ab", 3);
  Observe('I', "kernel32.mbstowcs.terminator", "%ld %04X %04X", static_cast<long>(two), static_cast<unsigned>(wide[2]),
          static_cast<unsigned>(wide[3]));
}

// ---- kernel32: formatting and scanning -----------------------------------------------------

void ProbeFormat() {
  WCHAR b[128];
  int n;
  n = wsprintfW(b, TEXT("%d|%u|%x|%X|%c|%%"), -42, 42u, 255, 255, 'Q');
  Observe('I', "user32.wsprintfW.basic", "%d [%s]", n, Show(b));
  n = wsprintfW(b, TEXT("%5d|%-5d|%05d|%02d:%02d"), 42, 42, -42, 3, 7);
  Observe('I', "user32.wsprintfW.widths", "%d [%s]", n, Show(b));
  n = wsprintfW(b, TEXT("%s\\%u.dat"), TEXT("\\Application Data\\Melodex"), 4000000000u);
  Observe('I', "user32.wsprintfW.path", "%d [%s]", n, Show(b));
  n = wsprintfW(b, TEXT("%.3s|%8s|%-8s|"), TEXT("abcdef"), TEXT("ab"), TEXT("ab"));
  Observe('I', "user32.wsprintfW.precision", "%d [%s]", n, Show(b));
  n = wsprintfW(b, TEXT("%lu|%ld|%li|%#x"), 4294967295ul, -7L, 12L, 26);
  Observe('I', "user32.wsprintfW.long", "%d [%s]", n, Show(b));
  n = wsprintfW(b, TEXT("%d"), static_cast<int>(0x80000000u));
  Observe('I', "user32.wsprintfW.intmin", "%d [%s]", n, Show(b));
  // The C run-time's formatting takes widths and precisions from the arguments too.
  n = _snwprintf(b, 64, TEXT("[%*d|%-*d|%*d|%.*s]"), -5, 42, 3, 7, 4, 9, 2, TEXT("abc"));
  Observe('I', "msvcrt._snwprintf.star", "%d [%s]", n, Show(b, n));

  static const struct {
    const char* name;
    const WCHAR* input;
  } kInts[] = {{"plain", TEXT("1234.dat")}, {"negative", TEXT("-17")},     {"space", TEXT("  89x")},
               {"none", TEXT("abc")},       {"empty", TEXT("")},         {"plus", TEXT("+5")},
               {"wrap", TEXT("4294967297")}, {"big", TEXT("2147483648")}, {"lineEnds", TEXT("\r\n\t7")}};
  for (const auto& c : kInts) {
    int value = -99;
    int r = swscanf(c.input, TEXT("%d"), &value);
    Observe('I', Key("msvcrt.swscanf.d.%s", c.name), "%d %d", r, value);
  }
  unsigned u = 0;
  WCHAR word[16] = {0};
  int r = swscanf(TEXT("12 abc"), TEXT("%u %15s"), &u, word);
  Observe('I', "msvcrt.swscanf.u_s", "%d %u [%s]", r, u, Show(word));
  unsigned x = 0;
  WCHAR stem[16] = {0};
  int consumed = 0;
  r = swscanf(TEXT("42 ff name 7.dat"), TEXT("%u %x %15s %15[^.]%n"), &u, &x, word, stem, &consumed);
  Observe('I', "msvcrt.swscanf.mixed", "%d %u %x [%s] [%s] %d", r, u, x, Show(word), Show(stem), consumed);
  char narrow[8] = "";
  r = swscanf(TEXT("abc"), TEXT("%7S"), narrow);
  Observe('I', "msvcrt.swscanf.narrow", "%d [%s]", r, narrow);

  n = wsprintfW(b, TEXT("%S|%c|%s|100%%"), "narrow", 'W', static_cast<const WCHAR*>(nullptr));
  Observe('I', "user32.wsprintfW.narrowCharNull", "%d [%s]", n, Show(b));

  WCHAR w[32];
  wcscpy(w, TEXT("+1"));
  wcscat(w, TEXT("555"));
  WCHAR fixed[4] = {'x', 'x', 'x', 'x'};
  wcsncpy(fixed, TEXT("ab"), 4);
  Observe('I', "msvcrt.wcs", "[%s] %d %d %d %d %d %d %d %d %04X%04X %d %04X", Show(w), static_cast<int>(wcslen(w)),
          wcscmp(w, TEXT("+1555")), wcscmp(TEXT("a"), TEXT("b")) < 0 ? -1 : 1,
          _wcsicmp(TEXT("Application DATA"), TEXT("application data")),
          _wcsicmp(TEXT("\u00C9T\u00C9"), TEXT("\u00E9t\u00E9")) == 0 ? 0 : 1, static_cast<int>(wcschr(w, '5') - w),
          static_cast<int>(wcsstr(w, TEXT("55")) - w), static_cast<int>(wcsrchr(w, '5') - w), static_cast<unsigned>(fixed[2]),
          static_cast<unsigned>(fixed[3]), _wtoi(TEXT("  -42abc")), static_cast<unsigned>(towlower(static_cast<WCHAR>(0x0178))));
}

// ---- kernel32: files -----------------------------------------------------------------------

DWORD Attributes(const WCHAR* path) {
  DWORD a = GetFileAttributesW(path);
  return a == INVALID_FILE_ATTRIBUTES ? a : a & ~FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
}

void ProbeFiles() {
  WIN32_FIND_DATAW fd;
  static const struct {
    const char* name;
    const WCHAR* pattern;
  } kPatterns[] = {{"dat", TEXT("\\MelodexProbe\\*.dat")},
                   {"all", TEXT("\\MelodexProbe\\*")},
                   {"question", TEXT("\\MelodexProbe\\?.dat")},
                   {"exact", TEXT("\\MelodexProbe\\note.txt")},
                   {"none", TEXT("\\MelodexProbe\\*.jpg")},
                   {"nofolder", TEXT("\\NoSuchFolder\\*.dat")}};
  for (const auto& c : kPatterns) {
    SetLastError(0);
    HANDLE h = FindFirstFileW(c.pattern, &fd);
    if (h == INVALID_HANDLE_VALUE) {
      Observe('I', Key("kernel32.FindFirstFileW.%s", c.name), "invalid error=%lu", static_cast<unsigned long>(GetLastError()));
      continue;
    }
    // Names in listing order, sorted case-insensitively here too so that the order itself is
    // one observation and the set another.
    char names[512] = "";
    char dots[64] = "";
    char shortNames[256] = "";
    int count = 0;
    do {
      const char* n = Show(fd.cFileName);
      if (!strcmp(n, ".") || !strcmp(n, "..")) {
        snprintf(dots + strlen(dots), sizeof dots - strlen(dots), "%s ", n);
        continue;
      }
      snprintf(names + strlen(names), sizeof names - strlen(names), "%s:%lx:%lu ", n,
               static_cast<unsigned long>(fd.dwFileAttributes & ~FILE_ATTRIBUTE_NOT_CONTENT_INDEXED),
               static_cast<unsigned long>(fd.nFileSizeLow));
#ifdef __MINGW32__
      // Windows CE's WIN32_FIND_DATAW has no short name at all.
      if (fd.cAlternateFileName[0])
        snprintf(shortNames + strlen(shortNames), sizeof shortNames - strlen(shortNames), "%s ",
                 Show(fd.cAlternateFileName));
#endif
      ++count;
    } while (FindNextFileW(h, &fd));
    unsigned long endError = GetLastError();
    FindClose(h);
    Observe('I', Key("kernel32.FindFirstFileW.%s", c.name), "%d [%s] end=%lu", count, names, endError);
    Observe('I', Key("kernel32.FindFirstFileW.%s.dots", c.name), "[%s]", dots);
    Observe('I', Key("kernel32.FindFirstFileW.%s.shortnames", c.name), "[%s]", shortNames);
  }

  // Each call in turn, its result (attributes with the indexing bit left out) and, where
  // failing is the point, the error.
  static const struct {
    const char* key;
    bool error;
    DWORD (*call)();
  } kCalls[] = {
      {"CreateDirectoryW.exists", true, [] { return DWORD(CreateDirectoryW(TEXT("\\MelodexProbe\\sub"), nullptr)); }},
      {"CreateDirectoryW.new", false, [] { return DWORD(CreateDirectoryW(TEXT("\\MelodexProbe\\new"), nullptr)); }},
      {"CreateDirectoryW.noparent", true, [] { return DWORD(CreateDirectoryW(TEXT("\\NoSuchFolder\\new"), nullptr)); }},
      {"GetFileAttributesW.folder", false, [] { return Attributes(TEXT("\\MelodexProbe\\new")); }},
      {"GetFileAttributesW.file", false, [] { return Attributes(TEXT("\\MelodexProbe\\a.dat")); }},
      {"GetFileAttributesW.missing", true, [] { return Attributes(TEXT("\\MelodexProbe\\missing.dat")); }},
      {"MoveFileW.intoFolder", false,
       [] { return DWORD(MoveFileW(TEXT("\\MelodexProbe\\b.dat"), TEXT("\\MelodexProbe\\new\\b2.dat"))); }},
      {"MoveFileW.intoFolder.moved", false, [] { return Attributes(TEXT("\\MelodexProbe\\new\\b2.dat")); }},
      {"MoveFileW.ontoExisting", true,
       [] { return DWORD(MoveFileW(TEXT("\\MelodexProbe\\a.dat"), TEXT("\\MelodexProbe\\C.DAT"))); }},
      {"RemoveDirectoryW.notEmpty", true, [] { return DWORD(RemoveDirectoryW(TEXT("\\MelodexProbe\\new"))); }},
      {"DeleteFileW.file", false, [] { return DWORD(DeleteFileW(TEXT("\\MelodexProbe\\new\\b2.dat"))); }},
      {"DeleteFileW.missing", true, [] { return DWORD(DeleteFileW(TEXT("\\MelodexProbe\\new\\b2.dat"))); }},
      {"RemoveDirectoryW.empty", false, [] { return DWORD(RemoveDirectoryW(TEXT("\\MelodexProbe\\new"))); }},
  };
  for (const auto& c : kCalls) {
    SetLastError(0);
    DWORD result = c.call();
    if (c.error)
      Observe('I', Key("kernel32.%s", c.key), "%lx error=%lu", static_cast<unsigned long>(result), static_cast<unsigned long>(GetLastError()));
    else
      Observe('I', Key("kernel32.%s", c.key), "%lx", static_cast<unsigned long>(result));
  }
}

// ---- advapi32: the registry ----------------------------------------------------------------

void ProbeRegistry() {
  static const struct {
    const char* name;
    const WCHAR* path;
    REGSAM sam;
  } kOpens[] = {{"exact", TEXT("SOFTWARE\\Melodex"), KEY_READ},
                {"case", TEXT("software\\MELODEX"), KEY_READ},
                {"trailing", TEXT("SOFTWARE\\Melodex\\"), KEY_READ},
                {"leading", TEXT("\\SOFTWARE\\Melodex"), KEY_READ},
                {"double", TEXT("SOFTWARE\\\\Melodex"), KEY_READ},
                {"doubleTrailing", TEXT("SOFTWARE\\Melodex\\\\"), KEY_READ},
                {"prefix", TEXT("SOFTWARE\\Mel"), KEY_READ},
                {"missing", TEXT("SOFTWARE\\NoSuchKey"), KEY_READ},
                {"parent", TEXT("SOFTWARE"), KEY_READ},
                {"empty", TEXT(""), KEY_READ},
                {"noaccess", TEXT("SOFTWARE\\Melodex"), 0}};
  for (const auto& c : kOpens) {
    HKEY key = nullptr;
    LONG r = RegOpenKeyExW(HKEY_LOCAL_MACHINE, c.path, 0, c.sam, &key);
    Observe('I', Key("advapi32.RegOpenKeyExW.%s", c.name), "%ld", static_cast<long>(r));
    if (r != ERROR_SUCCESS) continue;
    DWORD type = 0, size = 0;
    r = RegQueryValueExW(key, TEXT("ownerID"), nullptr, &type, nullptr, &size);
    Observe('I', Key("advapi32.RegQueryValueExW.%s.size", c.name), "%ld type=%lu size=%lu", static_cast<long>(r),
            static_cast<unsigned long>(type), static_cast<unsigned long>(size));
    RegCloseKey(key);
  }

  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, TEXT("SOFTWARE\\Melodex"), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  static const struct {
    const char* name;
    const WCHAR* value;
    DWORD size;
  } kQueries[] = {{"string", TEXT("ownerID"), 64},   {"exactSize", TEXT("ownerID"), 12},
                  {"short", TEXT("ownerID"), 4},     {"case", TEXT("OWNERid"), 64},
                  {"dword", TEXT("count"), 4},       {"dwordShort", TEXT("count"), 2},
                  {"default", nullptr, 64},          {"missing", TEXT("nothing"), 64},
                  {"binary", TEXT("blob"), 64}};
  for (const auto& c : kQueries) {
    BYTE data[64];
    memset(data, 0xEE, sizeof data);
    DWORD type = 0xFFFF, size = c.size;
    LONG r = RegQueryValueExW(key, c.value, nullptr, &type, data, &size);
    char hex[160] = "";
    if (r == ERROR_SUCCESS)
      for (DWORD i = 0; i < size && i < 64; ++i) snprintf(hex + strlen(hex), sizeof hex - strlen(hex), "%02X", data[i]);
    Observe('I', Key("advapi32.RegQueryValueExW.%s", c.name), "%ld type=%lu size=%lu [%s] untouched=%d",
            static_cast<long>(r), static_cast<unsigned long>(type), static_cast<unsigned long>(size), hex,
            data[0] == 0xEE ? 1 : 0);
  }
  LONG r = RegCloseKey(key);
  Observe('I', "advapi32.RegCloseKey.open", "%ld", static_cast<long>(r));
}

// ---- user32: windows, messages, update regions and timers ---------------------------------

char g_log[2048];

void Log(const char* format, ...) {
  size_t used = strlen(g_log);
  va_list args;
  va_start(args, format);
  vsnprintf(g_log + used, sizeof g_log - used, format, args);
  va_end(args);
}

// Takes the messages logged so far as one observation.
void TakeLog(const char* key) {
  Observe('I', key, "[%s]", g_log);
  g_log[0] = 0;
}

UINT_PTR g_killTimerOnTick = 0;
bool g_paintValidates = true;

LRESULT CALLBACK ProbeProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE: Log("create "); return 0;
    case WM_DESTROY: Log("destroy "); return 0;
    case WM_ACTIVATE: Log("activate(%u) ", static_cast<unsigned>(LOWORD(wParam))); break;
    case WM_TIMER:
      Log("timer(%u) ", static_cast<unsigned>(wParam));
      if (g_killTimerOnTick == wParam) KillTimer(hwnd, wParam);
      return 0;
    case WM_PAINT: {
      RECT update;
      BOOL any = GetUpdateRect(hwnd, &update, FALSE);
      Log("paint(%d:%s) ", any ? 1 : 0, ShowRect(update));
      if (!g_paintValidates) return 0;
      PAINTSTRUCT ps;
      BeginPaint(hwnd, &ps);
      EndPaint(hwnd, &ps);
      return 0;
    }
    default:
      if (message >= WM_USER && message < WM_USER + 100) {
        Log("user+%u ", message - WM_USER);
        return static_cast<LRESULT>(message - WM_USER) * 10;
      }
      break;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

void CALLBACK TimerProc(HWND hwnd, UINT, UINT_PTR id, DWORD) {
  Log("timerproc(%u) ", static_cast<unsigned>(id));
  KillTimer(hwnd, id);
}

// Dispatches every message waiting now, logging the ones the probe's window does not.
void Drain() {
  MSG msg;
  for (int guard = 0; guard < 200 && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++guard) {
    if (msg.message == WM_QUIT) {
      Log("quit(%u) ", static_cast<unsigned>(msg.wParam));
      continue;
    }
    DispatchMessageW(&msg);
  }
}

// Dispatches what is waiting, then takes the messages logged so far as one observation (drops
// them when key is null).
void DrainInto(const char* key) {
  Drain();
  if (key) TakeLog(key);
  else g_log[0] = 0;
}

// Waits long enough for timers of up to 50 ms to fall due, then dispatches what is waiting into
// one observation.
void SettleAndDrainInto(const char* key) {
  Sleep(120);
  DrainInto(key);
}

void ObserveUpdate(const char* key, HWND hwnd) {
  RECT r;
  BOOL any = GetUpdateRect(hwnd, &r, FALSE);
  Observe('I', key, "%d %s", any ? 1 : 0, ShowRect(r));
}

// PeekMessageW with a filter: whether it found a message, and which of the probe's own it was.
void ObservePeek(const char* key, HWND hwnd, UINT first, UINT last, UINT remove) {
  MSG msg;
  BOOL got = PeekMessageW(&msg, hwnd, first, last, remove);
  Observe('I', key, "%d %s%u", got ? 1 : 0, got && msg.message == WM_PAINT ? "paint" : "user+",
          got && msg.message != WM_PAINT ? msg.message - WM_USER : 0u);
}

void ProbeWindows(HINSTANCE instance) {
  WNDCLASSW wc;
  memset(&wc, 0, sizeof wc);
  wc.lpfnWndProc = ProbeProc;
  wc.hInstance = instance;
  wc.lpszClassName = TEXT("MelodexProbe");
  wc.style = CS_HREDRAW | CS_VREDRAW;
  ATOM atom = RegisterClassW(&wc);
  Observe('I', "user32.RegisterClassW.first", "%d", atom != 0 ? 1 : 0);
  Observe('I', "user32.RegisterClassW.again", "%d", RegisterClassW(&wc) != 0 ? 1 : 0);

  HWND hwnd = CreateWindowExW(0, TEXT("MelodexProbe"), TEXT("Probe"), WS_POPUP, 0, 26, 240, 268, nullptr,
                              nullptr, instance, nullptr);
  TakeLog("user32.CreateWindowExW.messages");
  RECT r;
  GetWindowRect(hwnd, &r);
  Observe('I', "user32.GetWindowRect.created", "%s", ShowRect(r));
  GetClientRect(hwnd, &r);
  Observe('I', "user32.GetClientRect.created", "%s", ShowRect(r));
  Observe('I', "user32.IsWindowVisible.created", "%d", IsWindowVisible(hwnd) ? 1 : 0);
  Observe('I', "user32.FindWindowW.byClass", "%d", FindWindowW(TEXT("MelodexProbe"), nullptr) == hwnd ? 1 : 0);
  Observe('I', "user32.FindWindowW.byTitle", "%d", FindWindowW(nullptr, TEXT("Probe")) == hwnd ? 1 : 0);
  Observe('I', "user32.FindWindowW.wrongTitle", "%d", FindWindowW(TEXT("MelodexProbe"), TEXT("probe")) != nullptr ? 1 : 0);
  Observe('I', "user32.FindWindowW.classCase", "%d", FindWindowW(TEXT("melodexPROBE"), nullptr) == hwnd ? 1 : 0);

  BOOL was = ShowWindow(hwnd, SW_SHOW);
  Observe('I', "user32.ShowWindow.result", "%d", was ? 1 : 0);
  TakeLog("user32.ShowWindow.messages");
  Observe('I', "user32.GetForegroundWindow.shown", "%d", GetForegroundWindow() == hwnd ? 1 : 0);
  ObserveUpdate("user32.GetUpdateRect.shown", hwnd);
  UpdateWindow(hwnd);
  TakeLog("user32.UpdateWindow.messages");
  UpdateWindow(hwnd);
  TakeLog("user32.UpdateWindow.again");
  DrainInto("user32.Drain.afterShow");

  // The retrieval order: posted, then paint, then timers.
  SetTimer(hwnd, 7, 10, nullptr);
  g_killTimerOnTick = 7;
  InvalidateRect(hwnd, nullptr, FALSE);
  PostMessageW(hwnd, WM_USER + 1, 0, 0);
  PostMessageW(hwnd, WM_USER + 2, 0, 0);
  SettleAndDrainInto("user32.order.postedPaintTimer");

  Observe('I', "user32.SendMessageW.result", "%ld", static_cast<long>(SendMessageW(hwnd, WM_USER + 3, 0, 0)));
  TakeLog("user32.SendMessageW.messages");

  // Update regions: two rectangles add up to their bounding box.
  RECT a{10, 10, 20, 20}, b{30, 40, 50, 60};
  InvalidateRect(hwnd, &a, FALSE);
  InvalidateRect(hwnd, &b, FALSE);
  ObserveUpdate("user32.GetUpdateRect.twoRects", hwnd);
  RECT outside{300, 300, 400, 400};
  ValidateRect(hwnd, nullptr);
  InvalidateRect(hwnd, &outside, FALSE);
  ObserveUpdate("user32.GetUpdateRect.outsideClient", hwnd);
  RECT partly{200, 250, 400, 400};
  InvalidateRect(hwnd, &partly, FALSE);
  ObserveUpdate("user32.GetUpdateRect.clipped", hwnd);
  ValidateRect(hwnd, nullptr);
  ObserveUpdate("user32.GetUpdateRect.validated", hwnd);
  Observe('I', "user32.GetUpdateRect.nullRect", "%d", GetUpdateRect(hwnd, nullptr, FALSE) ? 1 : 0);

  // An internal paint: one WM_PAINT with an empty update region.
  RedrawWindow(hwnd, nullptr, nullptr, RDW_INTERNALPAINT);
  g_paintValidates = false;
  Drain();
  g_paintValidates = true;
  TakeLog("user32.RedrawWindow.internalPaint");
  RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_INTERNALPAINT);
  DrainInto("user32.RedrawWindow.invalidate");
  RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  TakeLog("user32.RedrawWindow.updateNow");

  // Moving: without repaint, to the same rectangle, and growing with repaint.
  MoveWindow(hwnd, 0, 0, 240, 268, FALSE);
  ObserveUpdate("user32.MoveWindow.noRepaint", hwnd);
  GetWindowRect(hwnd, &r);
  Observe('I', "user32.MoveWindow.noRepaint.rect", "%s", ShowRect(r));
  DrainInto("user32.MoveWindow.noRepaint.messages");
  MoveWindow(hwnd, 0, 0, 240, 268, TRUE);
  ObserveUpdate("user32.MoveWindow.sameRect", hwnd);
  DrainInto("user32.MoveWindow.sameRect.messages");
  MoveWindow(hwnd, 0, 0, 240, 294, TRUE);
  ObserveUpdate("user32.MoveWindow.grow", hwnd);
  GetClientRect(hwnd, &r);
  Observe('I', "user32.MoveWindow.grow.client", "%s", ShowRect(r));
  DrainInto("user32.MoveWindow.grow.messages");

  // PeekMessageW's filters.
  PostMessageW(hwnd, WM_USER + 4, 0, 0);
  PostMessageW(hwnd, WM_USER + 5, 0, 0);
  ObservePeek("user32.PeekMessageW.range", nullptr, WM_USER + 5, WM_USER + 5, PM_REMOVE);
  ObservePeek("user32.PeekMessageW.rangeEmpty", nullptr, WM_USER + 6, WM_USER + 9, PM_REMOVE);
  ObservePeek("user32.PeekMessageW.noRemove", nullptr, 0, 0, PM_NOREMOVE);
  ObservePeek("user32.PeekMessageW.otherWindow", reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0x7ff0)), 0, 0, PM_REMOVE);
  ObservePeek("user32.PeekMessageW.thisWindow", hwnd, 0, 0, PM_REMOVE);
  InvalidateRect(hwnd, nullptr, FALSE);
  ObservePeek("user32.PeekMessageW.paintOutsideRange", nullptr, WM_USER, WM_USER + 99, PM_REMOVE);
  ObservePeek("user32.PeekMessageW.paintInRange", nullptr, WM_PAINT, WM_PAINT, PM_NOREMOVE);
  ValidateRect(hwnd, nullptr);
  DrainInto("user32.PeekMessageW.rest");

  // Timers: ids, replacement, a timer procedure, KillTimer of an unknown id.
  UINT_PTR id = SetTimer(hwnd, 9, 20, nullptr);
  Observe('I', "user32.SetTimer.result", "%lu", static_cast<unsigned long>(id));
  id = SetTimer(hwnd, 9, 30, nullptr);
  Observe('I', "user32.SetTimer.replace", "%lu", static_cast<unsigned long>(id));
  g_killTimerOnTick = 9;
  SetTimer(hwnd, 11, 10, TimerProc);
  SettleAndDrainInto("user32.SetTimer.ticks");
  Observe('I', "user32.KillTimer.unknown", "%d", KillTimer(hwnd, 12345) ? 1 : 0);
  Observe('I', "user32.KillTimer.killed", "%d", KillTimer(hwnd, 9) ? 1 : 0);

  // WM_QUIT comes after the posted messages and ends GetMessageW.
  PostMessageW(hwnd, WM_USER + 6, 0, 0);
  PostQuitMessage(3);
  PostMessageW(hwnd, WM_USER + 7, 0, 0);
  MSG msg;
  for (int i = 0; i < 3; ++i) {
    BOOL more = GetMessageW(&msg, nullptr, 0, 0);
    if (!more) {
      Log("quit(%u) ", static_cast<unsigned>(msg.wParam));
      break;
    }
    DispatchMessageW(&msg);
  }
  TakeLog("user32.GetMessageW.quitOrder");

  // A second window, then destroying the active one.
  HWND second = CreateWindowExW(0, TEXT("MelodexProbe"), TEXT("Second"), WS_POPUP, 0, 26, 100, 100, nullptr,
                                nullptr, instance, nullptr);
  ShowWindow(second, SW_SHOW);
  DrainInto("user32.ShowWindow.second.messages");
  Observe('I', "user32.GetForegroundWindow.second", "%d", GetForegroundWindow() == second ? 1 : 0);
  DestroyWindow(second);
  TakeLog("user32.DestroyWindow.active");
  Observe('I', "user32.IsWindow.destroyed", "%d", IsWindow(second) ? 1 : 0);
  Observe('I', "user32.DestroyWindow.again", "%d", DestroyWindow(second) ? 1 : 0);
  DrainInto(nullptr);
  SetForegroundWindow(hwnd);
  DrainInto("user32.SetForegroundWindow.messages");
  DestroyWindow(hwnd);
  TakeLog("user32.DestroyWindow.main");
  Observe('I', "user32.PostMessageW.destroyed", "%d", PostMessageW(hwnd, WM_USER, 0, 0) ? 1 : 0);
  DrainInto(nullptr);

  // The client's own call: WS_VISIBLE with every position and size CW_USEDEFAULT.
  HWND client = CreateWindowExW(0, TEXT("MelodexProbe"), TEXT("Client"), WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT,
                                CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
  GetWindowRect(client, &r);
  Observe('I', "user32.CreateWindowExW.useDefault.window", "%s", ShowRect(r));
  GetClientRect(client, &r);
  Observe('I', "user32.CreateWindowExW.useDefault.client", "%s", ShowRect(r));
  DestroyWindow(client);
  DrainInto(nullptr);
}

void ProbeRects() {
  RECT a{10, 10, 50, 40}, b{30, 20, 80, 90}, e{5, 5, 5, 9}, inv{50, 50, 10, 10}, apart{100, 100, 120, 120}, r;
  const struct {
    const char* key;
    decltype(&IntersectRect) combine;
    const RECT *first, *second;
  } kPairs[] = {{"user32.IntersectRect.overlap", IntersectRect, &a, &b},
                {"user32.IntersectRect.apart", IntersectRect, &a, &apart},
                {"user32.UnionRect.both", UnionRect, &a, &b},
                {"user32.UnionRect.empty", UnionRect, &a, &e},
                {"user32.UnionRect.bothEmpty", UnionRect, &e, &inv}};
  for (const auto& p : kPairs) {
    BOOL ok = p.combine(&r, p.first, p.second);
    Observe('I', p.key, "%d %s", ok ? 1 : 0, ShowRect(r));
  }
  Observe('I', "user32.IsRectEmpty", "%d %d %d", IsRectEmpty(&a) ? 1 : 0, IsRectEmpty(&e) ? 1 : 0, IsRectEmpty(&inv) ? 1 : 0);
  POINT in{10, 10}, right{50, 20}, bottom{20, 40};
  Observe('I', "user32.PtInRect", "%d %d %d", PtInRect(&a, in) ? 1 : 0, PtInRect(&a, right) ? 1 : 0,
          PtInRect(&a, bottom) ? 1 : 0);
  r = a;
  OffsetRect(&r, -15, 7);
  Observe('I', "user32.OffsetRect", "%s", ShowRect(r));
  SetRect(&r, 9, 8, 7, 6);
  Observe('I', "user32.SetRect", "%s", ShowRect(r));
  SetRectEmpty(&r);
  Observe('I', "user32.SetRectEmpty", "%s", ShowRect(r));
}

// ---- kernel32: time ------------------------------------------------------------------------

void ProbeTime() {
  // Calendar dates to file times: the days the calendar has, and those it does not.
  static const struct {
    const char* name;
    SYSTEMTIME time;
  } kDates[] = {{"dec5", {2005, 12, 0, 5, 13, 14, 15, 678}}, {"leap2004", {2004, 2, 0, 29, 0, 0, 0, 0}},
                {"leap2000", {2000, 2, 0, 29, 0, 0, 0, 0}},  {"april31", {2005, 4, 0, 31, 0, 0, 0, 0}},
                {"dec31", {2005, 12, 0, 31, 0, 0, 0, 0}},    {"month13", {2005, 13, 0, 1, 0, 0, 0, 0}},
                {"day0", {2005, 1, 0, 0, 0, 0, 0, 0}},       {"month0", {2005, 0, 0, 1, 0, 0, 0, 0}},
                {"before1601", {1600, 12, 0, 31, 0, 0, 0, 0}}};
  for (const auto& d : kDates) {
    FILETIME ft{0, 0};
    BOOL ok = SystemTimeToFileTime(&d.time, &ft);
    Observe('I', Key("kernel32.SystemTimeToFileTime.%s", d.name), "%d %08lx%08lx", ok ? 1 : 0,
            ok ? static_cast<unsigned long>(ft.dwHighDateTime) : 0ul, ok ? static_cast<unsigned long>(ft.dwLowDateTime) : 0ul);
  }
  // And back, with the day of the week; a time past the last representable one fails.
  static const struct {
    const char* name;
    FILETIME time;
  } kTimes[] = {{"zero", {0, 0}}, {"dec5", {0xCAC161E0, 0x01C5F99D}}, {"negative", {0, 0x80000000}}};
  for (const auto& t : kTimes) {
    SYSTEMTIME st;
    memset(&st, 0, sizeof st);
    SetLastError(0);
    BOOL ok = FileTimeToSystemTime(&t.time, &st);
    Observe('I', Key("kernel32.FileTimeToSystemTime.%s", t.name), "%d error=%lu %u-%u-%u day=%u %u:%u:%u.%u", ok ? 1 : 0,
            static_cast<unsigned long>(GetLastError()), st.wYear, st.wMonth, st.wDay, st.wDayOfWeek, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds);
  }
}

}  // namespace

int ProbeMain(HINSTANCE instance) {
#ifdef __MINGW32__
  // The phone's C run-time converts with its one code page, Windows-1252; the desktop one has
  // to be told.
  setlocale(LC_ALL, ".1252");
#endif
  g_out = fopen("probe.txt", "w");
  if (!g_out) return 1;
  ProbeCodePage();
  ProbeFormat();
  ProbeFiles();
  ProbeRegistry();
  ProbeRects();
  ProbeTime();
  ProbeObjects();
  ProbeWindows(instance);
  // The back buffers are made compatible with a window's DC, as the client makes its own.
  HWND canvas = CreateWindowExW(0, TEXT("MelodexProbe"), TEXT("Canvas"), WS_POPUP, 0, 26, 240, 268, nullptr, nullptr,
                                instance, nullptr);
  HDC windowDC = GetDC(canvas);
  ProbeShapes(windowDC);
  ProbeText(windowDC);
  ReleaseDC(canvas, windowDC);
  DestroyWindow(canvas);
  fprintf(g_out, "end\n");
  fclose(g_out);
  return 0;
}

#ifdef __MINGW32__
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) { return ProbeMain(instance); }
#endif
