// SetTimer and KillTimer under the virtual clock, to the millisecond. KillTimer's answers and a
// killed timer's silence are held against Windows by the probe.
#include <gtest/gtest.h>

#include "device/Clock.h"
#include "recorder.h"

namespace {

std::vector<uint64_t> timerTimes;

void RecordTimerTimes(device::TestDriver& driver) {
  onMessage() = [&driver](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
    if (m == WM_TIMER) timerTimes.push_back(driver.now());
    return DefWindowProcW(h, m, w, l);
  };
}

// A timer fires every period to the millisecond, not a millisecond early; setting it again
// with the same id restarts its period; a three-minute time-out costs no real time.
TEST(SetTimer, FiresEveryPeriodExactlyUnderTheVirtualClock) {
  const struct {
    UINT period;
    uint64_t setAgainAt;  // 0: never
    std::vector<uint64_t> ticks;
  } cases[] = {{3000, 0, {3000, 6000, 9000}}, {3000, 2000, {5000}}, {180000, 0, {180000}}};
  Recording r;
  RecordTimerTimes(r.driver);
  UINT_PTR id = 100;
  for (const auto& c : cases) {
    timerTimes.clear();
    const uint64_t start = r.driver.now();
    std::vector<uint64_t> due;
    for (uint64_t t : c.ticks) due.push_back(start + t);
    ASSERT_EQ(SetTimer(r.hwnd, ++id, c.period, nullptr), id);
    if (c.setAgainAt) {
      r.driver.advance(c.setAgainAt);
      SetTimer(r.hwnd, id, c.period, nullptr);
    }
    r.driver.advance(due.back() - 1 - r.driver.now());
    EXPECT_EQ(timerTimes, std::vector<uint64_t>(due.begin(), due.end() - 1)) << c.period;
    r.driver.advance(1);
    EXPECT_EQ(timerTimes, due) << c.period;
    KillTimer(r.hwnd, id);
  }
}

TEST(SetTimer, SetAndKilledFromInsideATimerHandler) {
  Recording r;
  std::vector<std::pair<WPARAM, uint64_t>> ticks;
  // Like the results screen: the pause timer kills itself and starts the step timer.
  onMessage() = [&](HWND h, UINT m, WPARAM id, LPARAM l) -> LRESULT {
    if (m != WM_TIMER) return DefWindowProcW(h, m, id, l);
    ticks.push_back({id, r.driver.now()});
    if (id == 400) {
      KillTimer(h, 400);
      SetTimer(h, 401, 300, nullptr);
    } else if (id == 401 && ticks.size() == 3) {
      KillTimer(h, 401);
    }
    return 0;
  };
  SetTimer(r.hwnd, 400, 2000, nullptr);
  r.driver.advance(10000);
  ASSERT_EQ(ticks.size(), 3u);
  EXPECT_EQ(ticks[0], (std::pair<WPARAM, uint64_t>{400, 2000}));
  EXPECT_EQ(ticks[1], (std::pair<WPARAM, uint64_t>{401, 2300}));
  EXPECT_EQ(ticks[2], (std::pair<WPARAM, uint64_t>{401, 2600}));
}

// A queue that was not read for 350 ms of a 100-ms timer gets one WM_TIMER, not a burst of
// three: the period restarts when the message is retrieved.
TEST(SetTimer, ALateTimerFiresOnceAndRestartsItsPeriod) {
  Recording r;
  RecordTimerTimes(r.driver);
  SetTimer(r.hwnd, 101, 100, nullptr);
  device::Clock::advanceTo(350);
  r.driver.runPending();
  EXPECT_EQ(timerTimes, (std::vector<uint64_t>{350}));
  r.driver.advance(100);
  EXPECT_EQ(timerTimes, (std::vector<uint64_t>{350, 450}));
}

TEST(SetTimer, ForAMissingWindowFails) {
  device::TestDriver driver;
  EXPECT_EQ(SetTimer(reinterpret_cast<HWND>(0x7000), 1, 100, nullptr), 0u);
}

TEST(GetTickCount, FollowsTheVirtualClock) {
  device::TestDriver driver;
  DWORD before = GetTickCount();
  driver.advance(11000);
  EXPECT_EQ(GetTickCount() - before, 11000u);
}

}  // namespace
