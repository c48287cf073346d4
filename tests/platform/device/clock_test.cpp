// The device clock: virtual time moves only when advanced, events run in time order, a wait ends
// early when its condition holds. Waits ending at their virtual deadlines are tested through
// Sleep and WaitForSingleObject (kernel32).
#include <gtest/gtest.h>

#include <thread>

#include "device/Clock.h"

namespace {

struct VirtualClock : ::testing::Test {
  void SetUp() override {
    device::Clock::useVirtual(true);
    device::Clock::resetForTests();
  }
};

TEST_F(VirtualClock, StandsStillUntilAdvanced) {
  EXPECT_EQ(device::Clock::now(), 0u);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(device::Clock::now(), 0u);
  device::Clock::advanceTo(11000);
  EXPECT_EQ(device::Clock::now(), 11000u);
  device::Clock::advanceTo(5);  // never backwards
  EXPECT_EQ(device::Clock::now(), 11000u);
}

TEST_F(VirtualClock, RunsEventsInTimeOrderAtTheirOwnTime) {
  std::vector<std::pair<int, uint64_t>> ran;
  device::Clock::schedule(300, [&] { ran.push_back({3, device::Clock::now()}); });
  device::Clock::schedule(100, [&] { ran.push_back({1, device::Clock::now()}); });
  device::Clock::schedule(100, [&] { ran.push_back({2, device::Clock::now()}); });
  EXPECT_EQ(device::Clock::nextEventAt(), std::optional<uint64_t>(100));
  device::Clock::advanceTo(250);
  ASSERT_EQ(ran.size(), 2u);
  EXPECT_EQ(ran[0], (std::pair<int, uint64_t>{1, 100}));
  EXPECT_EQ(ran[1], (std::pair<int, uint64_t>{2, 100}));
  device::Clock::advanceTo(1000);
  ASSERT_EQ(ran.size(), 3u);
  EXPECT_EQ(ran[2], (std::pair<int, uint64_t>{3, 300}));
}

TEST_F(VirtualClock, CancelledEventsDoNotRun) {
  bool ran = false;
  auto id = device::Clock::schedule(10, [&] { ran = true; });
  EXPECT_TRUE(device::Clock::cancel(id));
  EXPECT_FALSE(device::Clock::cancel(id));
  device::Clock::advanceTo(100);
  EXPECT_FALSE(ran);
}

TEST_F(VirtualClock, WaitUntilEndsEarlyWhenTheConditionHolds) {
  std::mutex m;
  std::condition_variable cv;
  bool flag = false;
  bool result = false;
  std::thread waiter([&] {
    std::unique_lock<std::mutex> lk(m);
    result = device::Clock::waitUntil(lk, cv, 10000, [&] { return flag; });
  });
  while (!device::Clock::nextEventAt()) std::this_thread::yield();
  {
    std::lock_guard<std::mutex> lk(m);
    flag = true;
  }
  cv.notify_all();
  waiter.join();
  EXPECT_TRUE(result);
  EXPECT_FALSE(device::Clock::nextEventAt());  // the deadline event was cancelled
}

TEST(RealClock, RunsScheduledEventsOnItsOwn) {
  device::Clock::useVirtual(false);
  std::mutex m;
  std::condition_variable cv;
  bool ran = false;
  device::Clock::schedule(device::Clock::now() + 20, [&] {
    std::lock_guard<std::mutex> lk(m);
    ran = true;
    cv.notify_all();
  });
  std::unique_lock<std::mutex> lk(m);
  EXPECT_TRUE(cv.wait_for(lk, std::chrono::seconds(5), [&] { return ran; }));
}

}  // namespace
