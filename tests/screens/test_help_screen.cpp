// Part 5.7: the help screen, through the test driver.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>

#include "app/AppState.h"
#include "app/Navigation.h"
#include "app/SoftKeyBar.h"
#include "screens/HelpScreen.h"
#include "support/ClientHarness.h"

using melodex_test::Client;

namespace {

HelpScreen* Help() { return (HelpScreen*)g_screens[SCREEN_HELP]; }

// Boot, leave the splash, choose help me out from the main menu.
void BootToHelp(Client& client) {
  ASSERT_TRUE(client.boot());
  client.driver.press(VK_RETURN);
  client.driver.press(VK_DOWN);
  client.driver.press(VK_DOWN);
  client.driver.press(VK_RETURN);
  ASSERT_EQ(g_nCurrentScreen, SCREEN_HELP);
}

std::u16string TopicText(LONG topic) {
  WCHAR* buffer = (WCHAR*)malloc(HELP_TEXT_UNITS * sizeof(WCHAR));
  buffer[0] = 0;
  Help()->loadTopicText(topic, buffer);
  std::u16string text(buffer);
  free(buffer);
  return text;
}

// The rows of the client area (from top to bottom, between left and right) that hold at least
// one pixel that is neither white nor the highlight, grouped into bands of adjacent rows.
int CountTextBands(const Client& client, int left, int top, int right, int bottom) {
  int bands = 0;
  bool inBand = false;
  for (int y = top; y < bottom; y++) {
    bool ink = false;
    for (int x = left; x < right && !ink; x++) ink = client.clientPixel(x, y) != 0xFFFFFF;
    if (ink && !inBand) bands++;
    inBand = ink;
  }
  return bands;
}

}  // namespace

TEST(Help, OpensOnTheListWithBackAndSelectLabels) {
  Client client;
  BootToHelp(client);
  EXPECT_FALSE(Help()->topicOpen);
  EXPECT_EQ(Help()->selectedItem, 0);
  EXPECT_NE(g_softKeyBar->leftImage, nullptr);
  EXPECT_NE(g_softKeyBar->rightImage, nullptr);
}

// Edge case: VK_UP on the first topic highlights About Melodex; VK_DOWN on the last highlights
// IDing a Song.
TEST(Help, TopicHighlightWrapsBothWays) {
  Client client;
  BootToHelp(client);
  client.driver.press(VK_UP);
  EXPECT_EQ(Help()->selectedItem, 3);
  EXPECT_EQ(std::u16string(HelpScreen::topicTitle(Help()->selectedItem)), u"About Melodex");
  client.driver.press(VK_DOWN);
  EXPECT_EQ(Help()->selectedItem, 0);
  EXPECT_EQ(std::u16string(HelpScreen::topicTitle(Help()->selectedItem)), u"IDing a Song");
}

TEST(Help, TopicTitles) {
  EXPECT_EQ(std::u16string(HelpScreen::topicTitle(0)), u"IDing a Song");
  EXPECT_EQ(std::u16string(HelpScreen::topicTitle(1)), u"Recommendations and More!");
  EXPECT_EQ(std::u16string(HelpScreen::topicTitle(2)), u"Subscription");
  EXPECT_EQ(std::u16string(HelpScreen::topicTitle(3)), u"About Melodex");
  EXPECT_EQ(std::u16string(HelpScreen::topicTitle(4)), u"????");
  EXPECT_EQ(std::u16string(HelpScreen::topicTitle(-1)), u"????");
}

// Edge case: opening a topic removes the Select label; going back to the list restores it.
TEST(Help, OpeningATopicRemovesSelectAndBackRestoresIt) {
  Client client;
  BootToHelp(client);
  for (UINT open : {(UINT)VK_RETURN, (UINT)VK_RIGHT, (UINT)VK_F2}) {
    for (UINT back : {(UINT)VK_ESCAPE, (UINT)VK_LEFT, (UINT)VK_F1}) {
      client.driver.press(open);
      EXPECT_TRUE(Help()->topicOpen) << "open key " << open;
      EXPECT_EQ(g_softKeyBar->rightImage, nullptr);
      EXPECT_NE(g_softKeyBar->leftImage, nullptr);
      client.driver.press(back);
      EXPECT_FALSE(Help()->topicOpen) << "back key " << back;
      EXPECT_NE(g_softKeyBar->rightImage, nullptr);
      EXPECT_EQ(g_nCurrentScreen, SCREEN_HELP);
    }
  }
}

// While a topic is shown, other keys do nothing (but repaint and return 0).
TEST(Help, InATopicOtherKeysDoNothing) {
  Client client;
  BootToHelp(client);
  client.driver.press(VK_DOWN);
  client.driver.press(VK_RETURN);
  ASSERT_TRUE(Help()->topicOpen);
  client.driver.runPending();
  for (WPARAM vk : {(WPARAM)VK_UP, (WPARAM)VK_DOWN, (WPARAM)VK_RETURN, (WPARAM)VK_F2, (WPARAM)'7'}) {
    EXPECT_EQ(SendMessageW(g_hWnd, WM_KEYUP, vk, 0), 0);
    EXPECT_TRUE(GetUpdateRect(g_hWnd, nullptr, FALSE));
    client.driver.runPending();
  }
  EXPECT_TRUE(Help()->topicOpen);
  EXPECT_EQ(Help()->selectedItem, 1);
}

// Edge case: keys outside the tables still repaint and return 0.
TEST(Help, OtherKeysOnTheListRepaintAndReturnZero) {
  Client client;
  BootToHelp(client);
  client.driver.runPending();
  ASSERT_FALSE(GetUpdateRect(g_hWnd, nullptr, FALSE));
  EXPECT_EQ(SendMessageW(g_hWnd, WM_KEYUP, '3', 0), 0);
  EXPECT_TRUE(GetUpdateRect(g_hWnd, nullptr, FALSE));
  EXPECT_EQ(Help()->selectedItem, 0);
  EXPECT_FALSE(Help()->topicOpen);
}

// From the list, Back, the left arrow and the left soft key go to the main menu directly.
TEST(Help, BackFromTheListGoesToTheMainMenuWithoutTheStack) {
  Client client;
  BootToHelp(client);
  for (UINT back : {(UINT)VK_ESCAPE, (UINT)VK_LEFT, (UINT)VK_F1}) {
    if (g_nCurrentScreen != SCREEN_HELP) client.driver.press(VK_RETURN);  // the menu's highlight is on help
    ASSERT_EQ(g_nCurrentScreen, SCREEN_HELP);
    LONG top = g_backStackTop;
    client.driver.press(back);
    EXPECT_EQ(g_nCurrentScreen, SCREEN_MAIN_MENU) << "key " << back;
    EXPECT_EQ(g_backStackTop, top);
  }
}

// Edge case: leaving help while a topic is open and coming back shows the list with the same
// topic highlighted.
TEST(Help, ReturningShowsTheListWithTheSameTopic) {
  Client client;
  BootToHelp(client);
  client.driver.press(VK_DOWN);
  client.driver.press(VK_DOWN);
  client.driver.press(VK_RETURN);
  ASSERT_TRUE(Help()->topicOpen);
  SwitchScreen(SCREEN_MAIN_MENU);  // leaving while the topic is open
  EXPECT_FALSE(Help()->topicOpen);
  client.driver.press(VK_RETURN);  // the menu's highlight is still on help me out
  ASSERT_EQ(g_nCurrentScreen, SCREEN_HELP);
  EXPECT_FALSE(Help()->topicOpen);
  EXPECT_EQ(Help()->selectedItem, 2);
  EXPECT_NE(g_softKeyBar->rightImage, nullptr);
}

// The texts of topics 0 to 2 come from string-table entries 3 to 5.
TEST(Help, TopicTextsComeFromTheStringTable) {
  Client client;
  BootToHelp(client);
  EXPECT_EQ(TopicText(0),
            u"Select ID Song! in the main menu to get started.  You will have a second or two before the phone is "
            u"listening to the music.  Always try to get the phone as close to the music as possible.  The cleaner "
            u"the sound source, the better the chance of finding your song!");
  EXPECT_EQ(TopicText(1),
            u"Once a song is found, if a ringtone, wallpaper, or full-song download is available you'll see a link "
            u"for purchasing the content.  You will also see the RECOMMEND option if we can come up with something "
            u"else you might be interested in.  Click on the links to go to the Telvanor store where you'll get "
            u"pricing and purchasing info for your selection.");
  std::u16string subscription = TopicText(2);
  const std::u16string start =
      u"You can use Melodex as much as you want and only pay one monthly subscription fee!  If you would like to "
      u"cancel your subscription please visit the following website:  ";
  const std::u16string end = u".  Enter the appropriate information and you should be unsubscribed from the service.";
  ASSERT_GT(subscription.size(), start.size() + end.size());
  EXPECT_EQ(subscription.substr(0, start.size()), start);
  EXPECT_EQ(subscription.substr(subscription.size() - end.size()), end);
}

// Edge case: the about text is exactly two lines.
TEST(Help, TheAboutTextIsTwoLines) {
  Client client;
  BootToHelp(client);
  EXPECT_EQ(TopicText(3), u"Melodex version 1.2.0\r\nWindowsMobile");
  client.driver.press(VK_UP);
  client.driver.press(VK_RETURN);
  ASSERT_TRUE(Help()->topicOpen);
  RECT rc = client.clientRect();
  int bands = CountTextBands(client, rc.left + 10, Help()->headerSize.bmHeight, rc.right - 10,
                             rc.bottom - SOFT_KEY_BAR_HEIGHT);
  EXPECT_EQ(bands, 2);
}

// The list: four rows of the font's height + 4 under the banner, the highlighted one yellow.
TEST(Help, TheHighlightedRowIsYellow) {
  Client client;
  BootToHelp(client);
  client.driver.press(VK_DOWN);
  TEXTMETRICW metrics;
  SelectObject(g_hdcImage, Help()->font);
  GetTextMetricsW(g_hdcImage, &metrics);
  int lineHeight = metrics.tmHeight + 4;
  int top = Help()->headerSize.bmHeight;
  EXPECT_EQ(client.clientPixel(1, top + lineHeight + 1), 0xFFFC00u);
  EXPECT_EQ(client.clientPixel(1, top + 1), 0xFFFFFFu);
  EXPECT_EQ(client.clientPixel(1, top + 2 * lineHeight + 1), 0xFFFFFFu);
}
