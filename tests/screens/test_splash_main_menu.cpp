// The splash screen and the main menu, key by key.
#include <gtest/gtest.h>
#include <windows.h>

#include "screens/MainMenuScreen.h"
#include "support/ScreenRows.h"

using namespace melodex_test;

namespace {

MainMenuScreen* Menu() { return (MainMenuScreen*)g_screens[SCREEN_MAIN_MENU]; }

std::function<void(Client&)> Highlighted(LONG item) {
  return [item](Client&) { EXPECT_EQ(Menu()->selectedItem, item); };
}

// The splash picture centred in both directions on white.
void CheckSplash(Client& client) {
  RECT rc = client.clientRect();
  Picture splash = LoadResourcePicture(g_hInst, 110);
  ASSERT_EQ(splash.width, 240);
  EXPECT_EQ(CountDifferences(client, splash, (rc.right - rc.left) / 2 - splash.width / 2,
                             (rc.bottom - rc.top) / 2 - splash.height / 2),
            0);
  EXPECT_EQ(client.clientPixel(0, 0), 0xFFFFFFu);
}

// For each highlight in turn: the banner, the four entries centred under it (the highlighted
// one from 171-174, the others from 114-117) and the badge drawn last in the bottom right
// corner, over the corner of the exit entry on a short client (landscape's 320 x 214).
void CheckEntries(Client& client) {
  RECT rc = client.clientRect();
  Picture header = LoadResourcePicture(g_hInst, 113);
  Picture brand = LoadResourcePicture(g_hInst, 175);
  Picture first = LoadResourcePicture(g_hInst, 114);
  ASSERT_EQ(first.height, 35);
  int x = rc.right / 2 - first.width / 2;
  int y0 = header.height + (rc.bottom - header.height) / 2 - (4 * first.height) / 2;
  RECT badge = {rc.right - brand.width, rc.bottom - brand.height, rc.right, rc.bottom};
  EXPECT_EQ(CountDifferences(client, header, rc.right / 2 - header.width / 2, 0), 0);
  EXPECT_EQ(CountDifferences(client, brand, badge.left, badge.top), 0);
  for (LONG selected = 0; selected < MENU_ITEM_COUNT; selected++) {
    for (int k = 0; k < MENU_ITEM_COUNT; k++) {
      Picture expected = LoadResourcePicture(g_hInst, (k == selected ? 171 : 114) + k);
      Picture other = LoadResourcePicture(g_hInst, (k == selected ? 114 : 171) + k);
      EXPECT_EQ(CountDifferences(client, expected, x, y0 + k * first.height, badge), 0) << k << " of " << selected;
      EXPECT_GT(CountDifferences(client, other, x, y0 + k * first.height, badge), 0) << k << " of " << selected;
    }
    client.driver.press(VK_DOWN);
  }
}

const ScreenRow kSplashRows[] = {
    {"The splash is centred on the narrow screen", {}, SCREEN_SPLASH, {}, CheckSplash},
    {"The splash is centred on the square screen", {}, SCREEN_SPLASH, {}, CheckSplash, "square"},
    {"The splash stays for 2999 ms", {Wait(2999)}, SCREEN_SPLASH},
    {"The main menu follows after 3000 ms", {Wait(3000)}, SCREEN_MAIN_MENU, Stack{}},
    {"A key down alone keeps the splash", {Wait(1000), KeyDown(VK_RETURN)}, SCREEN_SPLASH},
    {"Releasing the action key shows the main menu at once", {Wait(1000), KeyDown(VK_RETURN), KeyUp(VK_RETURN)},
     SCREEN_MAIN_MENU},
    {"Releasing Back shows the main menu", {VK_ESCAPE}, SCREEN_MAIN_MENU, Stack{}},
    {"Releasing the right soft key shows the main menu", {KeyUpReturns(VK_F2, 0)}, SCREEN_MAIN_MENU},
    {"Releasing a digit shows the main menu", {'5'}, SCREEN_MAIN_MENU},
    {.name = "Timers other than the splash's are ignored",
     .keys = {Do("WM_TIMER 2 and 100", [](Client&) {
       SendMessageW(g_hWnd, WM_TIMER, 2, 0);
       SendMessageW(g_hWnd, WM_TIMER, 100, 0);
     })},
     .screen = SCREEN_SPLASH},
    {.name = "Leaving the splash kills its timer",
     .keys = {VK_RETURN, VK_DOWN, VK_DOWN, VK_RETURN, Wait(10000)},
     .screen = SCREEN_HELP,
     .check = [](Client& client) { EXPECT_GE(client.countTrace("KillTimer"), 1u); }},
};
MELODEX_SCREEN_ROWS(Splash, kAtSplash, kSplashRows);

const ScreenRow kMainMenuRows[] = {
    {"The entries come from the highlighted and plain images on the narrow screen", {}, SCREEN_MAIN_MENU, {},
     CheckEntries},
    {"The entries come from the highlighted and plain images on the square screen", {}, SCREEN_MAIN_MENU, {},
     CheckEntries, "square"},
    {"Up on the first entry highlights exit", {VK_UP}, SCREEN_MAIN_MENU, {}, Highlighted(MENU_EXIT)},
    {"Down on exit highlights ID song", {VK_UP, VK_DOWN}, SCREEN_MAIN_MENU, {}, Highlighted(MENU_ID_SONG)},
    {"Down twice highlights help", {VK_DOWN, VK_DOWN}, SCREEN_MAIN_MENU, {}, Highlighted(MENU_HELP)},
    {"Soft keys and other keys do nothing",
     {KeyUpReturns(VK_F1, 1), KeyUpReturns(VK_F2, 1), KeyUpReturns(VK_LEFT, 1), KeyUpReturns('1', 1), KeyUpReturns(VK_BACK, 1)},
     SCREEN_MAIN_MENU, Stack{}, Highlighted(MENU_ID_SONG)},
    {"The highlight survives a visit to help", {VK_DOWN, VK_DOWN, VK_RIGHT, VK_ESCAPE}, SCREEN_MAIN_MENU, {},
     Highlighted(MENU_HELP)},
    {"ID song opens the listening screen over the menu", {VK_RETURN}, SCREEN_LISTENING, Stack{SCREEN_MAIN_MENU}},
    {"Manage IDs opens the history over the menu", {VK_DOWN, VK_RETURN}, SCREEN_MANAGE, Stack{SCREEN_MAIN_MENU}},
    {"Help me out opens help over the menu", {VK_DOWN, VK_DOWN, KeyUpReturns(VK_RETURN, 0)}, SCREEN_HELP,
     Stack{SCREEN_MAIN_MENU}},
    {.name = "Exit ends the message loop with the menu current and pushed",
     .keys = {VK_UP, VK_RETURN},
     .screen = SCREEN_MAIN_MENU,
     .backStack = Stack{SCREEN_MAIN_MENU},
     .check = [](Client& client) {
       EXPECT_TRUE(client.driver.quit());
       EXPECT_EQ(client.driver.quitCode(), 0);
     }},
    {.name = "Back hides the window and the program keeps running",
     .keys = {KeyUpReturns(VK_ESCAPE, 0)},
     .screen = SCREEN_MAIN_MENU,
     .check = [](Client& client) {
       EXPECT_FALSE(IsWindowVisible(g_hWnd));
       EXPECT_FALSE(client.driver.quit());
     }},
};
MELODEX_SCREEN_ROWS(MainMenu, kAtMainMenu, kMainMenuRows);

}  // namespace
