// The help screen, key by key.
#include <gtest/gtest.h>
#include <windows.h>

#include "app/SoftKeyBar.h"
#include "screens/HelpScreen.h"
#include "support/ScreenRows.h"

using namespace melodex_test;

namespace {

HelpScreen* Help() { return (HelpScreen*)g_screens[SCREEN_HELP]; }

// The list (with Back and Select), or a topic's text (with Back alone).
std::function<void(Client&)> Showing(bool topic, LONG selected) {
  return [topic, selected](Client&) {
    EXPECT_EQ(Help()->topicOpen, topic);
    EXPECT_EQ(Help()->selectedItem, selected);
    EXPECT_NE(g_softKeyBar->leftImage, nullptr);
    EXPECT_EQ(g_softKeyBar->rightImage != nullptr, !topic) << "Select";
  };
}
std::function<void(Client&)> OnTheList(LONG selected) { return Showing(false, selected); }
std::function<void(Client&)> InTopic(LONG selected) { return Showing(true, selected); }

// The line height of the list: the font's height + 4.
int LineHeight() {
  TEXTMETRICW metrics;
  SelectObject(g_hdcImage, Help()->font);
  GetTextMetricsW(g_hdcImage, &metrics);
  return metrics.tmHeight + 4;
}

// How many bands of adjacent rows between top and bottom hold a pixel that is not white.
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

const Reach kAtHelp = {{VK_RETURN, VK_DOWN, VK_DOWN, VK_RETURN}, SCREEN_HELP};

const ScreenRow kHelpRows[] = {
    {"Help opens on the list with Back and Select", {}, SCREEN_HELP, {}, OnTheList(0)},
    {"Up on the first topic highlights About", {VK_UP}, SCREEN_HELP, {}, OnTheList(3)},
    {"Down on the last topic highlights the first", {VK_UP, VK_DOWN}, SCREEN_HELP, {}, OnTheList(0)},
    {"Keys outside the tables do nothing on the list", {KeyUpReturns('3', 0)}, SCREEN_HELP, {}, OnTheList(0)},
    {"The action key opens a topic", {VK_DOWN, VK_RETURN}, SCREEN_HELP, {}, InTopic(1)},
    {"The right arrow opens a topic", {VK_RIGHT}, SCREEN_HELP, {}, InTopic(0)},
    {"The right soft key opens a topic", {VK_F2}, SCREEN_HELP, {}, InTopic(0)},
    {"In a topic other keys do nothing",
     {VK_DOWN, VK_RETURN, KeyUpReturns(VK_UP, 0), VK_DOWN, VK_RETURN, VK_F2, VK_RIGHT, '7'}, SCREEN_HELP, {},
     InTopic(1)},
    {"Back in a topic returns to the list", {VK_RETURN, KeyUpReturns(VK_ESCAPE, 0)}, SCREEN_HELP, {}, OnTheList(0)},
    {"The left arrow in a topic returns to the list", {VK_RETURN, VK_LEFT}, SCREEN_HELP, {}, OnTheList(0)},
    {"The left soft key in a topic returns to the list", {VK_RETURN, VK_F1}, SCREEN_HELP, {}, OnTheList(0)},
    {"Back from the list goes to the main menu without the stack", {VK_ESCAPE}, SCREEN_MAIN_MENU,
     Stack{SCREEN_MAIN_MENU}},
    {"The left arrow from the list goes to the main menu", {VK_LEFT}, SCREEN_MAIN_MENU, Stack{SCREEN_MAIN_MENU}},
    {"The left soft key from the list goes to the main menu", {VK_F1}, SCREEN_MAIN_MENU, Stack{SCREEN_MAIN_MENU}},
    {"Coming back after leaving a topic shows the list with the same topic",
     {VK_DOWN, VK_DOWN, VK_RETURN, Switch(SCREEN_MAIN_MENU), VK_RETURN}, SCREEN_HELP, {}, OnTheList(2)},
    {.name = "The about text is two lines",
     .keys = {VK_UP, VK_RETURN},
     .screen = SCREEN_HELP,
     .check = [](Client& client) {
       RECT rc = client.clientRect();
       EXPECT_EQ(CountTextBands(client, 10, Help()->headerSize.bmHeight, rc.right - 10,
                                rc.bottom - SOFT_KEY_BAR_HEIGHT),
                 2);
     }},
    // Rows of the font's height + 4 under the banner: the second row's highlight ends on its
    // last pixel row, the list's first pixel row and the third row's first are white.
    {.name = "The highlighted row is yellow from its first to its last pixel row",
     .keys = {VK_DOWN},
     .screen = SCREEN_HELP,
     .check = [](Client& client) {
       int top = Help()->headerSize.bmHeight;
       int line = LineHeight();
       EXPECT_EQ(client.clientPixel(1, top + line - 1), 0xFFFFFFu);
       EXPECT_EQ(client.clientPixel(1, top + line), 0xFFFC00u);
       EXPECT_EQ(client.clientPixel(1, top + 2 * line - 1), 0xFFFC00u);
       EXPECT_EQ(client.clientPixel(1, top + 2 * line), 0xFFFFFFu);
     }},
};
MELODEX_SCREEN_ROWS(HelpKeys, kAtHelp, kHelpRows);

}  // namespace
