// Part 5.8: the error screens 10 and 11, through the test driver.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>

#include "app/AppState.h"
#include "app/Navigation.h"
#include "app/SoftKeyBar.h"
#include "screens/ErrorScreen.h"
#include "support/ClientHarness.h"

using melodex_test::Client;
using melodex_test::CountDifferences;
using melodex_test::LoadResourcePicture;
using melodex_test::Picture;

namespace {

ErrorScreen* Error(ScreenId id) { return (ErrorScreen*)g_screens[id]; }

void BootToError(Client& client, ScreenId id) {
  ASSERT_TRUE(client.boot());
  client.driver.press(VK_RETURN);  // splash → main menu
  SwitchScreen(id);
  client.driver.runPending();
  ASSERT_EQ(g_nCurrentScreen, id);
}

}  // namespace

TEST(ErrorScreen, ActivateLabelsOkAndNoRightLabel) {
  Client client;
  BootToError(client, SCREEN_SEND_ERROR);
  EXPECT_NE(g_softKeyBar->leftImage, nullptr);
  EXPECT_EQ(g_softKeyBar->rightImage, nullptr);
  EXPECT_EQ(Error(SCREEN_SEND_ERROR)->message, nullptr);
}

// Edge case: VK_ESCAPE, VK_RETURN and the right soft key do nothing on the error screen.
TEST(ErrorScreen, OnlyTheLeftSoftKeyIsUsed) {
  Client client;
  BootToError(client, SCREEN_SEND_ERROR);
  for (WPARAM vk : {(WPARAM)VK_ESCAPE, (WPARAM)VK_RETURN, (WPARAM)VK_F2, (WPARAM)VK_LEFT, (WPARAM)VK_UP}) {
    EXPECT_EQ(SendMessageW(g_hWnd, WM_KEYUP, vk, 0), 0) << "key " << vk;
    client.driver.runPending();
    EXPECT_EQ(g_nCurrentScreen, SCREEN_SEND_ERROR);
  }
  client.driver.press(VK_F1);
  EXPECT_EQ(g_nCurrentScreen, SCREEN_MAIN_MENU);
}

// Edge case: screens 10 and 11 show the same picture; each keeps its own message.
TEST(ErrorScreen, TenAndElevenLookTheSameAndKeepTheirOwnMessages) {
  Client client;
  BootToError(client, SCREEN_RECORD_ERROR);
  std::vector<uint32_t> eleven = client.driver.screen().pixels;
  SwitchScreen(SCREEN_SEND_ERROR);
  client.driver.runPending();
  EXPECT_EQ(client.driver.screen().pixels, eleven) << "without a message the two pictures are equal";
  Error(SCREEN_SEND_ERROR)->setMessage(TEXT("Error sending recording to the server!"));
  EXPECT_EQ(Error(SCREEN_RECORD_ERROR)->message, nullptr);
  Error(SCREEN_RECORD_ERROR)->setMessage(TEXT("eleven"));
  EXPECT_EQ(std::u16string(Error(SCREEN_SEND_ERROR)->message), u"Error sending recording to the server!");
  EXPECT_EQ(std::u16string(Error(SCREEN_RECORD_ERROR)->message), u"eleven");
}

// Edge case: two failures in a row replace the first message by the second; the first copy is
// released (AddressSanitizer's leak check sees it).
TEST(ErrorScreen, TwoFailuresInARowReplaceTheMessage) {
  Client client;
  BootToError(client, SCREEN_SEND_ERROR);
  ErrorScreen* screen = Error(SCREEN_SEND_ERROR);
  const WCHAR first[] = TEXT("first failure");
  WCHAR* copy = screen->setMessage(first);
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy, first) << "the screen keeps its own copy";
  SwitchScreen(SCREEN_SEND_ERROR);  // already current: nothing
  WCHAR* second = screen->setMessage(TEXT("second failure"));
  EXPECT_EQ(screen->message, second);
  EXPECT_EQ(std::u16string(screen->message), u"second failure");
}

// Left to the implementer: a longer text is cut to 1023 characters and terminated.
TEST(ErrorScreen, ALongMessageIsCutTo1023Characters) {
  Client client;
  BootToError(client, SCREEN_SEND_ERROR);
  std::u16string longText(3000, u'x');
  Error(SCREEN_SEND_ERROR)->setMessage((LPCWSTR)longText.c_str());
  EXPECT_EQ(std::u16string(Error(SCREEN_SEND_ERROR)->message), std::u16string(1023, u'x'));
}

// The picture: banner centred at the top, the error picture centred, the bar with OK!.
TEST(ErrorScreen, PaintsTheBannerAndTheCentredPicture) {
  Client client;
  BootToError(client, SCREEN_RECORD_ERROR);
  RECT rc = client.clientRect();
  Picture header = LoadResourcePicture(g_hInst, 113);
  Picture error = LoadResourcePicture(g_hInst, 125);
  ASSERT_EQ(error.width, 220);
  ASSERT_EQ(error.height, 100);
  EXPECT_EQ(CountDifferences(client, header, rc.right / 2 - header.width / 2, 0), 0);
  EXPECT_EQ(CountDifferences(client, error, (rc.right - rc.left) / 2 - error.width / 2,
                             (rc.bottom - rc.top) / 2 - error.height / 2),
            0);
  EXPECT_EQ(client.clientPixel(rc.right - 1, rc.bottom - 1), 0x0077C0u);  // the bar's blue
}

// DESIGN §6: the message is drawn below the picture.
TEST(ErrorScreen, TheMessageIsDrawnBelowThePicture) {
  Client client;
  BootToError(client, SCREEN_SEND_ERROR);
  RECT rc = client.clientRect();
  int below = (rc.bottom - rc.top) / 2 - 100 / 2 + 100;
  auto inkBelow = [&] {
    int ink = 0;
    for (int y = below; y < rc.bottom - SOFT_KEY_BAR_HEIGHT; y++)
      for (int x = 0; x < rc.right; x++)
        if (client.clientPixel(x, y) != 0xFFFFFF) ink++;
    return ink;
  };
  EXPECT_EQ(inkBelow(), 0);
  Error(SCREEN_SEND_ERROR)->setMessage(TEXT("Error sending recording to the server!"));
  client.driver.runPending();
  EXPECT_GT(inkBelow(), 0);
}

// Pictures for a person to look at: both error screens are written for the 240- and
// 320-pixel-wide profiles, into MELODEX_SNAP_DIR when set, else the test's working folder (the
// headless runner cannot reach them by keys until the recording and identification issues land).
class ErrorScreenSnap : public testing::TestWithParam<const char*> {};

TEST_P(ErrorScreenSnap, Snap) {
  const char* dir = std::getenv("MELODEX_SNAP_DIR");
  if (dir == nullptr) dir = ".";
  Client client(melodex_test::MakeConfig(GetParam()));
  BootToError(client, SCREEN_RECORD_ERROR);
  std::string size = std::string(GetParam()) == "qvga" ? "240x320" : "320x320";
  EXPECT_TRUE(client.driver.snap(std::string(dir) + "/" + size + "-error-11.png"));
  SwitchScreen(SCREEN_SEND_ERROR);
  Error(SCREEN_SEND_ERROR)->setMessage(TEXT("Error sending recording to the server!"));
  client.driver.runPending();
  EXPECT_TRUE(client.driver.snap(std::string(dir) + "/" + size + "-error-10.png"));
}

INSTANTIATE_TEST_SUITE_P(Profiles, ErrorScreenSnap, testing::Values("qvga", "square"));
