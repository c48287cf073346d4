// Part 5.1, main menu paint: the highlighted entry is drawn from 171-174 and the others from
// 114-117 at the Part's coordinates, on 240- and 320-pixel-wide screens. The expected pixels are
// the decoded resource bitmaps themselves, never stored hashes; a mismatch writes a snap.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "app/AppState.h"
#include "screens/MainMenuScreen.h"
#include "support/ClientHarness.h"

using melodex_test::Client;
using melodex_test::CountDifferences;
using melodex_test::LoadResourcePicture;
using melodex_test::MakeConfig;
using melodex_test::Picture;

namespace {

class MainMenuPixels : public testing::TestWithParam<const char*> {};

void CheckEntries(Client& client, LONG selected, const std::string& profile) {
  RECT rc = client.clientRect();
  Picture header = LoadResourcePicture(g_hInst, 113);
  Picture first = LoadResourcePicture(g_hInst, 114);
  ASSERT_EQ(first.width, 165);
  ASSERT_EQ(first.height, 35);
  int w = first.width;
  int h = first.height;
  int x = rc.right / 2 - w / 2;
  int y0 = header.height + (rc.bottom - header.height) / 2 - (4 * h) / 2;
  // Step 4 draws the badge last, in the bottom right corner; on a 240 x 268 client it covers
  // the corner of the exit entry.
  Picture brand = LoadResourcePicture(g_hInst, 175);
  RECT badge = {rc.right - brand.width, rc.bottom - brand.height, rc.right, rc.bottom};
  for (int k = 0; k < 4; k++) {
    Picture expected = LoadResourcePicture(g_hInst, (k == selected ? 171 : 114) + k);
    Picture other = LoadResourcePicture(g_hInst, (k == selected ? 114 : 171) + k);
    long differences = CountDifferences(client, expected, x, y0 + k * h, badge);
    EXPECT_EQ(differences, 0) << "entry " << k << " selected " << selected;
    EXPECT_GT(CountDifferences(client, other, x, y0 + k * h, badge), 0) << "entry " << k;
    if (differences != 0) client.driver.snap("main-menu-mismatch-" + profile + ".png");
  }
  EXPECT_EQ(CountDifferences(client, header, rc.right / 2 - header.width / 2, 0), 0);
  EXPECT_EQ(CountDifferences(client, brand, rc.right - brand.width, rc.bottom - brand.height), 0);
}

}  // namespace

TEST_P(MainMenuPixels, TheHighlightedEntryComesFromTheSelectedImages) {
  Client client(MakeConfig(GetParam()));
  ASSERT_TRUE(client.boot());
  client.driver.advance(3000);
  ASSERT_EQ(g_nCurrentScreen, SCREEN_MAIN_MENU);
  RECT rc = client.clientRect();
  EXPECT_EQ(rc.right, std::string(GetParam()) == "qvga" ? 240 : 320);
  for (LONG selected = 0; selected < 4; selected++) {
    ASSERT_EQ(((MainMenuScreen*)g_screens[SCREEN_MAIN_MENU])->selectedItem, selected);
    CheckEntries(client, selected, GetParam());
    client.driver.press(VK_DOWN);
  }
}

INSTANTIATE_TEST_SUITE_P(Profiles, MainMenuPixels, testing::Values("qvga", "square"));

// Part 5.1: the splash picture is centred in both directions, straight into the window.
TEST(SplashPixels, TheSplashIsCentred) {
  Client client;
  ASSERT_TRUE(client.boot());
  RECT rc = client.clientRect();
  Picture splash = LoadResourcePicture(g_hInst, 110);
  ASSERT_EQ(splash.width, 240);
  ASSERT_EQ(splash.height, 160);
  EXPECT_EQ(CountDifferences(client, splash, (rc.right - rc.left) / 2 - splash.width / 2,
                             (rc.bottom - rc.top) / 2 - splash.height / 2),
            0);
  EXPECT_EQ(client.clientPixel(0, 0), 0xFFFFFFu);
}
