// SwitchScreen, the back stack and the soft-key bar, through the test driver.
#include <gtest/gtest.h>
#include <windows.h>

#include "app/AppState.h"
#include "app/Navigation.h"
#include "app/SoftKeyBar.h"
#include "support/ClientHarness.h"
#include "support/ScreenRows.h"
#include "support/SpyScreen.h"

using melodex_test::BackStack;
using melodex_test::Client;
using melodex_test::SpyScreen;
using melodex_test::Stack;

// A switch to the current id, to an id outside the table (12, -1, ...) or to an empty back
// stack's pop neither deactivates, activates nor repaints; a switch to another id deactivates
// the current screen, then activates the new one, then repaints.
TEST(Navigation, SwitchChangesScreensOnlyForAnotherIdOfTheTable) {
  Client client;
  ASSERT_TRUE(client.boot());
  std::vector<std::string> journal;
  g_screens[0] = new SpyScreen(g_hInst, g_hWnd, &journal, "a");
  g_screens[2] = new SpyScreen(g_hInst, g_hWnd, &journal, "b");
  SwitchScreen(0);
  client.driver.runPending();
  journal.clear();
  for (ScreenId id : {0, 12, -1, 13, 1000, -12, PopScreen()}) {
    SwitchScreen(id);
    EXPECT_EQ(g_nCurrentScreen, 0) << id;
  }
  EXPECT_TRUE(journal.empty());
  EXPECT_FALSE(GetUpdateRect(g_hWnd, nullptr, FALSE));
  SwitchScreen(2);
  EXPECT_EQ(journal, (std::vector<std::string>{"a.deactivate", "b.activate"}));
  client.driver.runPending();
  EXPECT_EQ(journal, (std::vector<std::string>{"a.deactivate", "b.activate", "b.paint"}));
}

// The back stack drops an immediate repeat (3, 3 is one entry; 3, 8, 3 three) and an eleventh
// entry; it pops newest first, then SCREEN_NONE.
TEST(Navigation, TheBackStackKeepsTenEntriesWithoutImmediateRepeats) {
  Client client;
  ASSERT_TRUE(client.boot());
  PushScreen(3);
  PushScreen(3);
  EXPECT_EQ(BackStack(), Stack{3});
  Stack pushed = {3};
  for (int i = 1; i < 10; i++) {
    pushed.push_back(i % 2 == 0 ? 3 : 8);
    PushScreen(pushed.back());
  }
  PushScreen(6);
  EXPECT_EQ(BackStack(), pushed);
  for (int i = 9; i >= 0; i--) EXPECT_EQ(PopScreen(), pushed[i]);
  EXPECT_EQ(PopScreen(), SCREEN_NONE);
}

// The labels stand 10 pixels in from each side of the blue bar, pixel for pixel; a side set to
// NO_IMAGE, or to an image that does not exist, is only blue.
TEST(SoftKeyBar, LabelsStandTenPixelsInOnTheBlueBar) {
  Client client;
  ASSERT_TRUE(client.boot());
  RECT rc = client.clientRect();
  const int top = rc.bottom - SOFT_KEY_BAR_HEIGHT;
  const uint32_t blue = 0x0077C0;
  auto barPixel = [](int x, int y) { return melodex_test::ColorrefToRgb(GetPixel(g_hdcBack, x, y)); };
  g_softKeyBar->setLeftImage(166);
  g_softKeyBar->setRightImage(164);
  g_softKeyBar->drawSoftKeyBar(g_hdcBack);
  melodex_test::Picture left = melodex_test::LoadResourcePicture(g_hInst, 166);
  melodex_test::Picture right = melodex_test::LoadResourcePicture(g_hInst, 164);
  ASSERT_EQ(left.height, SOFT_KEY_BAR_HEIGHT);
  int rightX = rc.right - 10 - right.width;
  for (int y = 0; y < SOFT_KEY_BAR_HEIGHT; y++) {
    for (int x = 0; x < 10; x++) ASSERT_EQ(barPixel(x, top + y), blue);
    for (int x = 0; x < left.width; x++) ASSERT_EQ(barPixel(10 + x, top + y), left.at(x, y));
    for (int x = 0; x < right.width; x++) ASSERT_EQ(barPixel(rightX + x, top + y), right.at(x, y));
  }
  g_softKeyBar->setRightImage(NO_IMAGE);
  g_softKeyBar->setLeftImage(9999);
  EXPECT_EQ(g_softKeyBar->leftImage, nullptr);
  EXPECT_EQ(g_softKeyBar->rightImage, nullptr);
  g_softKeyBar->drawSoftKeyBar(g_hdcBack);
  for (int y = top; y < rc.bottom; y++)
    for (int x = 0; x < rc.right; x++) ASSERT_EQ(barPixel(x, y), blue) << x << "," << y;
}
