// Part 5.1: the splash screen and the main menu, through the test driver.
#include <gtest/gtest.h>
#include <windows.h>

#include "app/AppState.h"
#include "app/Navigation.h"
#include "screens/MainMenuScreen.h"
#include "screens/SplashScreen.h"
#include "support/ClientHarness.h"

using melodex_test::Client;

namespace {

MainMenuScreen* Menu() { return (MainMenuScreen*)g_screens[SCREEN_MAIN_MENU]; }

void BootToMainMenu(Client& client) {
  ASSERT_TRUE(client.boot());
  client.driver.press(VK_RETURN);
  ASSERT_EQ(g_nCurrentScreen, SCREEN_MAIN_MENU);
}

}  // namespace

// Edge case: without a key the main menu comes 3 seconds after the splash was shown.
TEST(Splash, TheMainMenuFollowsAfterExactly3000Ms) {
  Client client;
  ASSERT_TRUE(client.boot());
  EXPECT_EQ(g_nCurrentScreen, SCREEN_SPLASH);
  client.driver.advance(2999);
  EXPECT_EQ(g_nCurrentScreen, SCREEN_SPLASH);
  EXPECT_EQ(g_screens[SCREEN_MAIN_MENU], nullptr);
  client.driver.advance(1);
  EXPECT_EQ(g_nCurrentScreen, SCREEN_MAIN_MENU);
  EXPECT_EQ(client.driver.now(), 3000u);
}

// Edge case: any key release (other than Talk and volume) shows the main menu at once; a
// key-down alone does nothing.
class SplashKey : public testing::TestWithParam<UINT> {};

TEST_P(SplashKey, AKeyReleaseShowsTheMainMenuAtOnce) {
  Client client;
  ASSERT_TRUE(client.boot());
  client.driver.advance(1000);
  client.driver.keyDown(GetParam());
  client.driver.runPending();
  EXPECT_EQ(g_nCurrentScreen, SCREEN_SPLASH);
  client.driver.keyUp(GetParam());
  client.driver.runPending();
  EXPECT_EQ(g_nCurrentScreen, SCREEN_MAIN_MENU);
  EXPECT_EQ(client.driver.now(), 1000u);
}

INSTANTIATE_TEST_SUITE_P(Keys, SplashKey,
                         testing::Values((UINT)VK_RETURN, (UINT)VK_ESCAPE, (UINT)VK_F1, (UINT)VK_F2,
                                         (UINT)VK_UP, (UINT)'5'));

TEST(Splash, TheSoftKeyReleaseAlsoContinues) {
  Client client;
  ASSERT_TRUE(client.boot());
  EXPECT_EQ(SendMessageW(g_hWnd, WM_KEYUP, VK_F2, 0), 0);
  EXPECT_EQ(g_nCurrentScreen, SCREEN_MAIN_MENU);
}

// Leaving the splash kills timer 1: it is never shown again.
TEST(Splash, TheTimerIsKilledWhenLeft) {
  Client client;
  ASSERT_TRUE(client.boot());
  client.driver.press(VK_RETURN);
  ASSERT_EQ(g_nCurrentScreen, SCREEN_MAIN_MENU);
  client.driver.press(VK_DOWN);
  client.driver.press(VK_DOWN);
  client.driver.press(VK_RETURN);  // help
  ASSERT_EQ(g_nCurrentScreen, SCREEN_HELP);
  client.driver.advance(10000);
  EXPECT_EQ(g_nCurrentScreen, SCREEN_HELP);
  EXPECT_GE(client.countTrace("KillTimer"), 1u);
}

TEST(Splash, OtherTimerIdsAreIgnored) {
  Client client;
  ASSERT_TRUE(client.boot());
  SendMessageW(g_hWnd, WM_TIMER, 2, 0);
  SendMessageW(g_hWnd, WM_TIMER, 100, 0);
  EXPECT_EQ(g_nCurrentScreen, SCREEN_SPLASH);
  SendMessageW(g_hWnd, WM_TIMER, 1, 0);
  EXPECT_EQ(g_nCurrentScreen, SCREEN_MAIN_MENU);
}

// Edge case: the highlight wraps both ways.
TEST(MainMenu, TheHighlightWrapsBothWays) {
  Client client;
  BootToMainMenu(client);
  EXPECT_EQ(Menu()->selectedItem, 0);
  client.driver.press(VK_UP);
  EXPECT_EQ(Menu()->selectedItem, 3) << "up on ID song! highlights exit";
  client.driver.press(VK_DOWN);
  EXPECT_EQ(Menu()->selectedItem, 0) << "down on exit highlights ID song!";
  client.driver.press(VK_DOWN);
  client.driver.press(VK_DOWN);
  EXPECT_EQ(Menu()->selectedItem, 2);
}

TEST(MainMenu, UsedKeysRepaintAndReturnZero) {
  Client client;
  BootToMainMenu(client);
  client.driver.runPending();
  ASSERT_FALSE(GetUpdateRect(g_hWnd, nullptr, FALSE));
  EXPECT_EQ(SendMessageW(g_hWnd, WM_KEYUP, VK_DOWN, 0), 0);
  EXPECT_TRUE(GetUpdateRect(g_hWnd, nullptr, FALSE));
}

// Edge case: the soft keys do nothing on the main menu and return 1.
TEST(MainMenu, SoftKeysAndOtherKeysReturnOneAndDoNothing) {
  Client client;
  BootToMainMenu(client);
  client.driver.runPending();
  for (WPARAM vk : {(WPARAM)VK_F1, (WPARAM)VK_F2, (WPARAM)VK_LEFT, (WPARAM)'1', (WPARAM)VK_BACK}) {
    EXPECT_EQ(SendMessageW(g_hWnd, WM_KEYUP, vk, 0), 1) << "key " << vk;
  }
  EXPECT_EQ(Menu()->selectedItem, 0);
  EXPECT_EQ(g_nCurrentScreen, SCREEN_MAIN_MENU);
  EXPECT_FALSE(GetUpdateRect(g_hWnd, nullptr, FALSE));
}

// Edge case: coming back from help shows the highlight still on help me out.
TEST(MainMenu, TheHighlightSurvivesAVisitToHelp) {
  Client client;
  BootToMainMenu(client);
  MainMenuScreen* menu = Menu();
  client.driver.press(VK_DOWN);
  client.driver.press(VK_DOWN);
  client.driver.press(VK_RIGHT);
  ASSERT_EQ(g_nCurrentScreen, SCREEN_HELP);
  client.driver.press(VK_ESCAPE);
  ASSERT_EQ(g_nCurrentScreen, SCREEN_MAIN_MENU);
  EXPECT_EQ(Menu(), menu);
  EXPECT_EQ(Menu()->selectedItem, MENU_HELP);
}

// activateItem: each entry's target, then PushScreen(3).
TEST(MainMenu, EntriesOpenTheirScreensAndPushTheMenu) {
  Client client;
  BootToMainMenu(client);
  client.driver.press(VK_RETURN);  // ID song!: the listening screen (no class yet)
  EXPECT_EQ(g_nCurrentScreen, SCREEN_LISTENING);
  EXPECT_EQ(g_backStackTop, 0);
  EXPECT_EQ(g_backStack[0], SCREEN_MAIN_MENU);
  SwitchScreen(PopScreen());
  ASSERT_EQ(g_nCurrentScreen, SCREEN_MAIN_MENU);
  client.driver.press(VK_DOWN);
  client.driver.press(VK_RETURN);  // manage IDs: the history screen (no class yet)
  EXPECT_EQ(g_nCurrentScreen, SCREEN_MANAGE);
  EXPECT_EQ(g_backStackTop, 0);
  SwitchScreen(PopScreen());
  client.driver.press(VK_DOWN);
  client.driver.press(VK_RETURN);  // help me out
  EXPECT_EQ(g_nCurrentScreen, SCREEN_HELP);
  EXPECT_EQ(g_backStackTop, 0);
  EXPECT_EQ(g_backStack[0], SCREEN_MAIN_MENU);
}

// Edge case: exit ends the message loop; the main menu is still current when it ends.
TEST(MainMenu, ExitEndsTheMessageLoop) {
  Client client;
  BootToMainMenu(client);
  client.driver.press(VK_UP);
  client.driver.press(VK_RETURN);
  EXPECT_TRUE(client.driver.quit());
  EXPECT_EQ(client.driver.quitCode(), 0);
  EXPECT_EQ(g_nCurrentScreen, SCREEN_MAIN_MENU);
  EXPECT_EQ(g_backStackTop, 0);  // the push after PostQuitMessage still happens
}

// Edge case: Back hides the window; the process keeps running (the second start is in
// tests/app/test_single_instance.cpp).
TEST(MainMenu, BackHidesTheWindow) {
  Client client;
  BootToMainMenu(client);
  EXPECT_EQ(SendMessageW(g_hWnd, WM_KEYUP, VK_ESCAPE, 0), 0);
  client.driver.runPending();
  EXPECT_FALSE(IsWindowVisible(g_hWnd));
  EXPECT_FALSE(client.driver.quit());
  EXPECT_TRUE(IsWindow(g_hWnd));
  EXPECT_EQ(g_nCurrentScreen, SCREEN_MAIN_MENU);
}
