// The demo program under the test driver: it draws its rectangle and reacts to keys.
#include <gtest/gtest.h>

#include "demo.h"
#include "device/TestDriver.h"

namespace {

// The window's client area starts below the 26-pixel status bar.
constexpr int kTop = 26;

uint32_t Rgb(COLORREF c) { return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c); }

TEST(Demo, DrawsItsRectangleWhereItIs) {
  device::TestDriver driver;
  ASSERT_TRUE(driver.boot(DemoInitInstance, nullptr));
  EXPECT_EQ(driver.pixel(20, kTop + 20), 0xCC0098u);
  EXPECT_EQ(driver.pixel(59, kTop + 59), 0xCC0098u);
  EXPECT_EQ(driver.pixel(60, kTop + 60), 0xFFFFFFu);
  EXPECT_EQ(driver.pixel(19, kTop + 20), 0xFFFFFFu);
}

TEST(Demo, ArrowKeysMoveTheRectangleAndReturnRecolours) {
  device::TestDriver driver;
  ASSERT_TRUE(driver.boot(DemoInitInstance, nullptr));
  driver.press(VK_RIGHT);
  driver.press(VK_DOWN);
  EXPECT_EQ(driver.pixel(25, kTop + 25), 0xFFFFFFu);
  EXPECT_EQ(driver.pixel(30, kTop + 30), 0xCC0098u);
  driver.press(VK_RETURN);
  EXPECT_EQ(driver.pixel(30, kTop + 30), Rgb(RGB(0, 119, 192)));
  if (::testing::Test::HasFailure()) driver.snap("demo-failure.png");
}

TEST(Demo, BackEndsTheMessageLoop) {
  device::TestDriver driver;
  ASSERT_TRUE(driver.boot(DemoInitInstance, nullptr));
  EXPECT_FALSE(driver.quit());
  driver.press(VK_ESCAPE);
  EXPECT_TRUE(driver.quit());
  EXPECT_EQ(driver.quitCode(), 0);
}

}  // namespace
