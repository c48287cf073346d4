// Start-up, the main window and its window procedure, through the test driver.
#include <gtest/gtest.h>
#include <windows.h>

#include <mmsystem.h>

#include "app/AppState.h"
#include "app/MainWindow.h"
#include "app/Navigation.h"
#include "support/ClientHarness.h"
#include "support/SpyScreen.h"

using namespace melodex_test;

// What the window procedure answers for each message, and whether the current screen sees it:
// key releases other than the Talk and volume keys, timers and replies go to the screen; the
// Talk and volume keys and WM_COMMAND go to DefWindowProcW; MM_WIM_DATA with no recording is
// logged and answered 0; key-downs, WM_CLOSE and every other message are answered 1 without
// effect.
TEST(MainWindow, EachMessageGoesWhereTheWindowProcedureSends) {
  Client client;
  SpyScreen* spy = BootWithSpy(client);
  ASSERT_NE(spy, nullptr);
  spy->keyResult = 7;
  const struct {
    UINT message;
    WPARAM wParam;
    int result;  // -1: whatever DefWindowProcW answers
    int keys, timers, replies;
  } cases[] = {
      {WM_KEYUP, VK_RETURN, 7, 1, 0, 0},  {WM_KEYUP, '5', 7, 1, 0, 0},       {WM_TIMER, 77, 0, 0, 1, 0},
      {WM_USER, 0, 0, 0, 0, 1},           {WM_KEYUP, VK_F3, -1, 0, 0, 0},     {WM_KEYUP, VK_VOLUME_UP, -1, 0, 0, 0},
      {WM_KEYUP, VK_VOLUME_DOWN, -1, 0, 0, 0}, {WM_COMMAND, 1, -1, 0, 0, 0}, {WM_KEYDOWN, VK_RETURN, 1, 0, 0, 0},
      {WM_CHAR, 'a', 1, 0, 0, 0},         {WM_CLOSE, 0, 1, 0, 0, 0},          {WM_MOVE, 0, 1, 0, 0, 0},
      {WM_SIZE, 0, 1, 0, 0, 0},           {WM_SETFOCUS, 0, 1, 0, 0, 0},       {WM_ERASEBKGND, 0, 1, 0, 0, 0},
      {WM_SYSKEYUP, 0, 1, 0, 0, 0},       {WM_USER + 1, 0, 1, 0, 0, 0},       {WM_APP + 40, 0, 1, 0, 0, 0},
      {MM_WIM_DATA, 0x1234, 0, 0, 0, 0},
  };
  for (const auto& c : cases) {
    size_t keys = spy->keys.size(), timers = spy->timers.size();
    int replies = spy->replies;
    LRESULT expected = c.result >= 0 ? c.result : DefWindowProcW(g_hWnd, c.message, c.wParam, 0);
    EXPECT_EQ(SendMessageW(g_hWnd, c.message, c.wParam, 0), expected) << c.message << " " << c.wParam;
    EXPECT_EQ(spy->keys.size() - keys, static_cast<size_t>(c.keys)) << c.message << " " << c.wParam;
    EXPECT_EQ(spy->timers.size() - timers, static_cast<size_t>(c.timers)) << c.message;
    EXPECT_EQ(spy->replies - replies, c.replies) << c.message;
  }
  EXPECT_TRUE(IsWindow(g_hWnd));
  EXPECT_FALSE(client.driver.quit());
  EXPECT_EQ(client.log(), "Melodex starting up\r\nMelodex: got MM_WIM_DATA message\r\n");
  EXPECT_EQ(g_nCurrentScreen, 0);
}

// Every WM_ACTIVATE, also one that reports deactivation, shows the (hidden) window, brings it
// to the top and repeats the full-screen request.
TEST(MainWindow, EveryActivateShowsTheWindowAndRepeatsFullScreen) {
  Client client;
  ASSERT_TRUE(client.boot());
  for (WPARAM state : {(WPARAM)WA_INACTIVE, (WPARAM)WA_ACTIVE, (WPARAM)WA_CLICKACTIVE, (WPARAM)0x12345}) {
    size_t fullScreen = client.countTrace("SHFullScreen");
    size_t toTop = client.countTrace("BringWindowToTop");
    EXPECT_EQ(SendMessageW(g_hWnd, WM_ACTIVATE, state, 0), 0);
    EXPECT_EQ(client.countTrace("SHFullScreen"), fullScreen + 1) << "state " << state;
    EXPECT_EQ(client.countTrace("BringWindowToTop"), toTop + 1);
  }
  ShowWindow(g_hWnd, SW_HIDE);
  EXPECT_EQ(SendMessageW(g_hWnd, WM_ACTIVATE, WA_INACTIVE, 0), 0);
  EXPECT_TRUE(IsWindowVisible(g_hWnd));
}

// Messages for an id without a screen object call nothing.
TEST(MainWindow, WithoutAScreenObjectMessagesAreAnsweredByTheTable) {
  Client client;
  ASSERT_TRUE(client.boot());
  SwitchScreen(SCREEN_RESERVED_2);
  client.driver.runPending();
  ASSERT_EQ(g_nCurrentScreen, SCREEN_RESERVED_2);
  ASSERT_EQ(g_screens[SCREEN_RESERVED_2], nullptr);
  EXPECT_EQ(SendMessageW(g_hWnd, WM_KEYUP, VK_RETURN, 0), 1);
  EXPECT_EQ(SendMessageW(g_hWnd, WM_TIMER, 5, 0), 0);
  EXPECT_EQ(SendMessageW(g_hWnd, WM_USER, 0, 0), 0);
  RedrawWindow(g_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_INTERNALPAINT);
  client.driver.runPending();
  EXPECT_FALSE(GetUpdateRect(g_hWnd, nullptr, FALSE));
}

// Start-up trims the full-screen window back to exactly the area below the status bar; the
// shell's menu bar belongs to the home screen and shows only while the window is hidden.
struct PhoneScreen {
  const char* profile;
  int width;
  int height;
};
class MainWindowOnScreen : public testing::TestWithParam<PhoneScreen> {};

TEST_P(MainWindowOnScreen, TheWindowFillsTheScreenBelowTheStatusBar) {
  const PhoneScreen s = GetParam();
  Client client(MakeConfig(s.profile));
  ASSERT_TRUE(client.boot());
  RECT window, clientArea;
  GetWindowRect(g_hWnd, &window);
  GetClientRect(g_hWnd, &clientArea);
  EXPECT_EQ(window.top, 26);
  EXPECT_EQ(window.bottom, s.height);
  EXPECT_EQ(clientArea.right, s.width);
  EXPECT_EQ(clientArea.bottom, s.height - 26);
  EXPECT_EQ(client.driver.pixel(s.width / 2, s.height - 13), 0xFFFFFFu) << "the splash's white";
  client.driver.advance(3000);
  client.driver.press(VK_ESCAPE);  // the main menu's Back hides the window
  ASSERT_FALSE(IsWindowVisible(g_hWnd));
  EXPECT_EQ(client.driver.pixel(s.width / 2, s.height - 13), 0x5A6884u) << "the home menu bar's divider";
}

INSTANTIATE_TEST_SUITE_P(Profiles, MainWindowOnScreen,
                         testing::Values(PhoneScreen{"qvga", 240, 320}, PhoneScreen{"square", 320, 320},
                                         PhoneScreen{"landscape", 320, 240}),
                         [](const auto& info) { return std::string(info.param.profile); });
