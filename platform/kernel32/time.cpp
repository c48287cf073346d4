// Time: GetTickCount from the device clock (real or virtual), the host's
// wall clock for the system and local time, and FILETIME/SYSTEMTIME conversions.
#include <chrono>
#include <ctime>

#include "device/Clock.h"
#include "device/Trace.h"
#include "kernel32/kernel32.h"

namespace kernel32 {
namespace {

constexpr uint64_t kTicksPerSecond = 10000000ULL;
constexpr uint64_t kTicksPerDay = kTicksPerSecond * 86400ULL;
// Days from 1601-01-01 to 1970-01-01.
constexpr int64_t kDays1601To1970 = 134774;

uint64_t Ticks(const FILETIME& ft) {
  return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

FILETIME FromTicks(uint64_t ticks) {
  return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

// The host's current offset from UTC in seconds (east positive).
int64_t CurrentBiasSeconds() {
  time_t now = time(nullptr);
  struct tm local;
  localtime_r(&now, &local);
  return local.tm_gmtoff;
}

FILETIME NowUtc() {
  auto since = std::chrono::system_clock::now().time_since_epoch();
  auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(since).count();
  return FileTimeFromUnix(ns / 1000000000LL, static_cast<uint32_t>(ns % 1000000000LL));
}

}  // namespace
}  // namespace kernel32

using namespace kernel32;

DWORD GetTickCount(void) { return static_cast<DWORD>(device::Clock::now()); }

BOOL FileTimeToSystemTime(const FILETIME* lpFileTime, LPSYSTEMTIME lpSystemTime) {
  if (!lpFileTime || !lpSystemTime) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  uint64_t ticks = Ticks(*lpFileTime);
  if (ticks > 0x7FFFFFFFFFFFFFFFULL) {  // Win32 refuses times with the top bit set
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  int64_t days = static_cast<int64_t>(ticks / kTicksPerDay);
  uint64_t rest = ticks % kTicksPerDay;
  const std::chrono::sys_days date{std::chrono::days{days - kDays1601To1970}};
  const std::chrono::year_month_day ymd{date};
  lpSystemTime->wYear = static_cast<WORD>(static_cast<int>(ymd.year()));
  lpSystemTime->wMonth = static_cast<WORD>(static_cast<unsigned>(ymd.month()));
  lpSystemTime->wDay = static_cast<WORD>(static_cast<unsigned>(ymd.day()));
  lpSystemTime->wDayOfWeek = static_cast<WORD>(std::chrono::weekday{date}.c_encoding());  // Sunday 0
  lpSystemTime->wHour = static_cast<WORD>(rest / (kTicksPerSecond * 3600));
  lpSystemTime->wMinute = static_cast<WORD>(rest / (kTicksPerSecond * 60) % 60);
  lpSystemTime->wSecond = static_cast<WORD>(rest / kTicksPerSecond % 60);
  lpSystemTime->wMilliseconds = static_cast<WORD>(rest / 10000 % 1000);
  return TRUE;
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* st, LPFILETIME lpFileTime) {
  if (!st || !lpFileTime || st->wYear < 1601 || st->wYear > 30827 || st->wHour > 23 ||
      st->wMinute > 59 || st->wSecond > 59 || st->wMilliseconds > 999) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::chrono::year_month_day date{std::chrono::year{st->wYear}, std::chrono::month{st->wMonth},
                                         std::chrono::day{st->wDay}};
  if (!date.ok()) {  // no such month, or no such day in it
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  int64_t days = std::chrono::sys_days{date}.time_since_epoch().count() + kDays1601To1970;
  uint64_t ticks = static_cast<uint64_t>(days) * kTicksPerDay +
                   ((st->wHour * 60ULL + st->wMinute) * 60ULL + st->wSecond) * kTicksPerSecond +
                   st->wMilliseconds * 10000ULL;
  *lpFileTime = FromTicks(ticks);
  return TRUE;
}

BOOL FileTimeToLocalFileTime(const FILETIME* lpFileTime, LPFILETIME lpLocalFileTime) {
  if (!lpFileTime || !lpLocalFileTime) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // Windows applies the bias in force now, not the one at the file time.
  int64_t bias = CurrentBiasSeconds() * static_cast<int64_t>(kTicksPerSecond);
  *lpLocalFileTime = FromTicks(Ticks(*lpFileTime) + static_cast<uint64_t>(bias));
  return TRUE;
}

BOOL LocalFileTimeToFileTime(const FILETIME* lpLocalFileTime, LPFILETIME lpFileTime) {
  if (!lpFileTime || !lpLocalFileTime) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  int64_t bias = CurrentBiasSeconds() * static_cast<int64_t>(kTicksPerSecond);
  *lpFileTime = FromTicks(Ticks(*lpLocalFileTime) - static_cast<uint64_t>(bias));
  return TRUE;
}

LONG CompareFileTime(const FILETIME* a, const FILETIME* b) {
  uint64_t x = Ticks(*a), y = Ticks(*b);
  return x < y ? -1 : x > y ? 1 : 0;
}

void GetSystemTime(LPSYSTEMTIME lpSystemTime) {
  FILETIME now = NowUtc();
  FileTimeToSystemTime(&now, lpSystemTime);
}

void GetLocalTime(LPSYSTEMTIME lpSystemTime) {
  FILETIME now = NowUtc(), local;
  FileTimeToLocalFileTime(&now, &local);
  FileTimeToSystemTime(&local, lpSystemTime);
}

void OutputDebugStringW(LPCWSTR lpOutputString) {
  if (!lpOutputString) return;
  TRACE_CALL("kernel32", "OutputDebugString %s", Utf16ToUtf8(lpOutputString).c_str());
}
