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

TEST(Navigation, SwitchDeactivatesThenActivatesThenRepaints) {
  Client client;
  SpyPair spies;
  InstallSpies(client, &spies);
  SwitchScreen(2);
  EXPECT_EQ(g_nCurrentScreen, 2);
  EXPECT_EQ(spies.journal, (std::vector<std::string>{"a.deactivate", "b.activate"}));
  EXPECT_TRUE(GetUpdateRect(g_hWnd, nullptr, FALSE));
  client.driver.runPending();
  EXPECT_EQ(spies.journal, (std::vector<std::string>{"a.deactivate", "b.activate", "b.paint"}));
}

// SwitchScreen to the current id neither deactivates, activates nor repaints.
TEST(Navigation, SwitchToTheCurrentIdDoesNothing) {
  Client client;
  SpyPair spies;
  InstallSpies(client, &spies);
  ASSERT_FALSE(GetUpdateRect(g_hWnd, nullptr, FALSE));
  SwitchScreen(0);
  EXPECT_TRUE(spies.journal.empty());
  EXPECT_FALSE(GetUpdateRect(g_hWnd, nullptr, FALSE));
}

// SwitchScreen(12) and SwitchScreen(-1) change nothing.
TEST(Navigation, SwitchOutsideTheTableDoesNothing) {
  Client client;
  SpyPair spies;
  InstallSpies(client, &spies);
  for (ScreenId id : {12, -1, 13, 1000, -12}) {
    SwitchScreen(id);
    EXPECT_EQ(g_nCurrentScreen, 0);
  }
  EXPECT_TRUE(spies.journal.empty());
  EXPECT_FALSE(GetUpdateRect(g_hWnd, nullptr, FALSE));
}

// A Back with an empty back stack is SwitchScreen(12), which does nothing.
TEST(Navigation, BackWithAnEmptyStackDoesNothing) {
  Client client;
  SpyPair spies;
  InstallSpies(client, &spies);
  ASSERT_EQ(g_backStackTop, -1);
  EXPECT_EQ(PopScreen(), SCREEN_NONE);
  SwitchScreen(PopScreen());
  EXPECT_EQ(g_nCurrentScreen, 0);
  EXPECT_TRUE(spies.journal.empty());
  EXPECT_EQ(g_backStackTop, -1);
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

// From error screen 10 to error screen 11 deactivates one instance and activates the
// other, and the two are distinct objects.
TEST(Navigation, TenToElevenSwitchesBetweenTwoInstances) {
  Client client;
  ASSERT_TRUE(client.boot());
  SwitchScreen(SCREEN_SEND_ERROR);
  SwitchScreen(SCREEN_RECORD_ERROR);
  ASSERT_NE(g_screens[SCREEN_SEND_ERROR], nullptr);
  ASSERT_NE(g_screens[SCREEN_RECORD_ERROR], nullptr);
  EXPECT_NE(g_screens[SCREEN_SEND_ERROR], g_screens[SCREEN_RECORD_ERROR]);
  EXPECT_EQ(g_nCurrentScreen, SCREEN_RECORD_ERROR);
}

TEST(Navigation, TenToElevenOrderOfEffects) {
  Client client;
  SpyPair spies;
  InstallSpies(client, &spies);
  // Spies stand in for the two instances so the calls can be seen.
  g_screens[SCREEN_SEND_ERROR] = spies.a;
  g_screens[SCREEN_RECORD_ERROR] = spies.b;
  SwitchScreen(SCREEN_SEND_ERROR);
  spies.journal.clear();
  SwitchScreen(SCREEN_RECORD_ERROR);
  EXPECT_EQ(spies.journal, (std::vector<std::string>{"a.deactivate", "b.activate"}));
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
  g_softKeyBar->setLeftImage(NO_IMAGE);
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

TEST(SoftKeyBar, AMissingLabelLeavesThatSideEmpty) {
  Client client;
  ASSERT_TRUE(client.boot());
  g_softKeyBar->setRightImage(9999);
  EXPECT_EQ(g_softKeyBar->rightImage, nullptr);
}
