// Conformance tests of SetTimer and KillTimer under the virtual clock, to the millisecond.
#include <gtest/gtest.h>

#include "device/Clock.h"
#include "device/TestDriver.h"
#include "recorder.h"

namespace {

std::vector<uint64_t> timerTimes;

void RecordTimerTimes(device::TestDriver& driver) {
  onMessage() = [&driver](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
    if (m == WM_TIMER) timerTimes.push_back(driver.now());
    return DefWindowProcW(h, m, w, l);
  };
}

TEST(SetTimer, FiresEveryPeriodExactlyUnderTheVirtualClock) {
  device::TestDriver driver;
  HWND hwnd = CreateRecordingWindow();
  RecordTimerTimes(driver);
  ASSERT_EQ(SetTimer(hwnd, 100, 3000, nullptr), 100u);
  driver.advance(2999);
  EXPECT_TRUE(timerTimes.empty());
  driver.advance(1);
  ASSERT_EQ(timerTimes.size(), 1u);
  EXPECT_EQ(timerTimes[0], 3000u);
  driver.advance(6000);
  EXPECT_EQ(timerTimes, (std::vector<uint64_t>{3000, 6000, 9000}));
}

TEST(SetTimer, CarriesItsIdInWParam) {
  device::TestDriver driver;
  HWND hwnd = CreateRecordingWindow();
  driver.runPending();
  received().clear();
  SetTimer(hwnd, 401, 300, nullptr);
  driver.advance(300);
  ASSERT_EQ(received().size(), 1u);
  EXPECT_EQ(received()[0].message, static_cast<UINT>(WM_TIMER));
  EXPECT_EQ(received()[0].wParam, 401u);
}

TEST(SetTimer, AgainWithTheSameIdRestartsThePeriod) {
  device::TestDriver driver;
  HWND hwnd = CreateRecordingWindow();
  RecordTimerTimes(driver);
  SetTimer(hwnd, 1, 3000, nullptr);
  driver.advance(2000);
  SetTimer(hwnd, 1, 3000, nullptr);
  driver.advance(2999);
  EXPECT_TRUE(timerTimes.empty());
  driver.advance(1);
  EXPECT_EQ(timerTimes, (std::vector<uint64_t>{5000}));
}

TEST(KillTimer, StopsTheTimerAndFailsForAnUnknownId) {
  device::TestDriver driver;
  HWND hwnd = CreateRecordingWindow();
  RecordTimerTimes(driver);
  SetTimer(hwnd, 101, 100, nullptr);
  driver.advance(250);
  EXPECT_TRUE(KillTimer(hwnd, 101));
  driver.advance(1000);
  EXPECT_EQ(timerTimes, (std::vector<uint64_t>{100, 200}));
  EXPECT_FALSE(KillTimer(hwnd, 101));
  EXPECT_FALSE(KillTimer(hwnd, 999));
}

TEST(SetTimer, SetAndKilledFromInsideATimerHandler) {
  device::TestDriver driver;
  HWND hwnd = CreateRecordingWindow();
  std::vector<std::pair<WPARAM, uint64_t>> ticks;
  // Like the results screen: the pause timer kills itself and starts the step timer.
  onMessage() = [&](HWND h, UINT m, WPARAM id, LPARAM l) -> LRESULT {
    if (m != WM_TIMER) return DefWindowProcW(h, m, id, l);
    ticks.push_back({id, driver.now()});
    if (id == 400) {
      KillTimer(h, 400);
      SetTimer(h, 401, 300, nullptr);
    } else if (id == 401 && ticks.size() == 3) {
      KillTimer(h, 401);
    }
    return 0;
  };
  SetTimer(hwnd, 400, 2000, nullptr);
  driver.advance(10000);
  ASSERT_EQ(ticks.size(), 3u);
  EXPECT_EQ(ticks[0], (std::pair<WPARAM, uint64_t>{400, 2000}));
  EXPECT_EQ(ticks[1], (std::pair<WPARAM, uint64_t>{401, 2300}));
  EXPECT_EQ(ticks[2], (std::pair<WPARAM, uint64_t>{401, 2600}));
}

// A queue that was not read for 350 ms of a 100-ms timer gets one WM_TIMER, not a burst of
// three: the period restarts when the message is retrieved.
TEST(SetTimer, ALateTimerFiresOnceAndRestartsItsPeriod) {
  device::TestDriver driver;
  HWND hwnd = CreateRecordingWindow();
  RecordTimerTimes(driver);
  SetTimer(hwnd, 101, 100, nullptr);
  device::Clock::advanceTo(350);
  driver.runPending();
  EXPECT_EQ(timerTimes, (std::vector<uint64_t>{350}));
  driver.advance(100);
  EXPECT_EQ(timerTimes, (std::vector<uint64_t>{350, 450}));
}

TEST(SetTimer, ForAMissingWindowFails) {
  device::TestDriver driver;
  EXPECT_EQ(SetTimer(reinterpret_cast<HWND>(0x7000), 1, 100, nullptr), 0u);
}

TEST(SetTimer, ThreeMinuteTimeOutCostsNothingAndIsExact) {
  device::TestDriver driver;
  HWND hwnd = CreateRecordingWindow();
  RecordTimerTimes(driver);
  SetTimer(hwnd, 201, 180000, nullptr);
  driver.advance(179999);
  EXPECT_TRUE(timerTimes.empty());
  driver.advance(1);
  EXPECT_EQ(timerTimes, (std::vector<uint64_t>{180000}));
}

TEST(GetTickCount, FollowsTheVirtualClock) {
  device::TestDriver driver;
  DWORD before = GetTickCount();
  driver.advance(11000);
  EXPECT_EQ(GetTickCount() - before, 11000u);
}

}  // namespace
