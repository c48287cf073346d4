// Conformance tests of threads, waits and time under the device clock.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <thread>

#include "device/Clock.h"
#include "windows.h"

namespace {

std::atomic<int> gRan{0};

DWORD WINAPI Worker(LPVOID parameter) {
  gRan = *static_cast<int*>(parameter);
  SetLastError(1234);  // the last error is per thread
  return 77;
}

DWORD WINAPI Sleeper(LPVOID) {
  Sleep(5000);
  gRan = 1;
  return 0;
}

// Real time passes for a moment, so the other thread gets to block.
void LetOthersRun() { std::this_thread::sleep_for(std::chrono::milliseconds(50)); }

// Until the other thread has started its timed wait on the virtual clock (its deadline is the
// clock's next event): however loaded the machine, time is advanced only after that.
void UntilAWaitIsScheduled() {
  for (int i = 0; i < 10000 && !device::Clock::nextEventAt(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

}  // namespace

TEST(Threads, CreateThreadRunsAndWaitForSingleObjectEndsWithIt) {
  int value = 5;
  DWORD id = 0;
  SetLastError(0);
  HANDLE thread = CreateThread(nullptr, 0, Worker, &value, 0, &id);
  ASSERT_NE(thread, nullptr);
  EXPECT_NE(id, 0u);
  EXPECT_NE(id, GetCurrentThreadId());
  EXPECT_EQ(WaitForSingleObject(thread, INFINITE), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_EQ(gRan.load(), 5);
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, 77u);
  EXPECT_EQ(GetLastError(), 0u);
  EXPECT_TRUE(CloseHandle(thread));
  SetLastError(0);
  EXPECT_FALSE(CloseHandle(thread));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(WaitForSingleObject(thread, 0), static_cast<DWORD>(WAIT_FAILED));
}

TEST(Threads, ASuspendedThreadRunsOnlyAfterResumeThread) {
  gRan = 0;
  int value = 9;
  HANDLE thread = CreateThread(nullptr, 0, Worker, &value, CREATE_SUSPENDED, nullptr);
  LetOthersRun();
  EXPECT_EQ(gRan.load(), 0);
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
  EXPECT_EQ(ResumeThread(thread), 1u);
  EXPECT_EQ(WaitForSingleObject(thread, INFINITE), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_EQ(gRan.load(), 9);
  CloseHandle(thread);
}

TEST(Threads, WaitForSingleObjectTimesOutAtItsVirtualDeadline) {
  device::Clock::useVirtual(true);
  device::Clock::resetForTests();
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  std::atomic<DWORD> result{0xFFFF};
  std::thread waiter([&] { result = WaitForSingleObject(event, 1000); });
  UntilAWaitIsScheduled();
  device::Clock::advanceTo(999);
  LetOthersRun();
  EXPECT_EQ(result.load(), 0xFFFFu);  // not before its time-out
  device::Clock::advanceTo(1000);
  waiter.join();
  EXPECT_EQ(result.load(), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_TRUE(SetEvent(event));
  EXPECT_EQ(WaitForSingleObject(event, 1000), static_cast<DWORD>(WAIT_OBJECT_0));
  CloseHandle(event);
}

TEST(Time, SleepEndsAtItsVirtualDeadline) {
  device::Clock::useVirtual(true);
  device::Clock::resetForTests();
  gRan = 0;
  HANDLE thread = CreateThread(nullptr, 0, Sleeper, nullptr, 0, nullptr);
  UntilAWaitIsScheduled();
  device::Clock::advanceTo(4999);
  LetOthersRun();
  EXPECT_EQ(gRan.load(), 0);
  device::Clock::advanceTo(5000);
  EXPECT_EQ(WaitForSingleObject(thread, INFINITE), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_EQ(gRan.load(), 1);
  CloseHandle(thread);
}

// February 29 exists only in leap years (Wine accepts it in any year; the probe holds the
// other calendar checks against Windows).
TEST(Time, SystemTimeToFileTimeRefusesFebruary29OutsideLeapYears) {
  for (WORD year : {2005, 1900, 2004}) {
    SYSTEMTIME st{year, 2, 0, 29, 0, 0, 0, 0};
    FILETIME ft;
    EXPECT_EQ(SystemTimeToFileTime(&st, &ft) != FALSE, year == 2004) << year;
  }
}

// Windows applies the time zone's current bias.
TEST(Time, FileTimeToLocalFileTimeAppliesTheCurrentBias) {
  time_t now = time(nullptr);
  struct tm local;
  localtime_r(&now, &local);
  FILETIME utc{0x12345678, 0x01C5F9A0}, converted;
  ASSERT_TRUE(FileTimeToLocalFileTime(&utc, &converted));
  int64_t delta = static_cast<int64_t>((static_cast<uint64_t>(converted.dwHighDateTime) << 32 | converted.dwLowDateTime) -
                                       (static_cast<uint64_t>(utc.dwHighDateTime) << 32 | utc.dwLowDateTime));
  EXPECT_EQ(delta, static_cast<int64_t>(local.tm_gmtoff) * 10000000LL);
}
