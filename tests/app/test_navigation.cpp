// SwitchScreen, the back stack and the soft-key bar, through the test driver.
#include <gtest/gtest.h>
#include <windows.h>

#include "app/AppState.h"
#include "app/Navigation.h"
#include "app/SoftKeyBar.h"
#include "screens/ErrorScreen.h"
#include "support/ClientHarness.h"
#include "support/SpyScreen.h"

using melodex_test::Client;
using melodex_test::SpyScreen;

namespace {

// Boots, then puts spies in the reserved slots 0 and 2 and makes 0 current with nothing to
// repaint.
struct SpyPair {
  std::vector<std::string> journal;
  SpyScreen* a;
  SpyScreen* b;
};

void InstallSpies(Client& client, SpyPair* pair) {
  ASSERT_TRUE(client.boot());
  pair->a = new SpyScreen(g_hInst, g_hWnd, &pair->journal, "a");
  pair->b = new SpyScreen(g_hInst, g_hWnd, &pair->journal, "b");
  g_screens[0] = pair->a;
  g_screens[2] = pair->b;
  SwitchScreen(0);
  client.driver.runPending();
  pair->journal.clear();
}

std::vector<ScreenId> Stack() {
  return std::vector<ScreenId>(g_backStack, g_backStack + (g_backStackTop + 1));
}

}  // namespace

// A switch to the current id, to an id outside the table (12, -1, ...) or to an empty back
// stack's pop neither deactivates, activates nor repaints; a switch to another id deactivates
// the current screen, then activates the new one, then repaints.
TEST(Navigation, SwitchChangesScreensOnlyForAnotherIdOfTheTable) {
  Client client;
  SpyPair spies;
  InstallSpies(client, &spies);
  ASSERT_FALSE(GetUpdateRect(g_hWnd, nullptr, FALSE));
  ASSERT_EQ(PopScreen(), SCREEN_NONE);
  for (ScreenId id : {0, 12, -1, 13, 1000, -12, PopScreen()}) {
    SwitchScreen(id);
    EXPECT_EQ(g_nCurrentScreen, 0) << id;
  }
  EXPECT_TRUE(spies.journal.empty());
  EXPECT_FALSE(GetUpdateRect(g_hWnd, nullptr, FALSE));
  EXPECT_EQ(g_backStackTop, -1);
  SwitchScreen(2);
  EXPECT_EQ(g_nCurrentScreen, 2);
  EXPECT_EQ(spies.journal, (std::vector<std::string>{"a.deactivate", "b.activate"}));
  client.driver.runPending();
  EXPECT_EQ(spies.journal, (std::vector<std::string>{"a.deactivate", "b.activate", "b.paint"}));
}

// Visiting a screen twice constructs it once.
TEST(Navigation, VisitingTwiceConstructsOnce) {
  Client client;
  ASSERT_TRUE(client.boot());
  SwitchScreen(SCREEN_HELP);
  MelodexScreen* first = g_screens[SCREEN_HELP];
  ASSERT_NE(first, nullptr);
  SwitchScreen(SCREEN_MAIN_MENU);
  SwitchScreen(SCREEN_HELP);
  EXPECT_EQ(g_screens[SCREEN_HELP], first);
}

TEST(Navigation, TheFirstSwitchDeactivatesNothingAndScreensAppearOnFirstUse) {
  Client client;
  ASSERT_TRUE(client.boot());
  EXPECT_NE(g_screens[SCREEN_SPLASH], nullptr);
  for (int id = 0; id < SCREEN_COUNT; id++) {
    if (id == SCREEN_SPLASH) continue;
    EXPECT_EQ(g_screens[id], nullptr) << "id " << id;
  }
}

TEST(Navigation, ReservedIdsBecomeCurrentWithoutAnObject) {
  Client client;
  ASSERT_TRUE(client.boot());
  for (ScreenId id : {0, 2}) {
    SwitchScreen(id);
    EXPECT_EQ(g_nCurrentScreen, id);
    EXPECT_EQ(g_screens[id], nullptr);
  }
}

// Pushing 3, 3 stores one entry; pushing 3, 8, 3 stores three.
TEST(Navigation, PushDropsOnlyImmediateRepeats) {
  Client client;
  ASSERT_TRUE(client.boot());
  PushScreen(3);
  PushScreen(3);
  EXPECT_EQ(Stack(), (std::vector<ScreenId>{3}));
  PopScreen();
  PushScreen(3);
  PushScreen(8);
  PushScreen(3);
  EXPECT_EQ(Stack(), (std::vector<ScreenId>{3, 8, 3}));
  EXPECT_EQ(PopScreen(), 3);
  EXPECT_EQ(PopScreen(), 8);
  EXPECT_EQ(PopScreen(), 3);
  EXPECT_EQ(PopScreen(), SCREEN_NONE);
}

// The eleventh push in a row is dropped; the ten entries stay.
TEST(Navigation, TheEleventhPushIsDropped) {
  Client client;
  ASSERT_TRUE(client.boot());
  std::vector<ScreenId> pushed;
  for (int i = 0; i < 10; i++) {
    ScreenId id = (i % 2 == 0) ? 3 : 8;
    PushScreen(id);
    pushed.push_back(id);
  }
  ASSERT_EQ(Stack(), pushed);
  PushScreen(6);
  EXPECT_EQ(g_backStackTop, 9);
  EXPECT_EQ(Stack(), pushed);
  for (int i = 9; i >= 0; i--) EXPECT_EQ(PopScreen(), pushed[i]);
  EXPECT_EQ(PopScreen(), SCREEN_NONE);
}

// From error screen 10 to error screen 11: two distinct instances, one deactivated and the
// other activated (spies stand in for them so the calls can be seen).
TEST(Navigation, TenToElevenSwitchesBetweenTwoInstances) {
  Client client;
  ASSERT_TRUE(client.boot());
  SwitchScreen(SCREEN_SEND_ERROR);
  SwitchScreen(SCREEN_RECORD_ERROR);
  ASSERT_NE(g_screens[SCREEN_SEND_ERROR], nullptr);
  EXPECT_NE(g_screens[SCREEN_SEND_ERROR], g_screens[SCREEN_RECORD_ERROR]);
  std::vector<std::string> journal;
  g_screens[SCREEN_SEND_ERROR] = new SpyScreen(g_hInst, g_hWnd, &journal, "a");
  g_screens[SCREEN_RECORD_ERROR] = new SpyScreen(g_hInst, g_hWnd, &journal, "b");
  SwitchScreen(SCREEN_SEND_ERROR);
  journal.clear();
  SwitchScreen(SCREEN_RECORD_ERROR);
  EXPECT_EQ(journal, (std::vector<std::string>{"a.deactivate", "b.activate"}));
}

// A label set to NO_IMAGE draws only the blue strip on that side.
TEST(SoftKeyBar, NoImageDrawsOnlyTheBlueStrip) {
  Client client;
  ASSERT_TRUE(client.boot());
  g_softKeyBar->setLeftImage(161);
  g_softKeyBar->setRightImage(NO_IMAGE);
  EXPECT_NE(g_softKeyBar->leftImage, nullptr);
  EXPECT_EQ(g_softKeyBar->rightImage, nullptr);
  RECT client_rc = client.clientRect();
  FillRect(g_hdcBack, &client_rc, (HBRUSH)GetStockObject(WHITE_BRUSH));
  g_softKeyBar->drawSoftKeyBar(g_hdcBack);
  const COLORREF blue = RGB(0, 119, 192);
  // The whole right half of the bar is blue; the left label has pixels of its own.
  int top = client_rc.bottom - SOFT_KEY_BAR_HEIGHT;
  for (int y = top; y < client_rc.bottom; y++)
    for (int x = client_rc.right / 2; x < client_rc.right; x++)
      ASSERT_EQ(GetPixel(g_hdcBack, x, y), blue) << x << "," << y;
  EXPECT_EQ(GetPixel(g_hdcBack, 5, top), blue);  // left of the label's 10-pixel inset
  EXPECT_EQ(GetPixel(g_hdcBack, 0, top - 1), RGB(255, 255, 255));  // nothing above the bar
  int labelPixels = 0;
  for (int y = top; y < client_rc.bottom; y++)
    for (int x = 10; x < 10 + g_softKeyBar->leftSize.bmWidth; x++)
      if (GetPixel(g_hdcBack, x, y) != blue) labelPixels++;
  EXPECT_GT(labelPixels, 0);
  g_softKeyBar->setLeftImage(9999);  // a missing label leaves that side empty too
  EXPECT_EQ(g_softKeyBar->leftImage, nullptr);
  g_softKeyBar->drawSoftKeyBar(g_hdcBack);
  for (int y = top; y < client_rc.bottom; y++)
    for (int x = 0; x < client_rc.right; x++) ASSERT_EQ(GetPixel(g_hdcBack, x, y), blue) << x << "," << y;
}

TEST(SoftKeyBar, LabelsArePlacedTenPixelsIn) {
  Client client;
  ASSERT_TRUE(client.boot());
  g_softKeyBar->setLeftImage(166);
  g_softKeyBar->setRightImage(164);
  RECT rc = client.clientRect();
  g_softKeyBar->drawSoftKeyBar(g_hdcBack);
  int top = rc.bottom - SOFT_KEY_BAR_HEIGHT;
  melodex_test::Picture left = melodex_test::LoadResourcePicture(g_hInst, 166);
  melodex_test::Picture right = melodex_test::LoadResourcePicture(g_hInst, 164);
  ASSERT_EQ(left.height, SOFT_KEY_BAR_HEIGHT);
  ASSERT_EQ(right.height, SOFT_KEY_BAR_HEIGHT);
  int rightX = rc.right - 10 - right.width;
  for (int y = 0; y < SOFT_KEY_BAR_HEIGHT; y++) {
    for (int x = 0; x < left.width; x++)
      ASSERT_EQ(melodex_test::ColorrefToRgb(GetPixel(g_hdcBack, 10 + x, top + y)), left.at(x, y));
    for (int x = 0; x < right.width; x++)
      ASSERT_EQ(melodex_test::ColorrefToRgb(GetPixel(g_hdcBack, rightX + x, top + y)), right.at(x, y));
  }
}

